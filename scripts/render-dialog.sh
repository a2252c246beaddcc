#!/usr/bin/env bash
# Renders the setup dialog for the README: the workbench opens it with the
# simulated vendor library (two cards, factory bindings), plays a press of
# Power inside it, captures the dialog from the Windows side, and this script
# writes docs/setup-dialog.png.
# Usage: scripts/render-dialog.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: render-dialog.sh BUILD_DIR}" && pwd)
bmp=$build/setup-dialog.bmp
rm -f "$bmp"
# Power held for 600 ms, played inside the dialog, which shows its codes live.
timeline=$build/dialog-picture.timeline
printf '0 none\n200 0x12\n800 none\n' > "$timeline"
"$root/scripts/wine/headless.sh" "$build" "$build/tools/workbench.exe" --window --remote-type 0 \
    --card "Vantorix TV-Tuner 1" --card "Vantorix TV-Tuner 2" --vendor "$build/sim/QuelmoRC_full.dll" \
    --settings "$root/tools/workbench/demo-settings.ini" --script "$timeline" --dialog-picture "$bmp"
[ -s "$bmp" ] || { echo "no picture was written: $bmp" >&2; exit 1; }
python3 "$root/tools/bmp2png.py" "$bmp" "$root/docs/setup-dialog.png"
