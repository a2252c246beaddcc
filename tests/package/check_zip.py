#!/usr/bin/env python3
"""Checks the release zip: exactly the shipped files, every text file with
CRLF line ends only, the guides in UTF-8 with a byte-order mark. Then unpacks
it into UNPACK_DIR, where the Windows tests load the plug-in and run the
tester as shipped.

usage: check_zip.py ZIP UNPACK_DIR"""
import shutil
import sys
import zipfile

EXPECTED = ["VantorixRC/VantorixRC.dll", "VantorixRC/RemoteTester.exe", "VantorixRC/README.txt",
            "VantorixRC/README.ru.txt", "VantorixRC/LICENSE"]
GUIDES = ["VantorixRC/README.txt", "VantorixRC/README.ru.txt"]
TEXTS = GUIDES + ["VantorixRC/LICENSE"]


def main(argv):
    archive = zipfile.ZipFile(argv[1])
    names = archive.namelist()
    problems = []
    if sorted(names) != sorted(EXPECTED):
        problems.append(f"entries {names}, expected {EXPECTED}")
    for name in TEXTS:
        if name not in names:
            continue
        data = archive.read(name)
        if name in GUIDES and not data.startswith(b"\xef\xbb\xbf"):
            problems.append(f"{name}: no UTF-8 byte-order mark")
        if data.count(b"\n") == 0 or data.count(b"\n") != data.count(b"\r\n") or data.count(b"\r") != data.count(b"\r\n"):
            problems.append(f"{name}: line ends are not all CRLF")
        try:
            data.decode("utf-8")
        except UnicodeDecodeError as error:
            problems.append(f"{name}: not UTF-8 ({error})")
    if b"@VERSION@" in b"".join(archive.read(n) for n in GUIDES if n in names):
        problems.append("a guide still holds @VERSION@")
    for problem in problems:
        print("release zip: " + problem, file=sys.stderr)
    if problems:
        return 1
    shutil.rmtree(argv[2], ignore_errors=True)
    archive.extractall(argv[2])
    print(f"release zip: {len(names)} entries as expected, unpacked into {argv[2]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
