#!/usr/bin/env bash
# Runs the archive reader's fuzz target for the given number of seconds (default 60).
# The seed corpus is made on first use from small trees archived with uharc.
# Environment: UHARC_FUZZ (the target), UHARC (the archiver), UHARC_FUZZ_DIR (work folder);
# defaults are those of the host build.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
source "$repo/tests/fuzz/common.sh"
dir=${UHARC_FUZZ_DIR:-$repo/build/host/tests/fuzz}
fuzz=${UHARC_FUZZ:-$dir/fuzz_reader}
uharc=${UHARC:-$repo/build/host/bin/uharc}

make_seeds() {
  local seeds=$1
  rm -rf "$dir/trees"
  mkdir -p "$dir/trees"
  t=$dir/trees
  mkdir -p "$t/one/sub/deeper" "$t/one/empty" "$t/two" "$t/three/中文"
  printf 'hello\r\n' > "$t/one/sub/deeper/a.txt"
  : > "$t/one/zero"
  head -c 3000 /dev/zero | tr '\0' 'q' > "$t/one/sub/q.txt"
  printf '\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x03\x00\x3e\x00' > "$t/two/lib.so"
  seq 1 400 >> "$t/two/lib.so"
  printf 'MZ' > "$t/two/x.dat"
  # made by zlib, so the archiver stores it re-packed
  python3 -c 'import gzip, sys; sys.stdout.buffer.write(gzip.compress(b"re-packed " * 300, 6, mtime=0))' \
    > "$t/two/notes.gz"
  # made by GNU gzip, which zlib cannot reproduce: re-packed with gzip's own deflate
  python3 -c 'import random, sys; r = random.Random(5)
sys.stdout.buffer.write(b"".join(r.randbytes(64) if i % 8 == 0 else b"text %d " % r.randrange(99) * 9 for i in range(400)))' \
    | gzip -n -9 > "$t/two/report.tar.gz"
  printf '说明' > "$t/three/中文/文件.txt"
  for tree in one two three; do
    "$uharc" a "$seeds/$tree.uha" "$t/$tree" >/dev/null
    # the target reads one selector byte first: 0 keeps the checksums, 1 recomputes them
    { printf '\x00'; cat "$seeds/$tree.uha"; } > "$seeds/$tree-keep"
    { printf '\x01'; cat "$seeds/$tree.uha"; } > "$seeds/$tree-fix"
    rm "$seeds/$tree.uha"
  done
}

fuzz_run "${1:-60}"
