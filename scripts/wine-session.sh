#!/usr/bin/env bash
# wine-session.sh PREFIX start|stop: keeps one Wine session (wineserver and
# the booted services) up between programs, or ends it.
set -uo pipefail
prefix=$1
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
case ${2:-} in
start)
    wineserver -p >/dev/null 2>&1 </dev/null
    # Boots the session; later programs start without waiting for it. Under
    # emulation the boot now and then hangs in one of Wine's own services;
    # the session is usable all the same.
    timeout 1200 wine wineboot >/dev/null 2>&1 </dev/null
    true
    ;;
stop)
    "$(dirname "$0")/wine-reap.sh" "$prefix"
    ;;
*)
    echo "usage: $0 PREFIX start|stop" >&2
    exit 2
    ;;
esac
