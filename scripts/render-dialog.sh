#!/usr/bin/env bash
# Renders the setup dialog for the README: opens it with the simulated vendor
# library (two cards, factory bindings, a key just pressed), captures the
# window from the Windows side and writes docs/setup-dialog.png.
# Usage: scripts/render-dialog.sh BUILD_DIR [WINE_PREFIX]
# Uses the X display in $DISPLAY when set (a running session), else xvfb-run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: render-dialog.sh BUILD_DIR [WINE_PREFIX]}" && pwd)
prefix=${2:-$build/wineprefix}
exe=$build/tests/wine_tests.exe
bmp=$build/setup-dialog.bmp
png=$root/docs/setup-dialog.png

[ -f "$exe" ] || { echo "build wine_tests first: $exe" >&2; exit 1; }
rm -f "$bmp"
run=("$root/scripts/wine-run.sh" "$prefix" "$exe" --gtest_also_run_disabled_tests
     --gtest_filter=SetupDialogTest.DISABLED_ScreenshotForTheReadme)
if [ -n "${DISPLAY:-}" ]; then
    "${run[@]}"
else
    xvfb-run -a -s "-screen 0 1024x768x24" "${run[@]}"
fi
[ -s "$bmp" ] || { echo "no picture was written: $bmp" >&2; exit 1; }

mkdir -p "$(dirname "$png")"
python3 "$root/tools/bmp2png.py" "$bmp" "$png"
