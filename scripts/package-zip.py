#!/usr/bin/env python3
"""Writes the portable zip from the staged files: always the same entries in
the same order, each dated by its file's time (package.sh sets them all to the
last commit's), so that the same files give the same bytes. Each program has
a folder of its own, named for the Windows it runs on, with its manual.

Usage: package-zip.py <stage-dir> <out.zip>
"""
import os
import sys
import time
import zipfile

ENTRIES = ["README.txt", "LICENSE.txt", "64bit/Varnow.exe", "64bit/Varnow.html",
           "32bit/Varnow.exe", "32bit/Varnow.html"]
# Zip dates start in 1980.
EARLIEST = 315532800
MSDOS = 0
ARCHIVE_ATTRIBUTE = 0x20


def main(stage, out):
    partial = out + ".partial"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for name in ENTRIES:
            path = os.path.join(stage, name)
            stamp = time.gmtime(max(int(os.stat(path).st_mtime), EARLIEST))[:6]
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = MSDOS
            entry.external_attr = ARCHIVE_ATTRIBUTE
            with open(path, "rb") as source:
                archive.writestr(entry, source.read())
    os.replace(partial, out)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
