#!/usr/bin/env python3
"""Writes a UHA archive whose entries are given on the command line (all of them
empty files, or folders when the name ends in '/'), with valid checksums, so that
only the path rules stand between the entries and the disk."""
import struct
import sys
import zlib

out, names = sys.argv[1], sys.argv[2:]
entries = b''
for name in names:
    folder = name.endswith('/') and len(name) > 1
    path = (name[:-1] if folder else name).encode('utf-8', 'surrogateescape')
    # type, block, path length, attributes, mode, time, size, CRC, transform, stored size
    entries += struct.pack('<BBHIIQQIBQ', 0 if folder else 1, 0, len(path), 0, 0,
                           132000000000000000, 0, 0, 0, 0) + path
index = struct.pack('<BQQI', 0, 1, 0, 1 << 16) + entries
head = b'UHA\x06' + struct.pack('<HBBIIIIQQI', 48, 1, 0, 1 << 16, len(names), len(index),
                                 zlib.crc32(index), 0, 1, 0)
head += struct.pack('<I', zlib.crc32(head))
with open(out, 'wb') as f:
    f.write(head + index + b'\x00')  # an empty LZMA2 stream is its end marker
