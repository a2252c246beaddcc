#!/usr/bin/env bash
# Renders the setup dialog for the README: opens it with the simulated vendor
# library (two cards, factory bindings, a key just pressed), captures the
# window from the Windows side and writes docs/setup-dialog.png.
# Usage: scripts/render-dialog.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: render-dialog.sh BUILD_DIR}" && pwd)
bmp=$build/setup-dialog.bmp
rm -f "$bmp"
"$root/scripts/wine/headless.sh" "$build" "$build/tests/wine_tests.exe" --gtest_also_run_disabled_tests \
    --gtest_filter=SetupDialogTest.DISABLED_ScreenshotForTheReadme
[ -s "$bmp" ] || { echo "no picture was written: $bmp" >&2; exit 1; }
python3 "$root/tools/bmp2png.py" "$bmp" "$root/docs/setup-dialog.png"
