#!/usr/bin/env bash
# wine-reap.sh PREFIX: ends the Wine session of PREFIX and then, by process
# id, every Wine process still running with WINEPREFIX=PREFIX in its
# environment (all started by these scripts). Under emulation a Wine process
# can hang so that the server's own kill does not reach it.
prefix=$1
WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1
sleep 1
for dir in /proc/[0-9]*; do
    pid=${dir#/proc/}
    tr '\0' ' ' 2>/dev/null < "$dir/cmdline" | grep -q -e /usr/lib/wine/ -e wineserver || continue
    if tr '\0' '\n' 2>/dev/null < "$dir/environ" | grep -qxF "WINEPREFIX=$prefix"; then
        kill -9 "$pid" 2>/dev/null
    fi
done
true
