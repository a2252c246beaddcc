#!/usr/bin/env python3
"""Writes the release zip so that the same inputs always give the same bytes:
entries in the order given, one fixed time (SOURCE_DATE_EPOCH) and fixed
attributes for every entry, no extra fields. Text files get CRLF line ends,
so Notepad on every Windows version shows them right; guides also get a UTF-8
byte-order mark and their @VERSION@ filled in.

usage: make_zip.py OUTPUT.zip VERSION EPOCH KIND:SOURCE:NAME...
KIND is binary, text or guide; NAME is the entry's name inside the folder
VantorixRC/ of the zip."""
import sys
import time
import zipfile


def content(kind, path, version):
    data = open(path, "rb").read()
    if kind == "binary":
        return data
    text = data.decode("utf-8")
    if text.startswith("\ufeff"):
        text = text[1:]
    if kind == "guide":
        text = text.replace("@VERSION@", version)
    text = text.replace("\r\n", "\n").replace("\n", "\r\n")
    return ("\ufeff" + text if kind == "guide" else text).encode("utf-8")


def main(argv):
    output, version, epoch = argv[1], argv[2], int(argv[3])
    # Zip times have no zone and start in 1980.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(output, "w") as archive:
        for item in argv[4:]:
            kind, rest = item.split(":", 1)
            source, name = rest.rsplit(":", 1)
            entry = zipfile.ZipInfo("VantorixRC/" + name, date_time=stamp)
            entry.create_system = 0
            entry.external_attr = 0x20  # the archive attribute, as Windows itself sets it
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, content(kind, source, version), compresslevel=9)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
