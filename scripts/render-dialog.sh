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
exe=$build/tests/dialog_tests.exe
bmp=$build/setup-dialog.bmp
png=$root/docs/setup-dialog.png

[ -f "$exe" ] || { echo "build dialog_tests first: $exe" >&2; exit 1; }
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
# 24-bit BMP to PNG with the standard library only.
python3 - "$bmp" "$png" <<'EOF'
import struct, sys, zlib

data = open(sys.argv[1], "rb").read()
if data[:2] != b"BM":
    sys.exit("not a BMP file")
offset = struct.unpack_from("<I", data, 10)[0]
_, width, height, _, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
if bits != 24 or compression != 0:
    sys.exit("expected an uncompressed 24-bit BMP")
bottom_up = height > 0
height = abs(height)
stride = (width * 3 + 3) & ~3
rows = []
for y in range(height):
    source = height - 1 - y if bottom_up else y
    bgr = data[offset + source * stride: offset + source * stride + width * 3]
    rgb = bytearray(bgr)
    rgb[0::3], rgb[2::3] = bgr[2::3], bgr[0::3]
    rows.append(b"\0" + bytes(rgb))


def chunk(kind, body):
    crc = zlib.crc32(kind + body) & 0xFFFFFFFF
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", crc)


png = (b"\x89PNG\r\n\x1a\n"
       + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
       + chunk(b"IEND", b""))
open(sys.argv[2], "wb").write(png)
print("%s: %dx%d" % (sys.argv[2], width, height))
EOF
