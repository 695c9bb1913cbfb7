#!/usr/bin/env bash
# Installation time: setup.exe under Wine, from Next on the folder page to Next enabled,
# beside the native extraction of the same archive by the archiver, in one run. Prints a
# Markdown table and writes it to bench/results/install.md.
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
build=$repo/build/win64

[ -d "$corpus_src" ] || { echo "install_time.sh: no corpus at $corpus_src (tools/setup-machine.sh installs it)" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || { echo "install_time.sh: /usr/bin/time is missing" >&2; exit 1; }

work=$(mktemp -d /tmp/bench-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
quiet() { "$@" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }; }

[ -f "$build/build.ninja" ] || quiet cmake --preset win64
quiet cmake --build "$build" --target uharc_native setup e2e_install
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
BENCH_SETUP=$(winpath "$work/setup.exe") BENCH_RUNS=$runs \
  "$WINE" "$tester" --gtest_filter=InstallTest.BenchNextToNextEnabled >"$work/bench.log" 2>&1 ||
  { cat "$work/bench.log" >&2; exit 1; }
"$WINESERVER" -w
install=$(sed -n 's/^bench best_install_seconds //p' "$work/bench.log" | tr -d '\r')
[ -n "$install" ] || { cat "$work/bench.log" >&2; exit 1; }

mb() { awk "BEGIN{printf \"%.2f\", $1/1048576}"; }
mkdir -p "$(dirname "$out_md")"
{
  echo "Corpus: $corpus_src (symlinks followed, without lib/modules and jmods/): $corpus_files files, $(mb "$corpus_bytes") MB; archive $(mb "$(stat -c %s "$work/c.uha")") MB. Best of $runs runs each."
  echo
  echo "| Measure | Seconds |"
  echo "|---|---:|"
  echo "| native extraction (uharc x -y) | $native |"
  echo "| setup.exe under Wine, Next on the folder page to Next enabled | $install |"
  awk -v i="$install" -v n="$native" 'BEGIN{printf "| difference (goal: at most 1.2) | %.3f |\n", i - n}'
} | tee "$out_md"
