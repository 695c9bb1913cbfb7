#!/usr/bin/env bash
# Runs the expander's fuzz target for the given number of seconds (default 60).
# The seed corpus is made on first use: gzip streams of several shapes, good and bad.
# Environment: GUNZIP_FUZZ (the target), GUNZIP_FUZZ_DIR (work folder); defaults are
# those of the host build.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
source "$repo/tests/fuzz/common.sh"
dir=${GUNZIP_FUZZ_DIR:-$repo/build/host/tests/fuzz/gunzip}
fuzz=${GUNZIP_FUZZ:-$repo/build/host/tests/fuzz/fuzz_gunzip}

make_seeds() {
  local seeds=$1
  python3 - "$seeds" <<'PY'
import gzip, os, struct, sys, zlib

out = sys.argv[1]

def member(data, level=9, flags=0, extra=b"", name=b"", comment=b"", hcrc=False):
    """One gzip member written by hand, so that every header field can be had."""
    head = bytearray(b"\x1f\x8b\x08")
    flg = flags
    if extra: flg |= 4
    if name: flg |= 8
    if comment: flg |= 16
    if hcrc: flg |= 2
    head += bytes([flg]) + struct.pack("<I", 0) + b"\x00\xff"
    if extra: head += struct.pack("<H", len(extra)) + extra
    if name: head += name + b"\x00"
    if comment: head += comment + b"\x00"
    if hcrc: head += struct.pack("<H", zlib.crc32(bytes(head)) & 0xFFFF)
    c = zlib.compressobj(level, zlib.DEFLATED, -15)
    body = c.compress(data) + c.flush()
    return bytes(head) + body + struct.pack("<II", zlib.crc32(data), len(data) & 0xFFFFFFFF)

text = b"".join(b"line %d of a packed library\r\n" % i for i in range(300))
jarish = b"PK\x03\x04" + bytes(range(256)) * 8 + b"META-INF/MANIFEST.MF\n" * 20
good = member(text)
seeds = {
    "empty-member": member(b""),
    "text": good,
    "stored": member(text[:3000], level=0),
    "fast": member(jarish, level=1),
    "header-fields": member(text[:500], extra=b"ab\x02\x00xy", name=b"lib.jar", comment=b"note", hcrc=True),
    "two-members": member(b"first") + member(jarish),
    "library": gzip.compress(jarish * 4, mtime=0),
    "runs": member(b"\x00" * 100000),
    "trailing-garbage": good + b"garbage",
    "trailing-magic": good + b"\x1f",
    "truncated": good[: len(good) // 2],
    "crc-flipped": good[:-6] + bytes([good[-6] ^ 0x55]) + good[-5:],
    "length-flipped": good[:-2] + bytes([good[-2] ^ 0x55]) + good[-1:],
    "not-gzip": b"PK\x03\x04 a jar, not a packed jar",
}
for name, data in seeds.items():
    # The target's first byte: read sizes (low four bits) and the refusing sink (high four).
    for tag, mode in (("a", 0x00), ("b", 0x83), ("c", 0xFF)):
        with open(os.path.join(out, f"{name}-{tag}"), "wb") as f:
            f.write(bytes([mode]) + data)
PY
}

fuzz_run "${1:-60}"
