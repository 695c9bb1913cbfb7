#!/usr/bin/env bash
# The console rows of UHARC.EXE as the install page reads them, for a good and a
# damaged archive, at the usual width, at the narrowest one (78 columns) and at a
# narrower one that uharc must widen.
set -u
native=$1 winexe=$2 run=$3 tester=$4 work=$5
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"; mkdir -p "$work"
python3 "$here/gen_tree.py" "$work/src" $((12 << 20)) 300 || exit 1
"$native" a "$work/fenrow.uha" "$work/src" || exit 1
python3 - "$work/fenrow.uha" "$work/bad.uha" <<'PY'
import sys
d = bytearray(open(sys.argv[1], 'rb').read())
d[len(d) * 3 // 4] ^= 0x55
open(sys.argv[2], 'wb').write(d)
PY
# damage found before any data: a cut archive and a flipped index byte
head -c 1000000 "$work/fenrow.uha" > "$work/cut.uha"
python3 - "$work/fenrow.uha" "$work/index.uha" <<'PY'
import sys
d = bytearray(open(sys.argv[1], 'rb').read())
d[60] ^= 0x01
open(sys.argv[2], 'wb').write(d)
PY
# Another name than UHARC.EXE: tests of the exit question stop every process of that name.
cp "$winexe" "$work/UHARCT.EXE"
fail=0
for scenario in "ok fenrow.uha 0" "ok fenrow.uha 78" "ok fenrow.uha 60" "fail bad.uha 0" \
            "fail cut.uha 0" "fail index.uha 0"; do
  set -- $scenario
  dir=$work/run-$1-$3
  mkdir -p "$dir"
  "$run" "$tester" 'Z:'"${work//\//\\}"'\UHARCT.EXE' 'Z:'"${work//\//\\}"'\'"$2" 'Z:'"${dir//\//\\}" "$1" "$3"
  rc=$?
  echo "== $scenario: status $rc"
  cat "$dir/report.txt" 2>/dev/null | grep -v '^  x=' ; grep '^  x=' "$dir/report.txt" 2>/dev/null | head -5
  echo "   ..."; grep '^  x=' "$dir/report.txt" 2>/dev/null | tail -3
  [ $rc -eq 0 ] || fail=1
done
[ $fail -eq 0 ] && echo PASSED
exit $fail
