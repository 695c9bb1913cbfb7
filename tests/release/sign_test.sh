#!/usr/bin/env bash
# Signs a copy of setup.exe with a throw-away self-signed certificate, the way the
# build does (cmake/SignFile.cmake), and checks the result:
#   - osslsigncode verifies it against that certificate, and refuses a copy with one
#     payload byte changed;
#   - every resource (132 and 133 among them) and section is byte-identical, only the
#     checksum, the certificate table entry and the appended signature differ;
#   - signing again with SOURCE_DATE_EPOCH set gives the same bytes.
# With PRESET (win32, win64) a second build of the sources is made with a throw-away
# certificate and an offline time-stamp authority (osslsigncode's -TSA-certs, -TSA-key),
# and each of the five executables we ship, as shipped (setup.exe; UHARC.EXE from its
# resource 133; pkl.exe, uninstall.exe, jre\bin\unpack200.exe from the archive, resource
# 132), verifies with its time stamp at a time after the certificate has expired, which
# the copy signed without a time stamp does not.
# With E2E_INSTALL (the end-to-end installation program) the signed copy is then
# installed under Wine by its default-folder scenario, which needs PAYLOAD_STAGE_DIR and
# PAYLOAD_EXPECTED_DIR as the end-to-end tests get them.
#   sign_test.sh SETUP_EXE [PRESET]
set -euo pipefail
setup=$(realpath "$1")
preset=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)

work=$(mktemp -d /tmp/setup-sign.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail=0
check() {  # check WHAT COMMAND...
  local what=$1; shift
  if "$@" >"$work/out" 2>&1; then echo "ok: $what"; else
    echo "FAIL: $what"; sed 's/^/  /' "$work/out" | tail -n 20; fail=1
  fi
}

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Quillmate test signer/O=dunmerra" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1

mkdir -p "$work/signed" "$work/again"
cp "$setup" "$work/signed/setup.exe"
cp "$setup" "$work/again/setup.exe"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1700000000}
sign() { cmake -DFILE="$1" -DCERT="$work/cert.pem" -DKEY="$work/key.pem" -P "$repo/cmake/SignFile.cmake"; }
check "signing through cmake/SignFile.cmake" sign "$work/signed/setup.exe"
signed=$work/signed/setup.exe

verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1"; }
check "the signature verifies against the test certificate" verify "$signed"
check "the unsigned input has no signature to verify" bash -c "! osslsigncode verify -CAfile '$work/cert.pem' -in '$setup'"

# One byte of the archive changed after signing: verification must notice.
python3 - "$here" "$signed" "$work/tampered.exe" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
import pe
image = pe.load(sys.argv[2])
found = pe.find_resource(image.resources(), "SETUP", 132)
data = bytearray(image.data)
blob = next(iter(found.values()))
at = image.data.index(blob)
data[at + len(blob) // 2] ^= 0x01
open(sys.argv[3], "wb").write(data)
PY
check "a copy with one archive byte changed fails verification" bash -c "! osslsigncode verify -CAfile '$work/cert.pem' -in '$work/tampered.exe'"

check "resources and sections unchanged by signing" python3 - "$here" "$setup" "$signed" <<'PY'
import struct, sys
sys.path.insert(0, sys.argv[1])
import pe
a, b = pe.load(sys.argv[2]), pe.load(sys.argv[3])
bad = []
if a.certificate_table() != (0, 0):
    bad.append("the input is already signed")
off, size = b.certificate_table()
if not off or not size:
    bad.append("no certificate table after signing")
elif off < len(a.data) or off + size != len(b.data):
    bad.append("signature at %d+%d, input was %d bytes, signed file %d" % (off, size, len(a.data), len(b.data)))
ra, rb = a.resources(), b.resources()
for key in sorted(set(ra) | set(rb), key=str):
    if ra.get(key) != rb.get(key):
        bad.append("resource %r differs" % (key,))
for rid in (132, 133):
    if not pe.find_resource(rb, "SETUP", rid, 0x0804):
        bad.append("resource %d missing" % rid)
# Byte for byte: only the checksum and the certificate table entry may change.
allowed = set(range(a.checksum_offset, a.checksum_offset + 4)) | set(range(a.dirs_offset + 32, a.dirs_offset + 40))
head = b.data[:len(a.data)]
diff = [i for i in range(len(a.data)) if a.data[i] != head[i] and i not in allowed] if head != a.data else []
if diff:
    bad.append("%d bytes of the input changed, first at %d" % (len(diff), diff[0]))
if bytes(b.data[len(a.data):off]).strip(b"\0"):
    bad.append("padding before the signature is not zero")
print("\n".join(bad) or "resources %d, signature %d bytes" % (len(rb), size))
sys.exit(1 if bad else 0)
PY

check "signing again gives the same bytes" sign "$work/again/setup.exe"
check "  ... and they are" cmp "$signed" "$work/again/setup.exe"

if [ -n "$preset" ]; then
  # A signer valid from now for two days, and a time-stamp authority for ten years.
  now=$(date +%s)
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj "/CN=Quillmate test time stamps/O=dunmerra" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=critical,timeStamping" \
    -keyout "$work/tsa-key.pem" -out "$work/tsa-cert.pem" >/dev/null 2>&1
  build=$work/build
  mkdir -p "$build/_deps"
  if [ -f "$repo/build/$preset/_deps/xz-src/CMakeLists.txt" ]; then cp -a "$repo/build/$preset/_deps/xz-src" "$build/_deps/"; fi
  # The signing and time-stamp time lie inside the signer's two days.
  start=$(date +%s)
  if (cd "$repo" && SOURCE_DATE_EPOCH=$((now + 60)) cmake --preset "$preset" -B "$build" -DSETUP_TEST_INSTALLERS=OFF \
       -DSETUP_SIGN_CERT="$work/cert.pem" -DSETUP_SIGN_KEY="$work/key.pem" \
       -DSETUP_SIGN_TSA_CERT="$work/tsa-cert.pem" -DSETUP_SIGN_TSA_KEY="$work/tsa-key.pem" >"$work/configure.log" 2>&1) &&
     SOURCE_DATE_EPOCH=$((now + 60)) cmake --build "$build" --target setup -j "${SETUP_JOBS:-2}" >"$work/build.log" 2>&1; then
    echo "ok: a signed, time-stamped $preset build ($(( $(date +%s) - start )) s)"
  else
    echo "FAIL: the signed $preset build"; tail -n 30 "$work/configure.log" "$work/build.log"; exit 1
  fi
  shipped=$work/shipped
  mkdir -p "$shipped/archive"
  cp "$build/installers/setup/setup.exe" "$shipped/setup.exe"
  python3 "$here/pe.py" resource "$shipped/setup.exe" SETUP 133 0x0804 >"$shipped/UHARC.EXE"
  python3 "$here/pe.py" resource "$shipped/setup.exe" SETUP 132 0x0804 >"$shipped/fenrow.uha"
  (cd "$shipped/archive" && "$build/uharc-native/uharc" x "$shipped/fenrow.uha" >/dev/null)
  after=$((now + 5 * 86400))
  verify_stamped() {  # the signature holds at a time after the signer's certificate expired
    osslsigncode verify -CAfile "$work/cert.pem" -TSA-CAfile "$work/tsa-cert.pem" -time "$after" -in "$1" &&
      osslsigncode verify -CAfile "$work/cert.pem" -TSA-CAfile "$work/tsa-cert.pem" -time "$after" -in "$1" 2>&1 |
        grep -q "^Timestamp Server Signature verification: ok"
  }
  for exe in setup.exe UHARC.EXE archive/pkl.exe archive/uninstall.exe archive/jre/bin/unpack200.exe; do
    check "$exe verifies with its time stamp after the certificate expired" verify_stamped "$shipped/$exe"
  done
  check "without a time stamp the signature does not hold then" bash -c "! osslsigncode verify -CAfile '$work/cert.pem' -time $after -in '$signed'"
fi

if [ -n "${E2E_INSTALL:-}" ]; then
  # The scenario compares the folder with the demo tree: without it, it would walk "".
  for var in PAYLOAD_STAGE_DIR PAYLOAD_EXPECTED_DIR; do
    [ -d "${!var:-}" ] || { echo "FAIL: $var does not name the demo application's tree"; exit 1; }
  done
  # The signed copy installs: the default-folder scenario, run against it.
  cp "$signed" "$work/setup.exe"
  if SETUP_EXE=$work/setup.exe "$repo/tests/wine/wine-run.sh" "$E2E_INSTALL" \
       --gtest_filter=FoldersTest.DefaultFolder >"$work/install.log" 2>&1; then
    echo "ok: the signed setup.exe installs under Wine"
  else
    echo "FAIL: the signed setup.exe does not install under Wine"; tail -n 30 "$work/install.log"; fail=1
  fi
fi
exit $fail
