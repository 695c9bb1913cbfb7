#!/usr/bin/env bash
# Archive made natively, extracted by UHARC.EXE under Wine: the same bytes, names and times.
set -u
native=$1 winexe=$2 run=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"; mkdir -p "$work/out" "$work/out2"
python3 "$here/gen_tree.py" "$work/src" || exit 1
"$native" a "$work/a.uha" "$work/src" || { echo "native uharc a failed"; exit 1; }
fail=0
cd "$work/out"
"$run" "$winexe" x -y ../a.uha > "$work/x.log" 2>&1
rc=$?
[ $rc -eq 0 ] || { echo "FAILED: UHARC.EXE x -y exit status $rc"; cat "$work/x.log"; fail=1; }
rm -f "$work/out/uninstall.lst"
if ! diff -r "$work/src" "$work/out"; then echo "FAILED: extracted tree differs"; fail=1; fi
times_src=$(cd "$work/src" && find . -type f -printf '%P %T@\n' | sort)
times_out=$(cd "$work/out" && find . -type f -printf '%P %T@\n' | sort)
[ "$times_src" = "$times_out" ] || { echo "FAILED: modification times differ"; diff <(echo "$times_src") <(echo "$times_out"); fail=1; }
[ -f "$work/out/中文目录/说明 文件.txt" ] || { echo "FAILED: CJK name missing"; fail=1; }

# again over the first extraction, with one file made read-only: -y replaces it
chmod a-w "$work/out/empty.txt"
"$run" "$winexe" x -y ../a.uha > "$work/x2.log" 2>&1 || { echo "FAILED: second extraction"; cat "$work/x2.log"; fail=1; }

# test and list under Wine; an archive made by UHARC.EXE extracts natively
"$run" "$winexe" t ../a.uha > "$work/t.log" 2>&1 || { echo "FAILED: UHARC.EXE t"; cat "$work/t.log"; fail=1; }
"$run" "$winexe" l ../a.uha > "$work/l.log" 2>&1 || { echo "FAILED: UHARC.EXE l"; fail=1; }
cd "$work"
"$run" "$winexe" a w.uha src > "$work/a.log" 2>&1 || { echo "FAILED: UHARC.EXE a"; cat "$work/a.log"; fail=1; }
(cd "$work/out2" && "$native" x -y ../w.uha > /dev/null) || { echo "FAILED: native x of the Wine-made archive"; fail=1; }
rm -f "$work/out2/uninstall.lst"
diff -r "$work/src" "$work/out2" > /dev/null || { echo "FAILED: Wine-made archive differs"; fail=1; }

# a damaged archive fails with a message and a non-zero status
python3 - "$work/a.uha" "$work/bad.uha" <<'PY'
import sys
d = bytearray(open(sys.argv[1], 'rb').read())
d[len(d) * 2 // 3] ^= 0x55
open(sys.argv[2], 'wb').write(d)
PY
mkdir -p "$work/out3"; cd "$work/out3"
"$run" "$winexe" x -y ../bad.uha > "$work/bad.log" 2>&1
rc=$?
[ $rc -ne 0 ] || { echo "FAILED: damaged archive gave exit status 0"; fail=1; }
grep -q . "$work/bad.log" || { echo "FAILED: no message for the damaged archive"; fail=1; }
[ $fail -eq 0 ] && echo PASSED
exit $fail
