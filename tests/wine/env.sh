# Sourced by the test scripts: the 64-bit Wine, its prefix and the virtual display.
# SETUP_WINE_ROOT (default: <repo>/build/wine) holds the prefix and the display number.
_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export SETUP_WINE_ROOT=${SETUP_WINE_ROOT:-$_repo/build/wine}
export WINEPREFIX=${WINEPREFIX:-$SETUP_WINE_ROOT/prefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"winemenubuilder.exe=d;mscoree=d;mshtml=d"}
export LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8
export WINE=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
# The 64-bit suite runs no 32-bit code. Where 32-bit Wine is installed (for
# tools/test-i686.sh), any 32-bit start, wineboot's WoW64 half above all, would run
# under qemu-i386 for minutes: an unknown CPU model makes qemu refuse at once, as if
# there were no 32-bit Wine. SETUP_WINE_I686=1 keeps the 32-bit side.
if [ -z "${SETUP_WINE_I686:-}" ]; then
  export QEMU_CPU=no-32-bit-in-this-prefix
else
  unset QEMU_CPU
fi
if [ -z "${SETUP_KEEP_DISPLAY:-}" ] && [ -f "$SETUP_WINE_ROOT/display" ]; then
  export DISPLAY=$(cat "$SETUP_WINE_ROOT/display")
fi
