#!/usr/bin/env bash
# Builds setup.exe (x86_64, with the demo payload) and runs the wizard under Wine.
# With an X display it runs there for you to use. Without one it runs in a virtual
# display, walks the pages with the keyboard and saves a screenshot of each page in
# build/win64/screenshots/tour/.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
if [ "$(id -u)" = 0 ]; then bash tools/setup-machine.sh; fi
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target setup -j "$(nproc)"
exe=$repo/build/win64/installers/setup/setup.exe
# The frame's caption holds the product's name (build/win64/products/default/product.cmake).
product_name=$(sed -n 's/^set(PRODUCT_PRODUCT_NAME "\(.*\)")$/\1/p' "$repo/build/win64/products/default/product.cmake")

export SETUP_WINE_ROOT=$repo/build/wine-tour
if [ -n "${DISPLAY:-}" ]; then
  export SETUP_KEEP_DISPLAY=1
  source tests/wine/env.sh
  [ -f "$WINEPREFIX/.setup-ready" ] || bash tests/wine/prefix.sh start
  exec "$WINE" "$exe"
fi

bash tests/wine/prefix.sh start
trap 'bash tests/wine/prefix.sh stop' EXIT
source tests/wine/env.sh
out=$repo/build/win64/screenshots/tour
mkdir -p "$out"
"$WINE" "$exe" &
pid=$!

wid=""
for _ in $(seq 100); do
  wid=$(xdotool search --name "$product_name" 2>/dev/null | head -n 1 || true)
  [ -n "$wid" ] && break
  sleep 0.2
done
[ -n "$wid" ] || { echo "run-wizard: the wizard did not appear" >&2; exit 1; }
shot() { sleep 1; xdotool mousemove 1000 700; sleep 0.3; import -window root -crop 640x480+0+0 "$out/$1.png"; echo "saved $out/$1.png"; }
# The frame sits at the screen's top left corner; Next is at a fixed place on it.
next() { xdotool mousemove 421 380 click 1; }
shot 1-welcome
next; shot 2-folder
next; sleep 1; shot 3-installing
sleep 12; shot 3-installed
next; shot 4-finish
kill $pid 2>/dev/null || true
"$WINESERVER" -k || true
