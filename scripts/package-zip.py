#!/usr/bin/env python3
"""Writes the portable zip from the staged files: always the same entries in
the same order, each dated SOURCE_DATE_EPOCH or else the time of the last
commit, so that the same sources give the same bytes.

Usage: package-zip.py <stage-dir> <out.zip>
"""
import os
import subprocess
import sys
import time
import zipfile

ENTRIES = ["Varnow.exe", "Varnow.html", "README.txt", "LICENSE.txt"]
# Zip dates start in 1980.
EARLIEST = 315532800
MSDOS = 0
ARCHIVE_ATTRIBUTE = 0x20


def source_date():
    if "SOURCE_DATE_EPOCH" in os.environ:
        return int(os.environ["SOURCE_DATE_EPOCH"])
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    commit_time = subprocess.run(["git", "-C", root, "log", "-1", "--format=%ct"],
                                 capture_output=True, text=True, check=True)
    return int(commit_time.stdout)


def main(stage, out):
    stamp = time.gmtime(max(source_date(), EARLIEST))[:6]
    partial = out + ".partial"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for name in ENTRIES:
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = MSDOS
            entry.external_attr = ARCHIVE_ATTRIBUTE
            with open(os.path.join(stage, name), "rb") as source:
                archive.writestr(entry, source.read())
    os.replace(partial, out)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
