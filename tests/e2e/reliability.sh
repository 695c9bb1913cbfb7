#!/usr/bin/env bash
# Runs the reliability suite under Wine with two small file systems as drives R: (3 MB)
# and S: (6 MB) for the full-disk cases. The mounts and drive links are removed on
# every exit, and any left by an earlier run that was killed are removed first.
#   reliability.sh <e2e_reliability.exe> [gtest arguments]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../wine/env.sh"
if [ ! -f "$WINEPREFIX/.setup-ready" ] || [ -z "${DISPLAY:-}" ]; then
  mkdir -p "$SETUP_WINE_ROOT"
  flock "$SETUP_WINE_ROOT.lock" "$here/../wine/prefix.sh" start >&2 || exit 1
  source "$here/../wine/env.sh"
fi
disks="$SETUP_WINE_ROOT/reliability-disks"

cleanup() {
  rm -f "$WINEPREFIX/dosdevices/r:" "$WINEPREFIX/dosdevices/s:"
  for m in small full; do
    if mountpoint -q "$disks/$m" 2>/dev/null; then umount "$disks/$m" || umount -l "$disks/$m"; fi
  done
}
cleanup
trap cleanup EXIT INT TERM

mount_drive() {  # <name> <size> <letter> <variable>
  mkdir -p "$disks/$1"
  if mount -t tmpfs -o "size=$2,mode=0777" tmpfs "$disks/$1" 2>/dev/null; then
    ln -sfn "$disks/$1" "$WINEPREFIX/dosdevices/$3:"
    export "$4=${3^^}:"
  else
    echo "reliability.sh: cannot mount a $2 file system (not root?): the full-disk cases will fail" >&2
  fi
}
mount_drive small 3m r RELIABILITY_SMALL_DRIVE
mount_drive full 6m s RELIABILITY_FULL_DRIVE

# A symbolic link in an installation folder, made from this side: Windows programs under
# Wine cannot make one (CreateSymbolicLinkW and FSCTL_SET_REPARSE_POINT do nothing).
links="$WINEPREFIX/drive_c/qm-rel-links"
rm -rf "$links"
mkdir -p "$links/D" "$links/outside"
ln -s "$links/outside" "$links/D/docs"
export RELIABILITY_LINK_DIR='C:\qm-rel-links\'

"$WINE" "$@"
