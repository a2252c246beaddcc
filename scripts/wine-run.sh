#!/usr/bin/env bash
# Runs a Windows program in the build's Wine prefix: wine-run.sh PREFIX PROGRAM [ARGS...]
# A caller running several programs keeps the session up with wine-session.sh;
# otherwise every program boots Wine's services and desktop first, which takes
# minutes where 32-bit code runs under emulation.
set -uo pipefail
prefix=$1; shift
here=$(dirname "$0")
source "$here/wine-env.sh" "$prefix"
# A session that was brought up must still be there: without its keeper Wine
# shuts its services down, and every program would boot them again.
if [ -e "$prefix/.session-up" ] && ! wine_process_alive session_keeper.exe; then
    echo "wine-run: the Wine session has gone down; bringing it up again" >&2
    rm -f "$prefix/.session-up"
    "$here/make-prefix.sh" "$prefix" || exit 1
fi
wine "$@" </dev/null
