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
if [ -z "${SETUP_KEEP_DISPLAY:-}" ] && [ -f "$SETUP_WINE_ROOT/display" ]; then
  export DISPLAY=$(cat "$SETUP_WINE_ROOT/display")
fi
