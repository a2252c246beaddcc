#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine (as root), builds, and runs
# the workbench's built-in timeline headless under Wine: the plug-in polls the
# simulated remote and the command stream it sends to the host is printed.
# Usage: scripts/demo.sh [BUILD_DIR] [workbench options...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true

bash scripts/install-deps.sh >&2
bash scripts/enable-i386.sh >&2
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target VantorixRC workbench quelmo_full session_keeper >/dev/null

prefix=$(cd "$build" && pwd)/wineprefix
echo "Preparing Wine (the first run creates the prefix; this takes a while)..." >&2
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -u
    prefix=$1 build=$2
    shift 2
    scripts/make-prefix.sh "$prefix" >&2 || exit 1
    # The simulator as the vendor library, the factory bindings of the family
    # it reports (any remote type but 1 and 2) beside the plug-in.
    scripts/wine-run.sh "$prefix" "$build/tools/workbench.exe" --remote-type 0 \
        --vendor "$build/sim/QuelmoRC_full.dll" --settings tools/workbench/demo-settings.ini "$@"
    status=$?
    scripts/wine-session.sh "$prefix" stop >&2
    exit $status
' demo "$prefix" "$build" "$@"
