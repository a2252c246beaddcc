#!/usr/bin/env python3
"""bmp2png.py IN.bmp OUT.png: an uncompressed 24-bit BMP to PNG, standard library only."""
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
