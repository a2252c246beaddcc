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
# A Wine process that the program starts (a crashed service started again,
# say) inherits the program's output; with the caller's pipe there, the
# caller would wait for that process for ever. So the program writes to
# files, which are passed on to the caller while it runs.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
wine "$@" </dev/null >"$out" 2>"$err" &
program=$!
tail -n +1 -s 0.2 -f --pid=$program "$out" &
follow_out=$!
tail -n +1 -s 0.2 -f --pid=$program "$err" >&2 &
follow_err=$!
wait $program
status=$?
wait $follow_out $follow_err
exit $status
