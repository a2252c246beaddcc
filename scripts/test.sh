#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine (as root), builds, and runs
# all tests under Wine and Xvfb. Usage: scripts/test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

bash scripts/install-deps.sh
bash scripts/enable-i386.sh

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"

prefix=$(cd "$build" && pwd)/wineprefix
# One X server and one Wine session for the whole run: booting a session is
# the slow part, so every test executable reuses it. Wine ends before the X
# server does.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -u
    scripts/make-prefix.sh "$1"
    scripts/wine-session.sh "$1" start
    # A second try for a test whose Wine process hung or crashed under emulation.
    ctest --test-dir "$2" --output-on-failure --repeat until-pass:2
    status=$?
    scripts/wine-session.sh "$1" stop
    exit $status
' run-tests "$prefix" "$build"
