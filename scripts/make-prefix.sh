#!/usr/bin/env bash
# make-prefix.sh PREFIX [KEEPER]: makes the private 32-bit Wine prefix PREFIX
# if it is not complete, and brings its session up: Wine's services and the
# desktop, kept alive by KEEPER (default: tools/session_keeper.exe of the
# build that holds PREFIX) until wine-session.sh stop. A new prefix is made by
# the keeper's own start, so the session that made it stays up: under
# emulation a prefix takes about ten minutes and booting a session again
# several more. Nothing is done when the session is already up.
set -uo pipefail
prefix=$1
here=$(cd "$(dirname "$0")" && pwd)
keeper=${2:-$(dirname "$prefix")/tools/session_keeper.exe}
source "$here/wine-env.sh" "$prefix"
ready=$prefix/.session-up

if [ -e "$prefix/.ready" ] && [ -e "$ready" ] && wine_process_alive session_keeper.exe; then
    exit 0
fi
[ -x "$keeper" ] || [ -e "$keeper" ] || { echo "make-prefix: no session keeper at $keeper (build it first)" >&2; exit 1; }

seed_registry() {
    # Read by Wine's server when it first starts, before any window exists.
    cat > "$prefix/user.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

#arch=win32

[Software\\Wine\\X11 Driver] 1780000000
"Managed"="N"

[Software\\Wine\\WineDbg] 1780000000
"ShowCrashDialog"=dword:00000000
REG
}

start=$(date +%s)
log=$(dirname "$prefix")/wine-session.log
for attempt in 1 2 3; do
    # Under emulation a Wine service can crash while the session boots; the
    # keeper then never gets its window. A second boot of the same prefix
    # usually comes up; only then is the prefix itself made again.
    if [ ! -e "$prefix/.ready" ] && [ "$attempt" != 2 ]; then
        "$here/wine-reap.sh" "$prefix"
        rm -rf "$prefix"
        mkdir -p "$prefix"
        seed_registry
    fi
    rm -f "$ready"
    wineserver -p >/dev/null 2>&1 </dev/null
    # Wine's services inherit the output: keep them off the caller's pipe.
    setsid wine "$keeper" "Z:${ready//\//\\}" >>"$log" 2>&1 </dev/null &
    keeper_pid=$!
    for _ in $(seq 1500); do
        [ -e "$ready" ] && break
        kill -0 "$keeper_pid" 2>/dev/null || break
        sleep 1
    done
    # A new prefix lets its first program run while wineboot still installs
    # the rest; the tests would share the CPU with it, so wait for it to end.
    for _ in $(seq 900); do
        wine_process_alive wineboot.exe || break
        sleep 1
    done
    if [ -e "$ready" ] && [ -e "$prefix/drive_c/windows/system32/kernel32.dll" ]; then
        touch "$prefix/.ready"
        echo "make-prefix: session up in $(( $(date +%s) - start )) s" >&2
        exit 0
    fi
    kill -0 "$keeper_pid" 2>/dev/null && why="no window after 1500 s" || { wait "$keeper_pid"; why="keeper exited with $?"; }
    echo "make-prefix: attempt $attempt did not bring the session up ($why, after $(( $(date +%s) - start )) s; Wine's output in $log)" >&2
    "$here/wine-reap.sh" "$prefix"
    [ "$attempt" = 1 ] || rm -f "$prefix/.ready"
done
exit 1
