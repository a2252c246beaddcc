#!/usr/bin/env bash
# wine-reap.sh PREFIX: ends the Wine session of PREFIX and then, by process
# id, every process still running with WINEPREFIX=PREFIX in its environment
# (all started by these scripts). Under emulation a Wine process can hang so
# that the server's own kill does not reach it.
prefix=$1
WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1
sleep 1
for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    [ "$pid" = "$$" ] && continue
    if tr '\0' '\n' < "$environ" 2>/dev/null | grep -qxF "WINEPREFIX=$prefix"; then
        kill -9 "$pid" 2>/dev/null
    fi
done
true
