#!/usr/bin/env python3
"""make_logo.py OUT.bmp: the 32x32, 8 bits-per-pixel logo of the setup dialog
(a stylised remote with a red power key on a blue-to-teal gradient), bitmap
105 of ui/SetupDialog.rc. The build draws it into build/generated."""
import struct
import sys

W = H = 32


def palette():
    colours = []
    for i in range(128):  # gradient: deep blue to teal
        t = i / 127
        colours.append((int(40 + 20 * t), int(60 + 120 * t), int(150 + 60 * t)))
    colours += [(30, 30, 36), (235, 235, 240), (220, 40, 40), (90, 200, 90)]
    colours += [(0, 0, 0)] * (256 - len(colours))
    return colours


BODY, KEY, POWER, LED = 128, 129, 130, 131


def pixel(x, y):
    if 10 <= x <= 21 and 3 <= y <= 28:  # remote body
        if (x - 15.5) ** 2 + (y - 7) ** 2 <= 5:
            return POWER
        if y == 4 and x in (15, 16):
            return LED
        if 12 <= x <= 19 and 12 <= y <= 25 and (x - 12) % 3 != 2 and (y - 12) % 3 != 2:
            return KEY
        return BODY
    return min(127, (x + y) * 2)


def main(path):
    stride = (W + 3) & ~3
    rows = b""
    for y in range(H - 1, -1, -1):  # bottom-up
        row = bytes(pixel(x, y) for x in range(W))
        rows += row + b"\0" * (stride - W)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette())
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, len(rows), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + pal + rows)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_logo.py OUT.bmp")
    main(sys.argv[1])
