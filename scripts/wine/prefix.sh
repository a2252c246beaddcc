#!/usr/bin/env bash
# prefix.sh BUILD_DIR: makes the build's private 32-bit Wine prefix unless it
# is complete already. Needs an X server (run it under xvfb-run). Our registry
# settings are written before Wine first starts: unmanaged windows (no window
# manager under a bare X server, so Wine must not wait for one) and no crash
# dialog.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/env.sh" "$1"
prefix=$WINEPREFIX
source "$here/../progress.sh"

[ -e "$prefix/.ready" ] && exit 0

rm -rf "$prefix"
mkdir -p "$prefix"
cat > "$prefix/user.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

#arch=win32

[Software\\Wine\\X11 Driver] 1780000000
"Managed"="N"

[Software\\Wine\\WineDbg] 1780000000
"ShowCrashDialog"=dword:00000000
REG

start=$SECONDS
log=$(dirname "$prefix")/wineboot.log
# Wine's services inherit the output: keep them off the caller's pipe.
make_prefix() { wineboot -i >"$log" 2>&1 </dev/null && wineserver -w >>"$log" 2>&1 </dev/null; }
if ! with_progress "making the Wine prefix" make_prefix ||
    [ ! -e "$prefix/drive_c/windows/system32/kernel32.dll" ]; then
    echo "prefix: wineboot failed; its output is in $log" >&2
    exit 1
fi
touch "$prefix/.ready"
echo "prefix: $prefix made in $((SECONDS - start)) s" >&2
