#!/usr/bin/env python3
"""Sets the created and last-saved times of an MSI's summary information to
SOURCE_DATE_EPOCH, so that the same sources give the same package bytes.

wixl and msibuild write the time of the run there and offer no way to choose
it. The times are FILETIMEs (VT_FILETIME, 0x40) in the summary stream, which
sits whole in one run of the compound file's mini stream; the ones written
during the last day are replaced, and msiinfo then reads them back to be sure
that nothing else was hit.

Usage: msi_fixed_times.py MSI_FILE
"""
import os
import struct
import subprocess
import sys
import time

EPOCH_AS_FILETIME = 11644473600  # seconds from 1601 to 1970
TICKS = 10_000_000


def filetime(seconds):
    return (seconds + EPOCH_AS_FILETIME) * TICKS


def main():
    path = sys.argv[1]
    wanted = int(os.environ["SOURCE_DATE_EPOCH"])
    data = bytearray(open(path, "rb").read())
    now = int(time.time())
    low, high = filetime(now - 86400), filetime(now + 86400)
    marker = struct.pack("<I", 0x40)
    replaced = 0
    at = data.find(marker)
    while at != -1:
        if at + 12 <= len(data):
            (value,) = struct.unpack_from("<Q", data, at + 4)
            if low <= value <= high:
                struct.pack_into("<Q", data, at + 4, filetime(wanted))
                replaced += 1
        at = data.find(marker, at + 1)
    if replaced != 2:
        sys.exit(f"{path}: found {replaced} summary times instead of the created and last-saved ones")
    open(path, "wb").write(data)

    shown = subprocess.run(["msiinfo", "suminfo", path], check=True, capture_output=True, text=True).stdout
    expected = time.strftime("%a %b %e %H:%M:%S %Y", time.localtime(wanted))
    for label in ("Created", "Last saved"):
        if f"{label}: {expected}" not in shown:
            sys.exit(f"{path}: msiinfo reads back no '{label}: {expected}':\n{shown}")


if __name__ == "__main__":
    main()
