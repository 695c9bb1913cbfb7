#!/bin/sh
# Turns the captures the end-to-end tests left in DIR into PNG files beside them.
dir=${1:?usage: bmp2png.sh DIR}
[ -d "$dir" ] || exit 0
status=0
for f in "$dir"/*.bmp; do
  [ -e "$f" ] || continue
  if convert "$f" "${f%.bmp}.png"; then rm -f "$f"; else status=1; fi
done
exit $status
