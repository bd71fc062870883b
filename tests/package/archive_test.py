"""Checks a release archive as scripts/package writes it: the two entries in their order, the
program byte for byte the one built, and a README.txt that Notepad shows line by line.

    python3 tests/package/archive_test.py ARCHIVE BUILT_EXE VERSION
"""
import sys
import zipfile

archive, built, version = sys.argv[1:]
faults = []
with zipfile.ZipFile(archive) as z:
    names = z.namelist()
    if names != ["wtsscope.exe", "README.txt"]:
        faults.append(f"entries are {names}, not wtsscope.exe and README.txt")
    else:
        if z.testzip() is not None:
            faults.append(f"{z.testzip()} is damaged")
        if z.read("wtsscope.exe") != open(built, "rb").read():
            faults.append(f"wtsscope.exe is not {built}")
        readme = z.read("README.txt")
        if readme.count(b"\n") < 10 or readme.count(b"\n") != readme.count(b"\r\n"):
            faults.append("README.txt does not end every line with CRLF")
        if b"@VERSION@" in readme or f"wtsscope {version}\r\n".encode() not in readme:
            faults.append(f"README.txt does not name version {version}")
for fault in faults:
    print(f"{archive}: {fault}", file=sys.stderr)
sys.exit(1 if faults else 0)
