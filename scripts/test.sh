#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine (as root), builds, and runs
# all tests: first those that need no Wine (the native tests, the release zip,
# the reproducible build), then those under Wine and Xvfb.
# Usage: scripts/test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

bash scripts/install-deps.sh
bash scripts/wine/enable-i386.sh
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null

# One X server and Wine session for the whole run (scripts/wine/session.sh).
# The prefix is made (if it is new) while the rest builds and the tests
# without Wine run.
scripts/wine/session.sh "$build" bash -c '
    set -u
    build=$1
    scripts/wine/prefix.sh "$build" > "$build/prefix.log" 2>&1 &
    making=$!
    status=0
    cmake --build "$build" -j"$(nproc)" || status=$?
    if [ $status = 0 ]; then
        # Shows what the random model covered, or all of the output on failure.
        ctest --test-dir "$build" -L native -V > "$build/native.log" 2>&1 || status=$?
        [ $status = 0 ] && sed -n "s/^[0-9]*: \(\[ .*\)/native: \1/p" "$build/native.log" || cat "$build/native.log"
    fi
    [ $status != 0 ] || ctest --test-dir "$build" --output-on-failure -L build || status=$?
    wait $making || { echo "the Wine prefix could not be made:" >&2; status=1; }
    cat "$build/prefix.log" >&2
    [ $status != 0 ] || ctest --test-dir "$build" --output-on-failure -L wine || status=$?
    exit $status
' run-tests "$build"
