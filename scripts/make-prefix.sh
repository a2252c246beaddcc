#!/usr/bin/env bash
# Creates the private 32-bit Wine prefix given as $1 (inside the build tree):
# no window manager decorations, no crash dialog, no debugger, Russian locale.
# Does nothing when the prefix is already complete.
set -uo pipefail
prefix=$1
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
if [ -e "$prefix/.ready" ]; then
    exit 0
fi
# Wine's services inherit stdout; keep them off the caller's pipe. Under
# emulation some of Wine's own programs crash, and now and then the session
# hangs: each attempt is bounded, a session that does not end is reaped, and
# the result is judged by what is on disk.
complete() {
    [ -e "$prefix/drive_c/windows/system32/kernel32.dll" ] &&
        [ "$(stat -c %s "$prefix/system.reg" 2>/dev/null || echo 0)" -gt 500000 ]
}
for attempt in 1 2; do
    "$(dirname "$0")/wine-reap.sh" "$prefix"
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    timeout 1200 wineboot -i >/dev/null 2>&1 </dev/null
    timeout 180 wineserver -w >/dev/null 2>&1
    "$(dirname "$0")/wine-reap.sh" "$prefix"
    complete && break
    echo "make-prefix: attempt $attempt did not complete the prefix" >&2
done
if ! complete; then
    echo "make-prefix: wineboot did not create the prefix $prefix" >&2
    exit 1
fi
# Written straight into the registry files while Wine is down (each "wine reg"
# would cost a whole Wine start): unmanaged windows, so that showing or hiding
# one under a bare X server does not stall; no crash dialog, and no debugger,
# so that a crash fails a test at once instead of hanging it or starting
# winedbg, which is slow under emulation and only prints a backtrace.
cat >> "$prefix/user.reg" <<'REG'

[Software\\Wine\\X11 Driver] 1780000000
"Managed"="N"

[Software\\Wine\\WineDbg] 1780000000
"ShowCrashDialog"=dword:00000000
REG
sed -i 's/^"Debugger"="winedbg --auto %ld %ld"/"Debugger"="no-debugger"/' "$prefix/system.reg"
touch "$prefix/.ready"
