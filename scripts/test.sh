#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine (as root), builds, and runs
# all tests: first those that need no Wine (the native tests, the release zip,
# the reproducible build), then those under Wine and Xvfb.
# Usage: scripts/test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

bash scripts/install-deps.sh
bash scripts/enable-i386.sh

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target session_keeper >/dev/null

prefix=$(cd "$build" && pwd)/wineprefix
# One X server and one Wine session for the whole run. The session comes up
# (making the prefix if needed) while the rest builds and the tests without
# Wine run; Wine ends before the X server does.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -u
    prefix=$1 build=$2
    scripts/make-prefix.sh "$prefix" > "$build/session.log" 2>&1 &
    session=$!
    status=0
    cmake --build "$build" -j"$(nproc)" || status=$?
    [ $status != 0 ] || ctest --test-dir "$build" --output-on-failure -L "native|build" || status=$?
    wait $session || { echo "the Wine session did not come up:" >&2; status=1; }
    cat "$build/session.log" >&2
    [ $status != 0 ] || ctest --test-dir "$build" --output-on-failure -LE "native|build" || status=$?
    scripts/wine-session.sh "$prefix" stop
    exit $status
' run-tests "$prefix" "$build"
