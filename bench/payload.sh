#!/usr/bin/env bash
# Payload benchmark: archive size, extraction time and extraction memory of our archiver
# beside xz -9e and gzip -9 (each with tar) and NSIS installers (zlib, solid LZMA), all
# on the same corpus. Prints one Markdown table and writes it to bench/results/payload.md
# (and the figures, tab-separated, to bench/results/payload.txt).
#
#   bench/payload.sh            corpus: OpenJDK 17 without lib/modules and jmods/
#   CORPUS=/some/dir RUNS=5 bench/payload.sh
#
# Extraction times are the best of RUNS runs (the machine is shared, so the minimum is
# the steadiest figure). The Wine rows include Wine's process start-up.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
corpus_src=${CORPUS:-/usr/lib/jvm/java-17-openjdk-amd64}
runs=${RUNS:-3}
out_md=$repo/bench/results/payload.md
out_txt=$repo/bench/results/payload.txt
build=$repo/build/win64
build32=$repo/build/win32

[ -d "$corpus_src" ] || { echo "payload.sh: no corpus at $corpus_src (tools/setup-machine.sh installs it)" >&2; exit 1; }
for tool in xz gzip tar makensis /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "payload.sh: $tool is missing (run tools/setup-machine.sh)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/bench-payload.XXXXXX)
trap 'rm -rf "$work"' EXIT

# quiet CMD...: runs a build step, showing its output only when it fails.
quiet() { "$@" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }; }

# The native archiver and the two Windows builds of UHARC.EXE, from the usual presets.
[ -f "$build/build.ninja" ] || quiet cmake --preset win64
quiet cmake --build "$build" --target uharc_native uharc
[ -f "$build32/build.ninja" ] || quiet cmake --preset win32
quiet cmake --build "$build32" --target uharc
uharc=$(sed -n 's/^UHARC_NATIVE:INTERNAL=//p' "$build/CMakeCache.txt")
uharc_exe=$build/bin/UHARC.EXE
[ -x "$uharc" ] || { echo "payload.sh: no native uharc at $uharc" >&2; exit 1; }
corpus=$work/corpus
mkdir -p "$corpus"
# Symlinks followed, as an installer would store the files they point at. Dangling links
# (lib/src.zip without the JDK's source package) make tar exit 1; they are skipped.
(cd "$corpus_src" && { tar -ch --exclude=./lib/modules --exclude=./jmods . 2>/dev/null || [ $? -le 1 ]; }) |
  tar -x -C "$corpus"
corpus_bytes=$(find "$corpus" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
corpus_files=$(find "$corpus" -type f | wc -l)

# measure OUTDIR CMD...: runs CMD in a fresh OUTDIR $runs times; sets best_s and rss_kb.
measure() {
  local dir=$1; shift
  best_s=""; rss_kb=0
  local i t m
  for i in $(seq "$runs"); do
    rm -rf "$dir"; mkdir -p "$dir"
    (cd "$dir" && /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt") || {
      echo "payload.sh: failed: $*" >&2; cat "$work/err.txt" >&2; exit 1; }
    read -r t m <"$work/time.txt"
    if [ -z "$best_s" ] || awk "BEGIN{exit !($t < $best_s)}"; then best_s=$t; fi
    if [ "$m" -gt "$rss_kb" ]; then rss_kb=$m; fi
  done
}

# check DIR: the extraction must give the corpus back byte for byte (plus, for our
# archiver, the uninstall manifest it adds).
check() {
  rm -f "$1/uninstall.lst"
  diff -r -q "$corpus" "$1" >/dev/null || { echo "payload.sh: $2 did not give the corpus back" >&2; exit 1; }
}

rows=()
declare -A size secs rss
add() { size[$1]=$2; secs[$1]=$3; rss[$1]=$4; rows+=("$1"); }

echo "corpus: $corpus_files files, $corpus_bytes bytes; $runs runs each" >&2

# uharc, native
"$uharc" a "$work/c.uha" "$corpus" >/dev/null
measure "$work/x" "$uharc" x -y "$work/c.uha"
check "$work/x" uharc
add "uharc (native)" "$(stat -c %s "$work/c.uha")" "$best_s" "$rss_kb"

# xz -9e + tar
tar -C "$corpus" -cf - . | xz -9e -T1 >"$work/c.tar.xz"
measure "$work/x" sh -c "xz -dc '$work/c.tar.xz' | tar -x"
check "$work/x" xz
add "xz -9e + tar" "$(stat -c %s "$work/c.tar.xz")" "$best_s" "$rss_kb"

# gzip -9 + tar
tar -C "$corpus" -cf - . | gzip -9 >"$work/c.tar.gz"
measure "$work/x" sh -c "gzip -dc '$work/c.tar.gz' | tar -x"
check "$work/x" gzip
add "gzip -9 + tar" "$(stat -c %s "$work/c.tar.gz")" "$best_s" "$rss_kb"

# NSIS installers of the same folder. The size is the usual 32-bit installer's; the
# time is that of the same installer on NSIS's amd64 stub, since the test Wine is 64-bit
# only (the compressed data is the same, the stubs differ by a few KB).
source "$repo/tests/wine/env.sh"
if [ ! -f "$WINEPREFIX/.setup-ready" ] || [ -z "${DISPLAY:-}" ]; then
  mkdir -p "$SETUP_WINE_ROOT"
  flock -o "$SETUP_WINE_ROOT.lock" "$repo/tests/wine/prefix.sh" start >/dev/null
  source "$repo/tests/wine/env.sh"
fi
winpath() { echo "Z:${1//\//\\}"; }
for kind in zlib lzma; do
  for target in x86-unicode amd64-unicode; do
    {
      echo 'Unicode true'
      echo "Target $target"
      echo 'Name "bench"'
      echo "OutFile \"$work/nsis-$kind-$target.exe\""
      echo 'RequestExecutionLevel user'
      echo 'SilentInstall silent'
      [ "$kind" = lzma ] && echo 'SetCompressor /SOLID lzma'
      echo 'Section'
      echo '  SetOutPath "$INSTDIR"'
      echo "  File /r \"$corpus/*\""
      echo 'SectionEnd'
    } >"$work/nsis.nsi"
    quiet makensis -V1 "$work/nsis.nsi"
  done
  measure "$work/x" "$WINE" "$work/nsis-$kind-amd64-unicode.exe" /S "/D=$(winpath "$work/x")"
  "$WINESERVER" -w
  check "$work/x" "NSIS $kind"
  label="NSIS zlib (Wine)"; [ "$kind" = lzma ] && label="NSIS /SOLID lzma (Wine)"
  add "$label" "$(stat -c %s "$work/nsis-$kind-x86-unicode.exe")" "$best_s" "$rss_kb"
done

# our archiver's Windows build under Wine, for a like-for-like look at the NSIS rows
measure "$work/x" "$WINE" "$uharc_exe" x -y "$(winpath "$work/c.uha")"
"$WINESERVER" -w
check "$work/x" UHARC.EXE
add "UHARC.EXE x64 (Wine)" "$(stat -c %s "$work/c.uha")" "$best_s" "$rss_kb"

# ---- the table ---------------------------------------------------------------------------
nsis_lzma=${size["NSIS /SOLID lzma (Wine)"]}
mb() { awk "BEGIN{printf \"%.2f\", $1/1e6}"; }
{
  echo "Corpus: $corpus_src (symlinks followed, without lib/modules and jmods/): $corpus_files files, $(mb "$corpus_bytes") MB. Best of $runs extractions; peak RSS via /usr/bin/time -v (largest process of the pipeline). MB = 10^6 bytes, MiB = 2^20."
  echo
  echo "| Method | Archive (MB) | vs NSIS solid LZMA | Extraction (s) | Throughput (MB/s) | Peak RSS (MiB) |"
  echo "|---|---:|---:|---:|---:|---:|"
  for r in "${rows[@]}"; do
    awk -v name="$r" -v s="${size[$r]}" -v n="$nsis_lzma" -v t="${secs[$r]}" -v m="${rss[$r]}" -v c="$corpus_bytes" \
      'BEGIN{ tp = (t > 0) ? sprintf("%.1f", c/1e6/t) : "-";
              printf "| %s | %.2f | %.3f | %.2f | %s | %.1f |\n", name, s/1e6, s/n, t, tp, m/1024 }'
  done
  echo
  u=${size["uharc (native)"]}; ut=${secs["uharc (native)"]}; xt=${secs["xz -9e + tar"]}; um=${rss["uharc (native)"]}
  exe32=$build32/bin/UHARC.EXE
  s32=$(stat -c %s "$exe32" 2>/dev/null || echo 0); s64=$(stat -c %s "$uharc_exe")
  verdict() { if awk "BEGIN{exit !($1)}"; then echo met; else echo "NOT met"; fi; }
  echo "Goals:"
  echo
  echo "- archive <= 0.95 x NSIS solid LZMA: $(awk "BEGIN{printf \"%.3f\", $u/$nsis_lzma}") x — $(verdict "$u <= 0.95*$nsis_lzma")"
  echo "- extraction throughput >= 0.9 x xz -dc | tar x: $(awk "BEGIN{printf \"%.2f\", $xt/$ut}") x — $(verdict "$xt/$ut >= 0.9")"
  echo "- extraction memory <= 64 MiB: $(awk "BEGIN{printf \"%.1f\", $um/1024}") MiB — $(verdict "$um <= 65536")"
  echo "- UHARC.EXE <= 200 KB: win32 (shipping) $(awk "BEGIN{printf \"%.1f\", $s32/1024}") KB — $(verdict "$s32 > 0 && $s32 <= 204800"); win64 $(awk "BEGIN{printf \"%.1f\", $s64/1024}") KB"
} >"$work/table.md"

mkdir -p "$(dirname "$out_md")"
cp "$work/table.md" "$out_md"
{
  printf 'corpus_bytes\t%s\t0\t0\n' "$corpus_bytes"
  for r in "${rows[@]}"; do printf '%s\t%s\t%s\t%s\n' "$r" "${size[$r]}" "${secs[$r]}" "${rss[$r]}"; done
} >"$out_txt"
cat "$out_md"
