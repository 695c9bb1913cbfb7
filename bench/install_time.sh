#!/usr/bin/env bash
# Installation time under Wine: setup.exe from Next on the folder page to Next enabled,
# beside the silent installation of NSIS's /SOLID lzma installer of the same corpus, in
# the same prefix and the same run; the peak memory of setup.exe and of the archiver
# during those installations; the shipping (win32) setup.exe's size with the corpus as
# its payload and without any payload, its code and data apart from its resources.
# Prints a Markdown table and writes it to bench/results/install-NAME.md (the figures as
# "key value" rows to install-NAME.txt).
#
#   bench/install_time.sh          corpus: OpenJDK 17 without lib/modules and jmods/
#   CORPUS=/some/dir RUNS=5 bench/install_time.sh
#
# Both times are the best of RUNS runs. The installer timed is the win64 setup.exe with
# the corpus's archive put in as its payload (resource 132).
set -euo pipefail
source "$(dirname "$0")/common.sh"
out_md=$results/install-$corpus_name.md
out_txt=$results/install-$corpus_name.txt
setup32=$build32/installers/setup/setup.exe

wine_start
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
kill -TERM $sampler && wait $sampler || true
install=$(sed -n 's/^bench best_install_seconds //p' "$work/bench.log" | tr -d '\r')
[ -n "$install" ] || { cat "$work/bench.log" >&2; exit 1; }
grep '^bench install_seconds' "$work/bench.log" | tr -d '\r' >&2
peak_setup=$(awk '$1 == "setup.exe" {print $2}' "$work/peak.txt")
peak_uharc=$(awk '$1 == "UHARC.EXE" {print $2}' "$work/peak.txt")

# NSIS's silent installation of the same corpus, right after, in the same prefix.
nsis64=$(nsis_installer amd64-unicode)
nsis=""
for i in $(seq "$runs"); do
  rm -rf "$work/x"
  /usr/bin/time -f '%e' -o "$work/time.txt" "$WINE" "$nsis64" /S "/D=$(winpath "$work/x")"
    t=$(cat "$work/time.txt")
  if [ -z "$nsis" ] || awk "BEGIN{exit !($t < $nsis)}"; then nsis=$t; fi
done
check "$work/x" NSIS
rm -rf "$work/x"

# setup.exe without its payload (all but resources 132 and 133); of that, the other
# resources (pictures, icons, dialogs, texts) and the rest, its code and data.
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

kb() { awk "BEGIN{printf \"%.1f\", $1/1024}"; }
mkdir -p "$results"
{
  echo "setup32_bytes $(stat -c %s "$work/setup32.exe")"
  echo "setup32_bare_bytes $bare"
  echo "setup32_ui_resource_bytes $resources"
  echo "setup32_code_bytes $((bare - resources))"
  echo "nsis_stub_lzma_solid_bytes $(stat -c %s "$stubs/lzma_solid-x86-unicode")"
  echo "install_seconds $install"
  echo "nsis_install_seconds $nsis"
  echo "peak_setup_kb ${peak_setup:-0}"
  echo "peak_uharc_kb ${peak_uharc:-0}"
} >"$out_txt"
{
  echo "Corpus: $corpus_text; archive $(mb "$(stat -c %s "$work/c.uha")") MB. Best of $runs runs each. MB = 10^6 bytes, KB = 1024 bytes."
  echo
  echo "| Measure | Value |"
  echo "|---|---:|"
  echo "| setup.exe under Wine, Next on the folder page to Next enabled, s | $install |"
  echo "| NSIS /SOLID lzma installer under Wine, silent installation (/S), s | $nsis |"
  echo "| peak memory of setup.exe during the installations, MiB | $(kb "${peak_setup:-0}") |"
  echo "| peak memory of UHARC.EXE during the installations, MiB | $(kb "${peak_uharc:-0}") |"
  echo "| setup.exe (win32) with this payload, MB | $(mb "$(stat -c %s "$work/setup32.exe")") |"
  echo "| setup.exe (win32) without payload (all but resources 132 and 133), KB | $(kb "$bare") |"
  echo "| of which pictures, icons, dialogs and texts, KB | $(kb "$resources") |"
  echo "| of which code and data, KB | $(kb "$((bare - resources))") |"
  echo "| NSIS stub lzma_solid-x86-unicode, KB | $(kb "$(stat -c %s "$stubs/lzma_solid-x86-unicode")") |"
} | tee "$out_md"
