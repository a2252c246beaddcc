#!/usr/bin/env bash
# Creates the private 32-bit Wine prefix given as $1 (inside the build tree):
# no window manager decorations, no crash dialog, Russian locale.
set -euo pipefail
prefix=$1
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
if [ -e "$prefix/.ready" ]; then
    exit 0
fi
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
# Wine's services inherit stdout; keep them off the caller's pipe.
wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
# Written straight into the registry file while Wine is down (each "wine reg"
# would cost a whole Wine start): unmanaged windows, so that showing or hiding
# one under a bare X server does not stall; no crash dialog, so that a crash
# fails a test instead of hanging it.
cat >> "$prefix/user.reg" <<'REG'

[Software\\Wine\\X11 Driver] 1780000000
"Managed"="N"

[Software\\Wine\\WineDbg] 1780000000
"ShowCrashDialog"=dword:00000000
REG
# No debugger: a crashing program ends at once instead of starting winedbg,
# which is slow under emulation and only prints a backtrace.
sed -i 's/^"Debugger"="winedbg --auto %ld %ld"/"Debugger"="no-debugger"/' "$prefix/system.reg"
touch "$prefix/.ready"
