#!/usr/bin/env bash
# Renders the workbench for the README: plays the built-in timeline in window
# mode against the simulator and writes docs/workbench.png.
# Usage: scripts/render-workbench.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: render-workbench.sh BUILD_DIR}" && pwd)
bmp=$build/workbench.bmp
rm -f "$bmp"
"$root/scripts/wine/headless.sh" "$build" "$build/tools/workbench.exe" --window --play --remote-type 0 \
    --vendor "$build/sim/QuelmoRC_full.dll" --settings "$root/tools/workbench/demo-settings.ini" --screenshot "$bmp"
[ -s "$bmp" ] || { echo "no picture was written: $bmp" >&2; exit 1; }
python3 "$root/tools/bmp2png.py" "$bmp" "$root/docs/workbench.png"
