#!/usr/bin/env python3
"""Makes a damaged copy of a file, for the installers that test failure paths.

  damage.py truncate SRC DST     keeps the first half
  damage.py flip SRC DST         inverts 16 bytes at 60 % of the file (inside the
                                 compressed data of any archive but a tiny one)
  damage.py zero-head SRC DST    zeroes the first KB (an executable that cannot load)
"""
import os
import sys


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("truncate", "flip", "zero-head"):
        sys.stderr.write(__doc__)
        return 2
    mode, src, dst = sys.argv[1:]
    with open(src, "rb") as f:
        data = bytearray(f.read())
    if len(data) < 2048:
        sys.stderr.write("damage.py: %s is too small to damage meaningfully\n" % src)
        return 1
    if mode == "truncate":
        data = data[: len(data) // 2]
    elif mode == "flip":
        at = len(data) * 6 // 10
        for i in range(at, at + 16):
            data[i] ^= 0xFF
    else:
        data[:1024] = bytes(1024)
    with open(dst + ".tmp", "wb") as f:
        f.write(data)
    os.replace(dst + ".tmp", dst)
    return 0


if __name__ == "__main__":
    sys.exit(main())
