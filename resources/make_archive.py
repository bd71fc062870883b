"""Writes a release archive: wtsscope.exe and README.txt, in that order, with fixed permissions and
the sources' time, so that the same commit gives the same bytes wherever and whenever it is built.

    python3 resources/make_archive.py ARCHIVE EXE README

`cmake -E tar --format=zip` cannot: it records the builder's user and group, the files' access
and change times, and a local time that depends on the time zone.
"""
import os
import sys
import time
import zipfile

archive, exe, readme = sys.argv[1:]
if "SOURCE_DATE_EPOCH" not in os.environ:
    sys.exit("make_archive.py: SOURCE_DATE_EPOCH is not set (scripts/package sets it)")
# A zip entry's time has no zone; the sources' time in UTC, and none before 1980, zip's epoch.
stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
with zipfile.ZipFile(archive, "w") as z:
    for name, path, mode in (("wtsscope.exe", exe, 0o755), ("README.txt", readme, 0o644)):
        entry = zipfile.ZipInfo(name, stamp)
        entry.create_system = 3  # Unix, whose permission bits unzip applies
        entry.external_attr = (0o100000 | mode) << 16
        entry.compress_type = zipfile.ZIP_DEFLATED
        with open(path, "rb") as data:
            z.writestr(entry, data.read(), compresslevel=9)
