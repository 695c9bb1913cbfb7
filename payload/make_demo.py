#!/usr/bin/env python3
"""Builds the folder that a setup.exe installs by default: the demo application.

  make_demo.py --stage DIR --expected DIR --pkl EXE --uninstall EXE --unpack200 EXE
               --name NAME --build BUILD --program FILE --uninstaller FILE
  make_demo.py --large DIR --from STAGE --megabytes N

NAME and BUILD are the product's name and build, FILE the names under which the tree
holds the program (--pkl) and the uninstaller (--uninstall).

The first form writes the application tree into --stage (replacing it) and copies of the
unpacked libraries into --expected, for the tests to compare the expansions with. The
second copies STAGE into DIR and adds N MB of generated, poorly compressible data.

Everything is deterministic: fixed generator seeds, fixed zip entry times, gzip -n, and
every file and folder's mtime set to SOURCE_DATE_EPOCH (default below).
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import zipfile

DEFAULT_EPOCH = 1718323200  # 2024-06-14 00:00:00 UTC, the 0614 build

WORDS = ("quill mate note page draft ink margin paragraph chapter outline index font glyph "
         "layout render buffer stream reader writer cursor select copy paste undo redo "
         "spell check theme window frame panel toolbar status locale resource bundle "
         "provider cipher digest key store plugin event listener action command").split()

# The libraries: (path in the tree, class-name prefix, entries, mean entry size).
LIBRARIES = [
    ("jre/lib/rt.jar", "java/quill/core", 520, 5200),
    ("jre/lib/ext/localedata.jar", "sun/text/resources/ext", 160, 3800),
    ("jre/lib/ext/quillfx.jar", "com/{lower}/fx", 120, 4200),
    ("jre/lib/ext/sunjce_provider.jar", "com/sun/crypto/provider", 70, 6000),
]

# {name}, {lower} and {build}: the product's name, the same in lower case, its build.
DATA_FILES = {
    "data/{lower}.ini": "[{name}]\r\nVersion={build}\r\nLanguage=zh-CN\r\nAutoSave=5\r\n",
    "data/templates/默认模板.txt": "标题：\r\n\r\n正文：\r\n\r\n—— 由 {name} 生成\r\n",
    "data/templates/letters/感谢信.txt": "尊敬的{收件人}：\r\n\r\n感谢您的支持与帮助。\r\n\r\n此致\r\n敬礼\r\n",
    "data/templates/letters/meeting-notes.txt": "Meeting notes\r\n=============\r\n\r\nAttendees:\r\nAgenda:\r\n",
    "docs/README.txt": "{name} {build}\r\n\r\nA small note-taking application.\r\n",
    "docs/许可协议.txt": "{name} 最终用户许可协议\r\n\r\n本软件按“原样”提供。\r\n",
    "jre/release": 'JAVA_VERSION="1.8.0_402"\nOS_NAME="Windows"\nOS_ARCH="x86"\n',
    "jre/lib/{lower}.properties": "quill.version={build}\nquill.packed=true\n",
}

EMPTY_FOLDERS = ["logs"]


def fill(text, words):
    for key, value in words.items():
        text = text.replace("{%s}" % key, value)
    return text


def epoch():
    return int(os.environ.get("SOURCE_DATE_EPOCH", DEFAULT_EPOCH))


def class_bytes(rng, name, size):
    """Something shaped like a class file: magic, a constant pool of names, code bytes."""
    out = bytearray(b"\xca\xfe\xba\xbe\x00\x00\x00\x34")
    pool = [name] + ["%s%s" % (rng.choice(WORDS), rng.choice(WORDS).capitalize()) for _ in range(40)]
    for item in pool:
        raw = item.encode()
        out += b"\x01" + len(raw).to_bytes(2, "big") + raw
    while len(out) < size:
        if rng.random() < 0.6:
            out += rng.choice(pool).encode()
        else:
            out += rng.randbytes(rng.randint(8, 64))
    return bytes(out[:size])


def make_jar(path, prefix, count, mean, seed, name):
    rng = random.Random(seed)
    stamp = (1980, 1, 1, 0, 0, 0)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as jar:
        entries = [("META-INF/MANIFEST.MF", ("Manifest-Version: 1.0\r\nCreated-By: %s build\r\n\r\n" % name).encode())]
        for i in range(count):
            name = "%s/%s%s%d.class" % (prefix, rng.choice(WORDS).capitalize(), rng.choice(WORDS).capitalize(), i)
            size = max(200, int(rng.expovariate(1.0 / mean)))
            entries.append((name, class_bytes(rng, name, size)))
        for name, data in entries:
            info = zipfile.ZipInfo(name, stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0
            info.external_attr = 0
            jar.writestr(info, data)


def gzip_n(src, dst):
    with open(dst, "wb") as out:
        subprocess.run(["gzip", "-n", "-9", "-c", src], stdout=out, check=True)


def set_times(root):
    t = epoch()
    for dirpath, dirnames, filenames in os.walk(root, topdown=False):
        for name in filenames:
            os.utime(os.path.join(dirpath, name), (t, t))
        os.utime(dirpath, (t, t))


def fresh_dir(path):
    if os.path.isdir(path):
        shutil.rmtree(path)
    os.makedirs(path)


def replace_dir(tmp, final):
    """Puts a finished tree in place, so that nobody reads a half-made one."""
    if os.path.isdir(final):
        shutil.rmtree(final)
    os.rename(tmp, final)


def make_stage(args):
    stage, expected = args.stage + ".tmp", args.expected + ".tmp"
    fresh_dir(stage)
    fresh_dir(expected)
    words = {"name": args.name, "lower": args.name.lower(), "build": args.build}
    for rel, src in ((args.program, args.pkl), (args.uninstaller, args.uninstall), ("jre/bin/unpack200.exe", args.unpack200)):
        dst = os.path.join(stage, rel)
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copyfile(src, dst)
    for seed, (rel, prefix, count, mean) in enumerate(LIBRARIES, start=614):
        jar = os.path.join(expected, rel)
        os.makedirs(os.path.dirname(jar), exist_ok=True)
        make_jar(jar, fill(prefix, words), count, mean, seed, args.name)
        packed = os.path.join(stage, rel + ".pack.gz")
        os.makedirs(os.path.dirname(packed), exist_ok=True)
        gzip_n(jar, packed)
    for rel, text in DATA_FILES.items():
        dst = os.path.join(stage, fill(rel, words))
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(dst, "w", encoding="utf-8", newline="") as f:
            f.write(fill(text, words))
    for rel in EMPTY_FOLDERS:
        os.makedirs(os.path.join(stage, rel), exist_ok=True)
    set_times(stage)
    set_times(expected)
    replace_dir(stage, args.stage)
    replace_dir(expected, args.expected)


def make_large(args):
    large = args.large + ".tmp"
    if os.path.isdir(large):
        shutil.rmtree(large)
    shutil.copytree(args.from_dir, large)
    folder = os.path.join(large, "data", "large")
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(0x51)
    # Random text over 64 symbols: about 6 bits a byte, so the decoder has real work on
    # every byte instead of copying stored blocks.
    alphabet = bytes(range(0x30, 0x70))
    table = bytes.maketrans(bytes(range(256)), bytes(alphabet[b % 64] for b in range(256)))
    remaining = args.megabytes << 20
    index = 0
    while remaining > 0:
        size = min(remaining, 16 << 20)
        with open(os.path.join(folder, "chunk-%02d.dat" % index), "wb") as f:
            f.write(rng.randbytes(size).translate(table))
        remaining -= size
        index += 1
    set_times(large)
    replace_dir(large, args.large)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--stage")
    p.add_argument("--expected")
    p.add_argument("--pkl")
    p.add_argument("--uninstall")
    p.add_argument("--unpack200")
    p.add_argument("--name")
    p.add_argument("--build")
    p.add_argument("--program")
    p.add_argument("--uninstaller")
    p.add_argument("--large")
    p.add_argument("--from", dest="from_dir")
    p.add_argument("--megabytes", type=int, default=80)
    args = p.parse_args()
    if args.large:
        if not args.from_dir:
            p.error("--large needs --from")
        make_large(args)
    elif all((args.stage, args.expected, args.pkl, args.uninstall, args.unpack200, args.name, args.build, args.program,
              args.uninstaller)):
        make_stage(args)
    else:
        p.error("give --stage, --expected, --pkl, --uninstall, --unpack200, --name, --build, --program and "
                "--uninstaller, or --large and --from")
    return 0


if __name__ == "__main__":
    sys.exit(main())
