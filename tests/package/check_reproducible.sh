#!/usr/bin/env bash
# check_reproducible.sh SOURCE_DIR BUILD_DIR: builds the plug-in once more,
# from the same sources into another folder and at another time, and checks
# that it comes out byte for byte as BUILD_DIR's.
set -euo pipefail
source=$1 build=$2
second=$build/reproducible
rm -rf "$second"
cmake -S "$source" -B "$second" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVRC_BUILD_TESTS=OFF >/dev/null
cmake --build "$second" --target VantorixRC -j"$(nproc)" >/dev/null
sha256sum "$build/VantorixRC.dll" "$second/VantorixRC.dll"
cmp "$build/VantorixRC.dll" "$second/VantorixRC.dll"
echo "VantorixRC.dll: the same bytes from two builds"
