#!/usr/bin/env bash
# Creates the test Wine prefix (once per run) and starts the virtual display.
#   prefix.sh start   create the prefix if missing, start Xvfb if not running
#   prefix.sh stop    stop Wine and Xvfb
#   prefix.sh fresh   throw the prefix away and make a new one
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/env.sh"
mkdir -p "$SETUP_WINE_ROOT"

start_display() {
  if [ -f "$SETUP_WINE_ROOT/xvfb.pid" ] && kill -0 "$(cat "$SETUP_WINE_ROOT/xvfb.pid")" 2>/dev/null; then
    return
  fi
  local n
  for n in $(seq 90 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >"$SETUP_WINE_ROOT/xvfb.log" 2>&1 &
    echo $! >"$SETUP_WINE_ROOT/xvfb.pid"
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
    echo ":$n" >"$SETUP_WINE_ROOT/display"
    export DISPLAY=:$n
    return
  done
  echo "prefix.sh: no free display" >&2; exit 1
}

make_prefix() {
  [ -f "$WINEPREFIX/.setup-ready" ] && return
  rm -rf "$WINEPREFIX"
  "$WINE" wineboot -i >"$SETUP_WINE_ROOT/wineboot.log" 2>&1 || true
  "$WINESERVER" -w
  local reg="$SETUP_WINE_ROOT/setup.reg"
  cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"winemenubuilder.exe"=""

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"宋体"="WenQuanYi Micro Hei"
"SimSun"="WenQuanYi Micro Hei"
"MS Shell Dlg"="WenQuanYi Micro Hei"
"MS Shell Dlg 2"="WenQuanYi Micro Hei"
REG
  sed -i '1s/REGEDIT4/Windows Registry Editor Version 5.00/' "$reg" 2>/dev/null || true
  iconv -f UTF-8 -t UTF-16LE "$reg" | { printf '\xff\xfe'; cat; } >"$reg.u16"
  "$WINE" regedit /S "$(winepath_w "$reg.u16")" >/dev/null 2>&1
  "$WINESERVER" -w
  touch "$WINEPREFIX/.setup-ready"
}

winepath_w() { echo "Z:${1//\//\\}"; }

case "${1:-start}" in
  start) start_display; make_prefix ;;
  fresh) rm -rf "$WINEPREFIX"; start_display; make_prefix ;;
  stop)
    "$WINESERVER" -k 2>/dev/null || true
    if [ -f "$SETUP_WINE_ROOT/xvfb.pid" ]; then kill "$(cat "$SETUP_WINE_ROOT/xvfb.pid")" 2>/dev/null || true; rm -f "$SETUP_WINE_ROOT/xvfb.pid" "$SETUP_WINE_ROOT/display"; fi ;;
  *) echo "usage: prefix.sh start|stop|fresh" >&2; exit 2 ;;
esac
