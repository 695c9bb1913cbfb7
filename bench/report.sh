#!/usr/bin/env bash
# The benchmark report in one run, on two corpora side by side: the payload benchmark
# (archive sizes, extraction speed and memory beside xz, zstd and NSIS) and the
# installation benchmark (setup.exe under Wine beside NSIS's silent installation, sizes,
# peak memory) on each, then bench/results/report.md and report.png from their figures.
#
#   bench/report.sh          RUNS=5 bench/report.sh
#
# The corpora: OpenJDK 17 (without lib/modules and jmods/), which the archive format
# was tuned on, and Python 3.11's standard library as Debian installs it (without the
# __pycache__ folders Python writes there itself), which nobody tuned for: the runtime
# an application ships beside itself, mixing source text, ELF extension modules, wheels
# (zip) and a static library, and present wherever python3 is.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
if [ "$(id -u)" = 0 ]; then bash tools/setup-machine.sh >/dev/null; fi
work=$(mktemp -d /tmp/bench-report.XXXXXX)
trap 'rm -rf "$work"' EXIT
load() { cut -d' ' -f1 /proc/loadavg; }
started=$(date -u '+%Y-%m-%d %H:%M') load_start=$(load)
uptime >&2
for preset in win64 win32; do
  [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
done
cmake --build build/win64 --target uharc_native uharc setup e2e_install >/dev/null
cmake --build build/win32 --target uharc setup >/dev/null
export BENCH_BUILT=1
for c in "openjdk|/usr/lib/jvm/java-17-openjdk-amd64|./lib/modules ./jmods" \
         "python|/usr/lib/python3.11|__pycache__"; do
  IFS='|' read -r name dir exclude <<<"$c"
  export CORPUS=$dir CORPUS_NAME=$name CORPUS_EXCLUDE=$exclude BENCH_WORK=$work/$name
  bash bench/payload.sh
  bash bench/install_time.sh
  rm -rf "$BENCH_WORK"
done
uptime >&2
python3 bench/report.py bench/results openjdk python
# Figures from a busy machine mean little: the report says how busy it was.
printf '\nRun from %s UTC on %s processors; load average %s at the start, %s at the end.\n' \
  "$started" "$(nproc)" "$load_start" "$(load)" >>bench/results/report.md
