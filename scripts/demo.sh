#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine (as root), builds, and runs
# the workbench's built-in timeline headless under Wine: the plug-in polls the
# simulated remote and the command stream it sends to the host is printed.
# Usage: scripts/demo.sh [BUILD_DIR] [workbench options...]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/progress.sh
build=${1:-build}
shift || true

bash scripts/install-deps.sh >&2
bash scripts/wine/enable-i386.sh
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
with_progress "building the plug-in, the simulator and the workbench" \
    cmake --build "$build" -j"$(nproc)" --target VantorixRC workbench quelmo_full >/dev/null

# The simulator as the vendor library, the factory bindings of the family it
# reports (any remote type but 1 and 2) beside the plug-in.
exec scripts/wine/headless.sh "$build" "$build/tools/workbench.exe" --remote-type 0 \
    --vendor "$build/sim/QuelmoRC_full.dll" --settings tools/workbench/demo-settings.ini "$@"
