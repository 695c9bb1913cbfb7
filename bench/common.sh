# Sourced by payload.sh and install_time.sh: the corpus, our archive of it and its NSIS
# installer, made once per work folder. report.sh gives both scripts the same folder
# (BENCH_WORK), so that they measure the very same files.
#
#   CORPUS=/some/dir       the folder to pack (default: OpenJDK 17)
#   CORPUS_NAME=name       the name of the result files (default: openjdk, or CORPUS's base name)
#   CORPUS_EXCLUDE="p..."  tar --exclude patterns (default for OpenJDK: ./lib/modules ./jmods)
#   RUNS=n                 best of n runs (the machine is shared, the minimum is the steadiest)
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ -z "${CORPUS:-}" ]; then
  corpus_src=/usr/lib/jvm/java-17-openjdk-amd64
  corpus_name=${CORPUS_NAME:-openjdk}
  corpus_exclude=${CORPUS_EXCLUDE-./lib/modules ./jmods}
else
  corpus_src=$CORPUS
  corpus_name=${CORPUS_NAME:-$(basename "$CORPUS")}
  corpus_exclude=${CORPUS_EXCLUDE:-}
fi
runs=${RUNS:-3}
build=$repo/build/win64
build32=$repo/build/win32
results=$repo/bench/results

[ -d "$corpus_src" ] || { echo "bench: no corpus at $corpus_src (tools/setup-machine.sh installs it)" >&2; exit 1; }
for tool in xz zstd tar makensis /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (run tools/setup-machine.sh)" >&2; exit 1; }
done

if [ -n "${BENCH_WORK:-}" ]; then
  work=$BENCH_WORK
  mkdir -p "$work"
else
  work=$(mktemp -d /tmp/bench.XXXXXX)
  own_work=1
fi

# quiet CMD...: runs a build step, showing its output only when it fails.
quiet() { "$@" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }; }
winpath() { echo "Z:${1//\//\\}"; }
mb() { awk "BEGIN{printf \"%.2f\", $1/1e6}"; }

# The corpus: symlinks followed, as an installer would store the files they point at.
# Dangling links (lib/src.zip without the JDK's source package) make tar exit 1; skipped.
corpus=$work/corpus
if [ ! -f "$work/corpus.done" ]; then
  rm -rf "$corpus"; mkdir -p "$corpus"
  excludes=()
  for p in $corpus_exclude; do excludes+=("--exclude=$p"); done
  (cd "$corpus_src" && { tar -ch "${excludes[@]}" . 2>/dev/null || [ $? -le 1 ]; }) | tar -x -C "$corpus"
  touch "$work/corpus.done"
fi
corpus_bytes=$(find "$corpus" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
corpus_files=$(find "$corpus" -type f | wc -l)
corpus_text="$corpus_src (symlinks followed${corpus_exclude:+, without $corpus_exclude}): $corpus_files files, $(mb "$corpus_bytes") MB"

# Whatever archiver the build makes: the native one and UHARC.EXE of both presets.
[ -f "$build/build.ninja" ] || quiet cmake --preset win64
[ -f "$build32/build.ninja" ] || quiet cmake --preset win32
# report.sh builds once for all corpora (BENCH_BUILT=1).
if [ -z "${BENCH_BUILT:-}" ] && [ ! -f "$work/built.done" ]; then
  quiet cmake --build "$build" --target uharc_native uharc setup e2e_install
  quiet cmake --build "$build32" --target uharc setup
  touch "$work/built.done"
fi
uharc=$(sed -n 's/^UHARC_NATIVE:INTERNAL=//p' "$build/CMakeCache.txt")
[ -x "$uharc" ] || { echo "bench: no native uharc at $uharc" >&2; exit 1; }
[ -f "$work/c.uha" ] || "$uharc" a "$work/c.uha" "$corpus" >/dev/null

# The Wine prefix of this worktree, started when it is not running. Its server is then
# kept running (wineserver -p) until wine_stop, and its services are started once: each
# measured run, NSIS's and ours alike, is the program's own work, not the start of the
# server and its services (about a second here, which a server that exits after every
# program would add to every run).
wine_start() {
  source "$repo/tests/wine/env.sh"
  if [ ! -f "$WINEPREFIX/.setup-ready" ] || [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    mkdir -p "$SETUP_WINE_ROOT"
    flock -o "$SETUP_WINE_ROOT.lock" "$repo/tests/wine/prefix.sh" start >/dev/null
    source "$repo/tests/wine/env.sh"
  fi
  "$WINESERVER" -w
  "$WINESERVER" -p
  wine_running=1
  "$WINE" cmd /c exit 0 >/dev/null 2>&1 || true
}
wine_stop() { "$WINESERVER" -k 2>/dev/null || true; }
trap '[ -z "${wine_running:-}" ] || wine_stop; [ -z "${own_work:-}" ] || rm -rf "$work"' EXIT

# nsis_installer TARGET: a silent NSIS /SOLID lzma installer of the corpus for TARGET
# (x86-unicode: the usual one, whose size counts; amd64-unicode: the one the 64-bit test
# Wine runs, the same compressed data on a stub a few KB apart). Prints its path.
nsis_installer() {
  local exe=$work/nsis-lzma-$1.exe
  if [ ! -f "$exe" ]; then
    {
      echo 'Unicode true'
      echo "Target $1"
      echo 'Name "bench"'
      echo "OutFile \"$exe\""
      echo 'RequestExecutionLevel user'
      echo 'SilentInstall silent'
      echo 'SetCompressor /SOLID lzma'
      echo 'Section'
      echo '  SetOutPath "$INSTDIR"'
      echo "  File /r \"$corpus/*\""
      echo 'SectionEnd'
    } >"$work/nsis-$1.nsi"
    quiet makensis -V1 "$work/nsis-$1.nsi"
  fi
  echo "$exe"
}

# check DIR NAME: the extraction gave the corpus back byte for byte (our archiver adds
# the uninstall manifest).
check() {
  rm -f "$1/uninstall.lst"
  diff -r -q "$corpus" "$1" >/dev/null || { echo "bench: $2 did not give the corpus back" >&2; exit 1; }
}
