#!/usr/bin/env bash
# Payload benchmark: archive size, extraction time and extraction memory of our archiver
# beside xz -9e and zstd -19 --long (each with tar) and NSIS's /SOLID lzma installer, all
# on the same corpus (bench/common.sh). Prints one Markdown table and writes it to
# bench/results/payload-NAME.md (the figures, tab-separated, to payload-NAME.txt).
#
#   bench/payload.sh            corpus: OpenJDK 17 without lib/modules and jmods/
#   CORPUS=/some/dir RUNS=5 bench/payload.sh
#
# Extraction times are the best of RUNS runs. The Wine rows include the program's start
# (a Wine process), not the Wine server's: it is kept running (common.sh, wine_start).
set -euo pipefail
source "$(dirname "$0")/common.sh"
out_md=$results/payload-$corpus_name.md
out_txt=$results/payload-$corpus_name.txt

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

rows=()
declare -A size secs rss
add() { size[$1]=$2; secs[$1]=$3; rss[$1]=$4; rows+=("$1"); }

echo "corpus $corpus_name: $corpus_files files, $corpus_bytes bytes; $runs runs each" >&2

measure "$work/x" "$uharc" x -y "$work/c.uha"
check "$work/x" uharc
add "uharc (native)" "$(stat -c %s "$work/c.uha")" "$best_s" "$rss_kb"

tar -C "$corpus" -cf - . | xz -9e -T1 >"$work/c.tar.xz"
measure "$work/x" sh -c "xz -dc '$work/c.tar.xz' | tar -x"
check "$work/x" xz
add "xz -9e + tar" "$(stat -c %s "$work/c.tar.xz")" "$best_s" "$rss_kb"

tar -C "$corpus" -cf - . | zstd -q -19 --long=27 -T1 >"$work/c.tar.zst"
measure "$work/x" sh -c "zstd -q -dc --long=27 '$work/c.tar.zst' | tar -x"
check "$work/x" zstd
add "zstd -19 --long + tar" "$(stat -c %s "$work/c.tar.zst")" "$best_s" "$rss_kb"

wine_start
nsis32=$(nsis_installer x86-unicode)
nsis64=$(nsis_installer amd64-unicode)
measure "$work/x" "$WINE" "$nsis64" /S "/D=$(winpath "$work/x")"
check "$work/x" "NSIS"
add "NSIS /SOLID lzma (Wine)" "$(stat -c %s "$nsis32")" "$best_s" "$rss_kb"

measure "$work/x" "$WINE" "$build/bin/UHARC.EXE" x -y "$(winpath "$work/c.uha")"
check "$work/x" UHARC.EXE
add "UHARC.EXE x64 (Wine)" "$(stat -c %s "$work/c.uha")" "$best_s" "$rss_kb"
rm -rf "$work/x"

nsis_lzma=${size["NSIS /SOLID lzma (Wine)"]}
{
  echo "Corpus: $corpus_text. Best of $runs extractions; peak RSS via /usr/bin/time (largest process of the pipeline). MB = 10^6 bytes, MiB = 2^20."
  echo
  echo "| Method | Archive (MB) | vs NSIS solid LZMA | Extraction (s) | Throughput (MB/s) | Peak RSS (MiB) |"
  echo "|---|---:|---:|---:|---:|---:|"
  for r in "${rows[@]}"; do
    awk -v name="$r" -v s="${size[$r]}" -v n="$nsis_lzma" -v t="${secs[$r]}" -v m="${rss[$r]}" -v c="$corpus_bytes" \
      'BEGIN{ tp = (t > 0) ? sprintf("%.1f", c/1e6/t) : "-";
              printf "| %s | %.2f | %.3f | %.2f | %s | %.1f |\n", name, s/1e6, s/n, t, tp, m/1024 }'
  done
} >"$work/table.md"

mkdir -p "$results"
cp "$work/table.md" "$out_md"
{
  printf 'corpus_bytes\t%s\t0\t0\n' "$corpus_bytes"
  for r in "${rows[@]}"; do printf '%s\t%s\t%s\t%s\n' "$r" "${size[$r]}" "${secs[$r]}" "${rss[$r]}"; done
} >"$out_txt"
cat "$out_md"
