#!/usr/bin/env bash
# Runs a Windows program in the build's Wine prefix: wine-run.sh PREFIX PROGRAM [ARGS...]
# Every Wine start in a fresh session boots the whole session first (services,
# drivers, desktop), which is slow where 32-bit code runs under emulation; a
# caller running many programs keeps one session up with wine-session.sh.
set -uo pipefail
prefix=$1; shift
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
wine "$@" </dev/null
