#!/usr/bin/env bash
# Installation time: setup.exe under Wine, from Next on the folder page to Next enabled,
# beside the native extraction of the same archive by the archiver, in one run; the peak
# memory of setup.exe and of the archiver during those installations; the size of the
# shipping (win32) setup.exe with the corpus as its payload and without any payload,
# beside NSIS's stubs. Prints a Markdown table and writes it to bench/results/install.md
# (and the figures as "key value" rows to bench/results/install.txt).
#
#   bench/install_time.sh          corpus: OpenJDK 17 without lib/modules and jmods/
#   CORPUS=/some/dir RUNS=5 bench/install_time.sh
#
# Both figures are the best of RUNS runs (the machine is shared). The installer is the
# win64 setup.exe with the corpus's archive put in as its payload (resource 132).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
corpus_src=${CORPUS:-/usr/lib/jvm/java-17-openjdk-amd64}
runs=${RUNS:-3}
out_md=$repo/bench/results/install.md
out_txt=$repo/bench/results/install.txt
build=$repo/build/win64
build32=$repo/build/win32

[ -d "$corpus_src" ] || { echo "install_time.sh: no corpus at $corpus_src (tools/setup-machine.sh installs it)" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || { echo "install_time.sh: /usr/bin/time is missing" >&2; exit 1; }

work=$(mktemp -d /tmp/bench-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
quiet() { "$@" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }; }

[ -f "$build/build.ninja" ] || quiet cmake --preset win64
quiet cmake --build "$build" --target uharc_native setup e2e_install
[ -f "$build32/build.ninja" ] || quiet cmake --preset win32
quiet cmake --build "$build32" --target setup
setup32=$build32/installers/setup/setup.exe
uharc=$(sed -n 's/^UHARC_NATIVE:INTERNAL=//p' "$build/CMakeCache.txt")
[ -x "$uharc" ] || { echo "install_time.sh: no native uharc at $uharc" >&2; exit 1; }

corpus=$work/corpus
mkdir -p "$corpus"
(cd "$corpus_src" && { tar -ch --exclude=./lib/modules --exclude=./jmods . 2>/dev/null || [ $? -le 1 ]; }) |
  tar -x -C "$corpus"
corpus_bytes=$(find "$corpus" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
corpus_files=$(find "$corpus" -type f | wc -l)
"$uharc" a "$work/c.uha" "$corpus" >/dev/null

# native extraction, best of $runs
native=""
for i in $(seq "$runs"); do
  rm -rf "$work/x"; mkdir -p "$work/x"
  (cd "$work/x" && /usr/bin/time -f '%e' -o "$work/time.txt" "$uharc" x -y "$work/c.uha" >/dev/null)
  t=$(cat "$work/time.txt")
  if [ -z "$native" ] || awk "BEGIN{exit !($t < $native)}"; then native=$t; fi
done
rm -rf "$work/x"

# the installation under Wine
source "$repo/tests/wine/env.sh"
flock "$SETUP_WINE_ROOT.lock" "$repo/tests/wine/prefix.sh" start >/dev/null
source "$repo/tests/wine/env.sh"
winpath() { echo "Z:${1//\//\\}"; }
tester=$build/tests/e2e/e2e_install.exe
"$WINE" "$tester" --make-setup "$(winpath "$build/installers/setup/setup.exe")" "$(winpath "$work/c.uha")" \
  "$(winpath "$work/setup.exe")" || { echo "install_time.sh: could not make the corpus's setup.exe" >&2; exit 1; }
# The shipping installer of the same corpus: the win32 setup.exe with the archive put in.
"$WINE" "$tester" --make-setup "$(winpath "$setup32")" "$(winpath "$work/c.uha")" "$(winpath "$work/setup32.exe")" ||
  { echo "install_time.sh: could not make the corpus's win32 setup.exe" >&2; exit 1; }
python3 "$repo/bench/peakmem.py" "$work/peak.txt" setup.exe UHARC.EXE &
sampler=$!
BENCH_SETUP=$(winpath "$work/setup.exe") BENCH_RUNS=$runs \
  "$WINE" "$tester" --gtest_filter=BenchTest.BenchNextToNextEnabled >"$work/bench.log" 2>&1 ||
  { kill $sampler; cat "$work/bench.log" >&2; exit 1; }
"$WINESERVER" -w
kill -TERM $sampler && wait $sampler || true
install=$(sed -n 's/^bench best_install_seconds //p' "$work/bench.log" | tr -d '\r')
[ -n "$install" ] || { cat "$work/bench.log" >&2; exit 1; }
grep '^bench install_seconds' "$work/bench.log" | tr -d '\r' >&2
peak_setup=$(awk '$1 == "setup.exe" {print $2}' "$work/peak.txt")
peak_uharc=$(awk '$1 == "UHARC.EXE" {print $2}' "$work/peak.txt")

# setup.exe without its payload (all but resources 132 and 133), and of that the other
# resources (pictures, icons, dialogs, texts).
read -r bare resources < <(python3 - "$setup32" "$repo/tests/release" <<'PY'
import os, sys
sys.path.insert(0, sys.argv[2])
import pe
sizes = {k: len(v) for k, v in pe.load(sys.argv[1]).resources().items()}
payload = sum(n for k, n in sizes.items() if k[1] in (132, 133))
print(os.path.getsize(sys.argv[1]) - payload, sum(sizes.values()) - payload)
PY
)
stubs=/usr/share/nsis/Stubs

mb() { awk "BEGIN{printf \"%.2f\", $1/1e6}"; }
kb() { awk "BEGIN{printf \"%.1f\", $1/1024}"; }
mkdir -p "$(dirname "$out_md")"
{
  echo "setup32_bytes $(stat -c %s "$work/setup32.exe")"
  echo "setup32_bare_bytes $bare"
  echo "setup32_ui_resource_bytes $resources"
  echo "nsis_stub_zlib_bytes $(stat -c %s "$stubs/zlib-x86-unicode")"
  echo "nsis_stub_lzma_solid_bytes $(stat -c %s "$stubs/lzma_solid-x86-unicode")"
  echo "native_seconds $native"
  echo "install_seconds $install"
  echo "peak_setup_kb $peak_setup"
  echo "peak_uharc_kb $peak_uharc"
} >"$out_txt"
{
  echo "Corpus: $corpus_src (symlinks followed, without lib/modules and jmods/): $corpus_files files, $(mb "$corpus_bytes") MB; archive $(mb "$(stat -c %s "$work/c.uha")") MB. Best of $runs runs each. MB = 10^6 bytes, KB = 1024 bytes."
  echo
  echo "| Measure | Value |"
  echo "|---|---:|"
  echo "| native extraction (uharc x -y), s | $native |"
  echo "| setup.exe under Wine, Next on the folder page to Next enabled, s | $install |"
  awk -v i="$install" -v n="$native" 'BEGIN{printf "| difference (goal: at most 1.2), s | %.3f |\n", i - n}'
  echo "| peak memory of setup.exe during the installations, MiB | $(kb "${peak_setup:-0}") |"
  echo "| peak memory of UHARC.EXE during the installations, MiB | $(kb "${peak_uharc:-0}") |"
  echo "| setup.exe (win32) with this payload, MB | $(mb "$(stat -c %s "$work/setup32.exe")") |"
  echo "| setup.exe (win32) without payload (all but resources 132 and 133), KB | $(kb "$bare") |"
  echo "| of which pictures, icons, dialogs and texts, KB | $(kb "$resources") |"
  echo "| NSIS stub zlib-x86-unicode, KB | $(kb "$(stat -c %s "$stubs/zlib-x86-unicode")") |"
  echo "| NSIS stub lzma_solid-x86-unicode, KB | $(kb "$(stat -c %s "$stubs/lzma_solid-x86-unicode")") |"
} | tee "$out_md"
