#!/usr/bin/env python3
"""Writes the test tree of the archiver's Wine tests: CJK names, empty files and
folders, a deep path, a few MB of mixed data and fixed modification times."""
import os
import random
import sys

root = sys.argv[1]
big = int(sys.argv[2]) if len(sys.argv) > 2 else 3 << 20
rnd = random.Random(6)


def write(rel, data, mtime=1500000000):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)
    os.utime(path, (mtime, mtime))


def mixed(size):
    words = [b'class ', b'void ', b'jar ', b'\r\n', b'Quillmate ', b'0x1f ', b'{ ', b'} ']
    out = bytearray()
    while len(out) < size:
        if (len(out) >> 12) % 4 == 0:
            out += rnd.randbytes(64)
        else:
            out += rnd.choice(words)
    return bytes(out[:size])


os.makedirs(os.path.join(root, 'empty folder'), exist_ok=True)
os.makedirs(os.path.join(root, '空目录'), exist_ok=True)
write('empty.txt', b'')
write('中文目录/说明 文件.txt', '你好，世界\r\n'.encode('utf-8'))
write('jre/lib/ext/a.jar.pack.gz', mixed(70000))
write('jre/bin/unpack200.exe', b'MZ' + mixed(30000))
write('big/data.bin', mixed(big))
deep = '/'.join('d%02d' % i for i in range(30))
write(deep + '/bottom.txt', b'deep')
for i in range(int(sys.argv[3]) if len(sys.argv) > 3 else 5):
    write('many/file%03d.txt' % i, mixed(2000 + i * 37))
