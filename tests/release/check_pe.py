#!/usr/bin/env python3
"""Static checks of a shipping setup.exe: what a vendor publishes must be a GUI
executable of the expected machine that imports at load time only Known DLLs, with its
version record, its manifest and the two payload resources byte for byte. Each other
executable we ship (--shipped: the archiver, the expander, the demo application's
programs) must be of the same machine and import only Known DLLs too.

  check_pe.py SETUP.EXE --machine i386|amd64 [--archive FILE] [--archiver FILE]
              [--shipped EXE...]

Prints every failed check with the value found; exits 1 if any failed.
"""
import argparse
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe  # noqa: E402

# The Known DLLs of Windows 10 and 11 (HKLM\System\CurrentControlSet\Control\Session
# Manager\KnownDLLs), and those the loader itself maps from the system folder. Windows
# loads any other DLL an executable imports from the executable's folder first, so an
# installer started from Downloads would run a planted comctl32.dll or version.dll.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll",
    "difxapi.dll", "gdi32.dll", "gdiplus.dll", "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll",
    "shcore.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "wldap32.dll",
    "ws2_32.dll", "ntdll.dll", "kernelbase.dll", "ucrtbase.dll", "msvcp_win.dll",
    "win32u.dll",
}
# API sets resolve inside the loader, never to a file found by searching.
API_SET_PREFIXES = ("api-ms-win-", "ext-ms-win-")
MACHINES = {"i386": (0x14C, 0x10B), "amd64": (0x8664, 0x20B)}
LANG_ZH_CN = 0x0804
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10/11",
}
# The shipping (i386) setup.exe's own code and data, all but its resources: a runtime
# facility that drags in libstdc++'s exceptions, iostreams or C99 printf shows here.
MAX_CODE_AND_DATA_I386 = 100 * 1024
EXPECTED_STRINGS = {
    "InternalName": "setup",
    "OriginalFilename": "setup.EXE",
    "FileVersion": "1.0.0.1",
    "ProductVersion": "1.0.0.1",
}


class Checks:
    def __init__(self):
        self.failed = 0
        self.passed = 0

    def expect(self, ok, what, actual=None):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL: %s%s" % (what, "" if actual is None else " (got %s)" % (actual,)))


def foreign_imports(image):
    return [d for d in image.imports()
            if d.lower() not in KNOWN_DLLS and not d.lower().startswith(API_SET_PREFIXES)]


def check_imports(c, path, image):
    name = os.path.basename(path)
    c.expect(not foreign_imports(image), "%s imports only Known DLLs" % name, ", ".join(foreign_imports(image)))
    for runtime in ("libstdc++", "libgcc", "libwinpthread"):
        c.expect(not any(runtime in d.lower() for d in image.imports()), "%s: no %s DLL" % (name, runtime))


def check_shipped(c, path, machine):
    """Another executable that travels inside setup.exe."""
    try:
        image = pe.load(path)
    except (OSError, pe.PEError, ValueError, IndexError) as e:
        c.expect(False, "%s reads as a PE file" % path, e)
        return
    want_machine, _ = MACHINES[machine]
    c.expect(image.machine == want_machine, "%s machine 0x%x" % (os.path.basename(path), want_machine),
             "0x%x" % image.machine)
    c.expect(image.imports() != [], "%s has an import table" % os.path.basename(path))
    check_imports(c, path, image)


def check(path, machine, archive=None, archiver=None, shipped=()):
    c = Checks()
    try:
        image = pe.load(path)
        resources = image.resources()
    except (OSError, pe.PEError, ValueError, IndexError) as e:
        c.expect(False, "%s reads as a PE file" % path, e)
        return c

    want_machine, want_magic = MACHINES[machine]
    c.expect(image.machine == want_machine, "machine 0x%x" % want_machine, "0x%x" % image.machine)
    c.expect(image.magic == want_magic, "optional header 0x%x" % want_magic, "0x%x" % image.magic)
    c.expect(image.subsystem == 2, "subsystem 2 (Windows GUI)", image.subsystem)
    c.expect(image.timestamp == 0, "no link time stamp", image.timestamp)

    check_imports(c, path, image)
    if machine == "i386":
        code = os.path.getsize(path) - sum(len(v) for v in resources.values())
        c.expect(code <= MAX_CODE_AND_DATA_I386, "code and data at most %d bytes" % MAX_CODE_AND_DATA_I386, code)

    version = pe.find_resource(resources, pe.RT_VERSION, 1)
    c.expect(len(version) == 1, "one version record", len(version))
    if len(version) == 1:
        (key, blob), = version.items()
        c.expect(key[2] == LANG_ZH_CN, "version record in language 0x0804", "0x%04x" % key[2])
        try:
            file_ver, product_ver, strings, translations = pe.version_record(blob)
        except (pe.PEError, ValueError, IndexError, UnicodeDecodeError) as e:
            c.expect(False, "version record parses", e)
        else:
            c.expect(file_ver == "1.0.0.1", "fixed file version 1.0.0.1", file_ver)
            c.expect(product_ver == "1.0.0.1", "fixed product version 1.0.0.1", product_ver)
            tables = {t for t, _ in strings}
            c.expect(len(tables) == 1 and next(iter(tables), "").lower().startswith("0804"),
                     "one string table for language 0804", sorted(tables))
            for name, value in EXPECTED_STRINGS.items():
                got = [v for (_, k), v in strings.items() if k == name]
                c.expect(got == [value], "%s \"%s\"" % (name, value), got)
            c.expect(any(lang == LANG_ZH_CN for lang, _ in translations),
                     "translation 0x0804", ["0x%04x/%d" % t for t in translations])

    manifests = pe.find_resource(resources, pe.RT_MANIFEST, 1)
    c.expect(len(manifests) == 1, "one application manifest (RT_MANIFEST 1)", len(manifests))
    if manifests:
        text = next(iter(manifests.values())).decode("utf-8", "replace")
        level = re.search(r'requestedExecutionLevel\s+level="([^"]*)"', text)
        c.expect(level is not None and level.group(1) == "requireAdministrator",
                 "requestedExecutionLevel requireAdministrator", level and level.group(1))
        ids = {m.lower() for m in re.findall(r'supportedOS\s+Id="([^"]*)"', text)}
        for guid, system in SUPPORTED_OS.items():
            c.expect(guid in ids, "supportedOS %s" % system, sorted(ids))
        c.expect("Microsoft.Windows.Common-Controls" not in text,
                 "no common controls 6 dependency (the classic look)")

    for rid, expected_file, magic in ((132, archive, None), (133, archiver, b"MZ")):
        found = pe.find_resource(resources, "SETUP", rid)
        c.expect(list(found) == [("SETUP", rid, LANG_ZH_CN)],
                 "resource %d of type SETUP in language 0x0804" % rid, list(found))
        if not found:
            continue
        data = next(iter(found.values()))
        c.expect(len(data) > 0, "resource %d is not empty" % rid)
        if magic:
            c.expect(data[:2] == magic, "resource %d starts with %r" % (rid, magic), data[:2])
        if expected_file:
            with open(expected_file, "rb") as f:
                want = f.read()
            c.expect(data == want, "resource %d is %s byte for byte" % (rid, expected_file),
                     "%d bytes against %d" % (len(data), len(want)))
    for other in shipped:
        check_shipped(c, other, machine)
    return c


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("exe")
    ap.add_argument("--machine", choices=sorted(MACHINES), required=True)
    ap.add_argument("--archive")
    ap.add_argument("--archiver")
    ap.add_argument("--shipped", nargs="*", default=[])
    args = ap.parse_args()
    c = check(args.exe, args.machine, args.archive, args.archiver, args.shipped)
    print("%s: %d checks passed, %d failed" % (args.exe, c.passed, c.failed))
    return 1 if c.failed else 0


if __name__ == "__main__":
    sys.exit(main())
