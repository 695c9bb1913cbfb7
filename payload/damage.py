#!/usr/bin/env python3
"""Makes a damaged copy of a file, for the installers that test failure paths.

  damage.py truncate SRC DST     keeps the first half
  damage.py flip SRC DST         inverts 16 bytes at 60 % of the file (inside the
                                 compressed data of any archive but a tiny one)
  damage.py zero-head SRC DST    zeroes the first KB (an executable that cannot load)
  damage.py repacked SRC DST     flips a byte in the middle of the first re-packed
                                 file's stored bytes and compresses its block again,
                                 so that only the re-packing can tell
"""
import lzma
import os
import struct
import sys
import zlib


def damage_repacked(data):
    """The UHA layout of docs/archive-format.md: 48-byte header, block records, entries."""
    blocks, count, index_size = data[6], *struct.unpack_from("<II", data, 12)
    head = 48 + index_size
    index = bytearray(data[48:head])
    records = [list(struct.unpack_from("<BQQI", index, 21 * i)) for i in range(blocks)]
    pos, offsets, target = 21 * blocks, [0] * blocks, None
    for _ in range(count):
        block, path_len = index[pos + 1], struct.unpack_from("<H", index, pos + 2)[0]
        transform, stored = index[pos + 32], struct.unpack_from("<Q", index, pos + 33)[0]
        if transform and target is None:
            target = (block, offsets[block] + stored // 2)
        offsets[block] += stored
        pos += 41 + path_len
    if target is None:
        raise SystemExit("damage.py: no re-packed file in the archive")
    out, at = bytearray(), head
    for b, (filters, packed, unpacked, dict_size) in enumerate(records):
        chain = ([{"id": lzma.FILTER_X86}] if filters & 1 else []) + [{"id": lzma.FILTER_LZMA2, "dict_size": dict_size}]
        raw = data[at:at + packed]
        at += packed
        if b == target[0]:
            plain = bytearray(lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=chain).decompress(raw))
            plain[target[1]] ^= 0x01
            chain[-1]["preset"] = 6
            raw = lzma.compress(bytes(plain), lzma.FORMAT_RAW, filters=chain)
            struct.pack_into("<Q", index, 21 * b + 1, len(raw))
        out += raw
    header = bytearray(data[:48])
    struct.pack_into("<I", header, 20, zlib.crc32(index))
    struct.pack_into("<Q", header, 32, sum(struct.unpack_from("<Q", index, 21 * b + 1)[0] for b in range(blocks)))
    struct.pack_into("<I", header, 44, zlib.crc32(header[:44]))
    return header + index + out


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("truncate", "flip", "zero-head", "repacked"):
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
    elif mode == "repacked":
        data = damage_repacked(bytes(data))
    else:
        data[:1024] = bytes(1024)
    with open(dst + ".tmp", "wb") as f:
        f.write(data)
    os.replace(dst + ".tmp", dst)
    return 0


if __name__ == "__main__":
    sys.exit(main())
