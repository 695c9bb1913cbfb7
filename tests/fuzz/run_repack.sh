#!/usr/bin/env bash
# Runs the re-packing fuzz target for the given number of seconds (default 60).
# The seed corpus is made on first use: zip and gzip files zlib or GNU gzip's deflate
# reproduce or not, and stored forms, good and bad.
# Environment: REPACK_FUZZ (the target), REPACK_FUZZ_DIR (work folder); defaults are
# those of the host build.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
source "$repo/tests/fuzz/common.sh"
dir=${REPACK_FUZZ_DIR:-$repo/build/host/tests/fuzz/repack}
fuzz=${REPACK_FUZZ:-$repo/build/host/tests/fuzz/fuzz_repack}

make_seeds() {
  local seeds=$1
  python3 - "$seeds" <<'PY'
import gzip, io, os, random, struct, subprocess, sys, zipfile, zlib

out = sys.argv[1]
text = b"".join(b"line %d of a class file\r\n" % i for i in range(200))

def zip_of(entries, stream=False):
    buf = io.BytesIO()
    class Unseekable(io.RawIOBase):
        def writable(self): return True
        def write(self, b): return buf.write(b)
    with zipfile.ZipFile(Unseekable() if stream else buf, "w") as z:
        for name, data, method in entries:
            z.writestr(zipfile.ZipInfo(name), data, compress_type=method) if method == zipfile.ZIP_STORED \
                else z.writestr(name, data, compress_type=method)
    return buf.getvalue()

def deflated(data, level=6):
    c = zlib.compressobj(level, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()

# text with runs of noise: GNU gzip ends its blocks where zlib does not
rnd = random.Random(5)
words = [b"class", b"void", b"return", b"int", b"jar", b"\n", b"{", b"}", b"java.lang", b"= "]
gnu_text = b"".join(rnd.randbytes(64) if i % 8 == 0 else b" ".join(rnd.choice(words) for _ in range(20))
                    for i in range(400))

def gnu_gzip(data, level=9):
    return subprocess.run(["gzip", "-n", "-%d" % level], input=data, capture_output=True, check=True).stdout

def stored_form(parts):
    b = bytearray(b"URP\x01")
    for p in parts:
        if isinstance(p, bytes):
            b += b"\x00" + struct.pack("<I", len(p)) + p
        elif len(p) == 3:
            plain, level = p[0], p[1]
            b += b"\x02" + bytes([level]) + struct.pack("<QQ", len(plain), len(gnu_gzip(plain, level)) - 18) + plain
        else:
            plain, level = p
            b += b"\x01" + bytes([level, 8, 15, 0]) + struct.pack("<QQ", len(plain), len(deflated(plain, level))) + plain
    return bytes(b + b"\xff")

files = {
    "zip": zip_of([("a.txt", text, zipfile.ZIP_DEFLATED), ("b.bin", bytes(range(256)), zipfile.ZIP_STORED),
                   ("empty", b"", zipfile.ZIP_DEFLATED)]),
    "zip-descriptors": zip_of([("a.txt", text, zipfile.ZIP_DEFLATED), ("c", text[:99], zipfile.ZIP_DEFLATED)], True),
    "gzip": gzip.compress(text, mtime=0),
    "gzip-fast": gzip.compress(text, compresslevel=1, mtime=0),
    "gzip-gnu": gnu_gzip(gnu_text),
    "not-zlib": b"\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03" + b"\x01\x05\x00\xfa\xffhello" + b"\x00" * 8,
}
for name, data in files.items():
    with open(os.path.join(out, "file-" + name), "wb") as f:
        f.write(b"\x01\x00\x00" + data)
forms = {
    "form": (stored_form([b"head", (text, 6), b"tail"]), len(b"headtail") + len(deflated(text))),
    "form-level9": (stored_form([(text, 9)]), len(deflated(text, 9))),
    "form-empty": (stored_form([(b"", 6)]), 2),
    "form-gzip": (stored_form([(gnu_text, 9, "gzip")]), len(gnu_gzip(gnu_text)) - 18),
}
for name, (data, size) in forms.items():
    # a limit byte of 0xFF lets any size through; pieces of 7 bytes
    for cut in (0, 7):
        with open(os.path.join(out, f"{name}-{cut}"), "wb") as f:
            f.write(bytes([0, cut, 0xFF]) + data)
PY
}

fuzz_run "${1:-60}"
