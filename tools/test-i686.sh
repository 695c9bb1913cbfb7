#!/usr/bin/env bash
# The shipping i686 setup.exe, end to end: one installation of the demo application
# with the 32-bit setup.exe, its 32-bit archiver and expander, driven by the 64-bit
# e2e driver in a WOW64 prefix of its own (build/wine-i686). 32-bit Wine runs here
# only under user-mode emulation (qemu-i386), so every 32-bit process start costs
# about a minute; the scenario keeps them few.
#   tools/test-i686.sh            set up what is missing, build, run the scenario
#   tools/test-i686.sh --setup    only install the emulation and 32-bit Wine
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

log() { echo "test-i686: $*" >&2; }
# shellcheck source=tools/apt.sh
source "$repo/tools/apt.sh"

# apt-get update for the i386 packages below. A mirror can go on serving an i386 index
# older than its signed Release says ("File has unexpected size"), and apt then falls
# back on the index it already has. A machine that never had one gets the mirror's
# file as it stands, said loudly: it serves only this emulation's packages, and the
# installation below still fails when their versions do not fit the 64-bit ones.
update_for_i386() {
  local out url name
  if out=$(apt_try update -qq 2>&1); then return 0; fi
  printf '%s\n' "$out" >&2
  for url in $(printf '%s\n' "$out" |
      sed -n 's|^E: Failed to fetch \(https\{0,1\}://[^ ]*/binary-i386/Packages\.xz\)  File has unexpected size.*|\1|p' |
      sort -u); do
    name=$(printf '%s' "${url%.xz}" | sed 's|^[a-z]*://||; s|/|_|g')
    [ -s "/var/lib/apt/lists/$name" ] && continue
    log "WARNING: $url does not match its Release; using it as the mirror serves it"
    python3 -c 'import lzma, sys, urllib.request; sys.stdout.buffer.write(lzma.decompress(urllib.request.urlopen(sys.argv[1], timeout=120).read()))' \
      "$url" >"/var/lib/apt/lists/$name.part"
    mv "/var/lib/apt/lists/$name.part" "/var/lib/apt/lists/$name"
  done
}

# i386 architecture, 32-bit Wine of the installed version, qemu-user-static and the
# binfmt_misc entry that hands i386 ELF programs to it. Safe to run again.
setup_emulation() {
  if [ "$(id -u)" != 0 ]; then
    log "not root: assuming 32-bit Wine and qemu-i386 are set up"
    return
  fi
  export DEBIAN_FRONTEND=noninteractive
  local need=() updated=
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    update_for_i386
    updated=1
  fi
  local wine_version
  wine_version=$(dpkg-query -W -f='${Version}' wine64)
  [ "$(dpkg-query -W -f='${Status} ${Version}' wine32:i386 2>/dev/null)" = "install ok installed $wine_version" ] ||
    need+=("wine32:i386=$wine_version")
  dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'install ok installed' || need+=(qemu-user-static)
  if [ ${#need[@]} -gt 0 ]; then
    [ -n "$updated" ] || update_for_i386
    apt_try install -y -qq --no-install-recommends "${need[@]}"
  fi

  local bm=/proc/sys/fs/binfmt_misc
  [ -e $bm/register ] || mount -t binfmt_misc binfmt_misc $bm
  local entry=$bm/qemu-i386
  if [ -e $entry ] && ! { grep -qx 'interpreter /usr/bin/qemu-i386-static' $entry && grep -q '^flags:.*F' $entry; }; then
    echo -1 >$entry
  fi
  if [ ! -e $entry ]; then
    # qemu's own magic and mask for i386 ELF executables; F opens the interpreter now,
    # so it is found from inside any mount namespace
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >$bm/register
  fi
  grep -qx enabled $entry || { log "binfmt entry qemu-i386 is not enabled"; exit 1; }
}

setup_emulation
[ "${1:-}" = --setup ] && exit 0

if [ "$(id -u)" = 0 ]; then bash tools/setup-machine.sh >/dev/null; fi
jobs=${SETUP_JOBS:-$(nproc)}
started=$(date +%s)
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs" --target setup
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs" --target e2e_i686

# A WOW64 prefix made once (its 32-bit half alone takes minutes under emulation) and
# copied for every run, so that each run starts from a clean registry and Start Menu.
export SETUP_WINE_ROOT=$repo/build/wine-i686 SETUP_WINE_I686=1
template=$SETUP_WINE_ROOT/template
if [ ! -f "$template/drive_c/windows/syswow64/kernel32.dll" ]; then
  rm -rf "$template"
  log "creating the WOW64 prefix (minutes)"
fi
t0=$(date +%s)
WINEPREFIX=$template bash tests/wine/prefix.sh start
[ -f "$template/drive_c/windows/syswow64/kernel32.dll" ] || { log "the prefix has no 32-bit side"; exit 1; }
source tests/wine/env.sh
trap 'bash tests/wine/prefix.sh stop' EXIT
"$WINESERVER" -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
cp -a "$template" "$WINEPREFIX"
# Wine links the profile's Desktop to $HOME, which every prefix on the machine shares.
for d in "$WINEPREFIX"/drive_c/users/*/Desktop; do
  if [ -L "$d" ]; then rm "$d" && mkdir "$d"; fi
done
log "prefix ready in $(( $(date +%s) - t0 )) s"

t0=$(date +%s)
status=0
# One decoding thread: under qemu-i386, 32-bit Wine mixes up its threads' signals in a
# process that runs several (README, "Proving the 32-bit build").
export UHARC_THREADS=1
SETUP_EXE=$repo/build/win32/installers/setup/setup.exe \
PAYLOAD_STAGE_DIR=$repo/build/win32/payload/stage \
PAYLOAD_EXPECTED_DIR=$repo/build/win32/payload/expected \
E2E_SCREENSHOTS=$repo/build/win32/screenshots \
  timeout -k 30 "${SETUP_I686_TIMEOUT:-90m}" "$WINE" "$repo/build/win64/tests/e2e/e2e_i686.exe" || status=$?
log "scenario $( [ $status = 0 ] && echo passed || echo "FAILED ($status)" ) in $(( $(date +%s) - t0 )) s; all in $(( $(date +%s) - started )) s"
exit $status
