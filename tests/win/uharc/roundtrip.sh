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
# hostile paths: refused before anything is written, nothing lands outside the folder
python3 "$here/craft.py" "$work/fine.uha" "ok/" "ok/empty.txt" "中文.txt"
mkdir -p "$work/fine"; cd "$work/fine"
"$run" "$winexe" x -y ../fine.uha > "$work/fine.log" 2>&1 || { echo "FAILED: crafted harmless archive"; cat "$work/fine.log"; fail=1; }
[ -f "$work/fine/ok/empty.txt" ] && [ -f "$work/fine/中文.txt" ] || { echo "FAILED: crafted harmless archive not extracted"; fail=1; }
mkdir -p "$work/hostile/box/in"
for p in "../escape.txt" "..\\escape.txt" "ok/../../escape.txt" "Z:/escape.txt" "Z:escape.txt" "/escape.txt" \
         "\\\\?\\Z:\\escape.txt" "CON" "nul.txt" "ok/COM1" "LPT1.log" "AUX" "PRN.txt" "x:stream" "dots." \
         "ok//x" "" ; do
  rm -rf "$work/hostile/box"; mkdir -p "$work/hostile/box/in"
  python3 "$here/craft.py" "$work/hostile/box/h.uha" "harmless.txt" "$p"
  (cd "$work/hostile/box/in" && "$run" "$winexe" x -y ../h.uha > "$work/hostile.log" 2>&1)
  rc=$?
  left=$(cd "$work/hostile" && find . -mindepth 1 | sort | tr '\n' ' ')
  if [ $rc -eq 0 ] || [ "$left" != "./box ./box/h.uha ./box/in " ]; then
    echo "FAILED: hostile path [$p]: status $rc, files: $left"; cat "$work/hostile.log"; fail=1
  fi
done
[ -e "$work/escape.txt" ] && { echo "FAILED: escape.txt written outside"; fail=1; }

# a symbolic link already in the folder, at a name of the archive or on its way: the
# extraction stops with a message and writes nothing where the link points
python3 "$here/craft.py" "$work/links.uha" "a.txt" "sub/" "sub/deep/" "sub/deep/b.txt" "empty/"
for link in "a.txt:victim/a.txt" "sub:victim" "sub/deep:victim" "empty:victim" "a.txt:victim/absent"; do
  name=${link%%:*} points=${link#*:}
  rm -rf "$work/links"; mkdir -p "$work/links/in/$(dirname "$name")" "$work/links/victim"
  printf 'untouched' > "$work/links/victim/a.txt"
  ln -s "$work/links/$points" "$work/links/in/$name"
  (cd "$work/links/in" && "$run" "$winexe" x -y ../../links.uha > "$work/links.log" 2>&1)
  rc=$?
  left=$(cd "$work/links/victim" && find . -mindepth 1 | sort | tr '\n' ' ')
  if [ $rc -eq 0 ] || ! grep -q "link" "$work/links.log" || [ "$left" != "./a.txt " ] ||
     [ "$(cat "$work/links/victim/a.txt")" != untouched ] || [ ! -L "$work/links/in/$name" ]; then
    echo "FAILED: link at [$name]: status $rc, beside the target: $left"; cat "$work/links.log"; fail=1
  fi
done

[ $fail -eq 0 ] && echo PASSED

# three blocks whose dictionaries (20 MiB each) exceed the decoder's 48 MiB together:
# on three threads the third waits until one of the first two is done
mkdir -p "$work/dicts/src" "$work/dicts/out"
for kind in bin dat raw; do
  for i in 1 2; do head -c 10485760 /dev/zero > "$work/dicts/src/$i.$kind"; done
done
"$native" a "$work/dicts/d.uha" "$work/dicts/src" > /dev/null || { echo "native uharc a failed (dictionaries)"; exit 1; }
(cd "$work/dicts/out" && UHARC_THREADS=3 "$run" "$winexe" x -y ../d.uha > "$work/dicts.log" 2>&1) ||
  { echo "FAILED: extraction of the three large blocks"; cat "$work/dicts.log"; fail=1; }
order=$(grep -o '[12]\.[a-z]*' "$work/dicts.log" | tr '\n' ' ')
case "$order" in
  *2.bin*1.raw*|*2.dat*1.raw*) ;;
  *) echo "FAILED: the third block began beside the first two; files began in the order: $order"; fail=1 ;;
esac
cmp -s "$work/dicts/src/2.raw" "$work/dicts/out/2.raw" || { echo "FAILED: 2.raw differs"; fail=1; }
rm -rf "$work/dicts"
exit $fail
