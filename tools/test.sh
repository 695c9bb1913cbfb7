#!/usr/bin/env bash
# The whole test suite: host unit tests (ASan/UBSan), then the Windows tests and the
# end-to-end scenarios under 64-bit Wine in a virtual display; the shipping i686
# build is built and checked, and one installation is run with it under emulated
# 32-bit Wine (tools/test-i686.sh, about 15 minutes; SETUP_SKIP_I686=1 leaves it out).
# Exits non-zero when any test fails.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

if [ "$(id -u)" = 0 ]; then bash tools/setup-machine.sh; fi
jobs=${SETUP_JOBS:-$(nproc)}

cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"

status=0
ctest --preset host -j "$jobs" || status=1
# The shipping build cannot run here: its static, signing and reproducibility checks.
ctest --test-dir build/win32 -L release --output-on-failure || status=1

bash tests/wine/prefix.sh start
trap 'bash tests/wine/prefix.sh stop' EXIT
# Wine tests share one prefix and one display: run them one at a time.
ctest --preset win64 || status=1
bash tests/wine/prefix.sh stop
trap - EXIT

# Last, as it installs 32-bit Wine, after which only the 64-bit loader is used above.
if [ -z "${SETUP_SKIP_I686:-}" ]; then
  bash tools/test-i686.sh || status=1
fi
exit $status
