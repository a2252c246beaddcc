#!/usr/bin/env bash
# stop.sh BUILD_DIR: ends the Wine session of the build's prefix (its server,
# services and programs), so nothing of it outlives the X server it draws on.
source "$(dirname "$0")/env.sh" "$1"
timeout 30 wineserver -k >/dev/null 2>&1
true
