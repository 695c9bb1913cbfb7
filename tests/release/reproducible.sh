#!/usr/bin/env bash
# Builds setup.exe a second time from a copy of the source tree at another path, in a
# fresh build folder, and compares it with the given one byte for byte.
#   reproducible.sh REFERENCE_SETUP_EXE [PRESET]   (preset default: win32)
# The copy leaves out build/ and .git/; the xz-utils sources that the mingw liblzma
# is built from are copied from the reference build rather than fetched again.
# SETUP_REPRO_KEEP=1 keeps the copy for a look at what differs.
set -euo pipefail
ref=$(realpath "$1")
preset=${2:-win32}
repo=$(cd "$(dirname "$0")/../.." && pwd)
ref_build=$repo/build/$preset
[ -f "$ref" ] || { echo "reproducible: no $ref" >&2; exit 1; }

work=$(mktemp -d /tmp/setup-repro.XXXXXX)
cleanup() { [ -n "${SETUP_REPRO_KEEP:-}" ] || rm -rf "$work"; }
trap cleanup EXIT
src=$work/another/place/src
mkdir -p "$src"

start=$(date +%s)
tar -C "$repo" --exclude=./build --exclude=./.git -cf - . | tar -C "$src" -xf -
if [ -f "$ref_build/_deps/xz-src/CMakeLists.txt" ]; then
  mkdir -p "$src/build/$preset/_deps"
  cp -a "$ref_build/_deps/xz-src" "$src/build/$preset/_deps/"
fi

# The reference build's own choices carry over (a vendor's folder, a certificate).
cache_args=()
for var in SETUP_PAYLOAD_DIR SETUP_SIGN_CERT SETUP_SIGN_KEY; do
  value=$(sed -n "s/^$var:[A-Z]*=//p" "$ref_build/CMakeCache.txt" 2>/dev/null || true)
  if [ -n "$value" ]; then
    # a relative payload folder counts from the source tree
    [ "$var" = SETUP_PAYLOAD_DIR ] && [ "${value#/}" = "$value" ] && value=$repo/$value
    cache_args+=("-D$var=$value")
  fi
done

cd "$src"
cmake --preset "$preset" "${cache_args[@]}" >"$work/configure.log" 2>&1 ||
  { tail -n 30 "$work/configure.log" >&2; exit 1; }
cmake --build --preset "$preset" --target setup -j "${SETUP_JOBS:-$(nproc)}" >"$work/build.log" 2>&1 ||
  { tail -n 30 "$work/build.log" >&2; exit 1; }
end=$(date +%s)
copy=$src/build/$preset/installers/setup/setup.exe
echo "reproducible: second build of $preset setup.exe took $((end - start)) s"

if cmp -s "$ref" "$copy"; then
  echo "reproducible: identical ($(stat -c %s "$ref") bytes, sha256 $(sha256sum <"$ref" | cut -c1-16)…)"
  exit 0
fi
echo "FAIL: setup.exe differs between two builds of the same sources" >&2
echo "  $ref: $(stat -c %s "$ref") bytes; $copy: $(stat -c %s "$copy") bytes" >&2
cmp -l "$ref" "$copy" 2>/dev/null | head -n 10 >&2 || true
# Which intermediate files differ tells where the difference comes in.
(cd "$ref_build" && find . -path ./_deps -prune -o -path ./CMakeFiles/3* -prune -o -type f \
   \( -name '*.obj' -o -name '*.res' -o -name '*.a' -o -name '*.exe' -o -name '*.EXE' -o -name '*.uha' \) -print) |
  while read -r f; do
    [ -f "$src/build/$preset/$f" ] && ! cmp -s "$ref_build/$f" "$src/build/$preset/$f" && echo "  differs: ${f#./}"
  done | head -n 20 >&2
python3 - "$ref" "$copy" <<'PY' >&2 || true
import sys
sys.path.insert(0, "tests/release")
import pe
a, b = pe.load(sys.argv[1]), pe.load(sys.argv[2])
for name, va, size, rawptr, rawsize in a.sections:
    other = [s for s in b.sections if s[0] == name]
    if not other:
        print("  section %s missing in the second build" % name); continue
    o = other[0]
    if a.data[rawptr:rawptr + rawsize] != b.data[o[3]:o[3] + o[4]]:
        print("  section %s differs" % name)
ra, rb = a.resources(), b.resources()
for key in sorted(set(ra) | set(rb), key=str):
    if ra.get(key) != rb.get(key):
        print("  resource %r differs" % (key,))
PY
exit 1
