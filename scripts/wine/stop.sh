#!/usr/bin/env bash
# stop.sh PREFIX: ends the Wine session of PREFIX (its server, services and
# programs), so nothing of it outlives the X server it draws on. Then ends,
# by process id, any Wine process still running with this WINEPREFIX in its
# environment: all of them were started by these scripts.
source "$(dirname "$0")/env.sh" "$1"
timeout 30 wineserver -k >/dev/null 2>&1
for dir in /proc/[0-9]*; do
    tr '\0' ' ' 2>/dev/null < "$dir/cmdline" | grep -q -e /usr/lib/wine/ -e wineserver || continue
    if tr '\0' '\n' 2>/dev/null < "$dir/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
        kill -9 "${dir#/proc/}" 2>/dev/null
    fi
done
true
