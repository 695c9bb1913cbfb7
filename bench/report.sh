#!/usr/bin/env bash
# The benchmark report in one run: the payload benchmark (archive sizes, extraction
# speed and memory beside xz, gzip and NSIS) and the installation benchmark (setup.exe
# under Wine beside the native extraction, sizes, peak memory) on the same corpus, then
# bench/results/report.md and bench/results/report.png from their figures.
#
#   bench/report.sh                    corpus: OpenJDK 17 without lib/modules and jmods/
#   CORPUS=/some/dir RUNS=5 bench/report.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
if [ "$(id -u)" = 0 ]; then bash tools/setup-machine.sh >/dev/null; fi
bash bench/payload.sh
bash bench/install_time.sh
python3 bench/report.py bench/results
