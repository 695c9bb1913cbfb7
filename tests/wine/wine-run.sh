#!/usr/bin/env bash
# ctest's emulator for the Windows test programs: runs one under 64-bit Wine in the
# test prefix and display (both made by prefix.sh when missing).
here=$(cd "$(dirname "$0")" && pwd)
source "$here/env.sh"
if [ ! -f "$WINEPREFIX/.setup-ready" ] || [ -z "${DISPLAY:-}" ]; then
  mkdir -p "$SETUP_WINE_ROOT"; flock "$SETUP_WINE_ROOT.lock" "$here/prefix.sh" start >&2 || exit 1
  source "$here/env.sh"
fi
exec "$WINE" "$@"
