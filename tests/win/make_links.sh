#!/usr/bin/env bash
# Symbolic links inside an installation folder, made from the POSIX side: Wine shows
# them to Windows programs, which cannot make them there themselves (Wine's
# CreateSymbolicLinkW and FSCTL_SET_REPARSE_POINT do nothing).
#   C:\quillmate-links\outside\victim.txt        what must stay untouched
#   C:\quillmate-links\D\pkl.exe  -> outside\victim.txt   a listed file
#   C:\quillmate-links\D\lib      -> outside              a folder on a listed path
set -euo pipefail
here=$(cd "$(dirname "$0")/../wine" && pwd)
source "$here/env.sh"
mkdir -p "$SETUP_WINE_ROOT"
flock "$SETUP_WINE_ROOT.lock" "$here/prefix.sh" start >&2
root="$WINEPREFIX/drive_c/quillmate-links"
rm -rf "$root"
mkdir -p "$root/outside" "$root/D"
printf 'keep me' >"$root/outside/victim.txt"
ln -s "$root/outside/victim.txt" "$root/D/pkl.exe"
ln -s "$root/outside" "$root/D/lib"
