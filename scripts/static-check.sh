#!/usr/bin/env bash
# cppcheck over the plug-in and its tools, Windows library settings; any
# finding fails. A suppression stands beside its line with a one-line reason.
set -euo pipefail
cd "$(dirname "$0")/.."
cppcheck --enable=warning,style,performance,portability --library=windows --platform=win32A \
    --std=c++17 --inline-suppr --quiet --error-exitcode=1 -I . \
    plugin device engine mapping settings ui tools/quelmo_sim tools/workbench tools/host tools/bench
echo "cppcheck: no findings"
