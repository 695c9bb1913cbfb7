#!/usr/bin/env python3
"""Reads what the release checks need from a PE file: headers, imported DLLs, the
resource tree, the version record and the certificate table. Standard library only.

Command line:
  pe.py show FILE                      headers, imports and resources, for a person
  pe.py resource FILE TYPE NAME LANG   the bytes of one resource to stdout
"""
import struct
import sys

RT_VERSION = 16
RT_MANIFEST = 24


class PEError(Exception):
    pass


class PE:
    def __init__(self, data):
        self.data = data
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise PEError("no MZ header")
        self.pe_offset = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe_offset:self.pe_offset + 4] != b"PE\0\0":
            raise PEError("no PE signature")
        coff = self.pe_offset + 4
        (self.machine, nsections, self.timestamp, _, _, opt_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, coff)
        self.opt = coff + 20
        self.magic = struct.unpack_from("<H", data, self.opt)[0]
        if self.magic == 0x10B:
            dirs = self.opt + 96
        elif self.magic == 0x20B:
            dirs = self.opt + 112
        else:
            raise PEError("unknown optional header magic 0x%x" % self.magic)
        self.checksum_offset = self.opt + 64
        self.subsystem = struct.unpack_from("<H", data, self.opt + 68)[0]
        self.ndirs = struct.unpack_from("<I", data, dirs - 4)[0]
        self.dirs_offset = dirs
        self.dirs = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(min(self.ndirs, 16))]
        self.sections = []
        sec = self.opt + opt_size
        for i in range(nsections):
            name, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", data, sec + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("latin-1"), va, max(vsize, rawsize), rawptr, rawsize))

    def directory(self, index):
        return self.dirs[index] if index < len(self.dirs) else (0, 0)

    def offset(self, rva):
        for _, va, size, rawptr, rawsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rawsize:
                    raise PEError("RVA 0x%x lies in uninitialised data" % rva)
                return rawptr + rva - va
        raise PEError("RVA 0x%x is in no section" % rva)

    def cstring(self, rva):
        at = self.offset(rva)
        end = self.data.index(b"\0", at)
        return self.data[at:end].decode("latin-1")

    def imports(self):
        rva, size = self.directory(1)
        names = []
        if not rva:
            return names
        at = self.offset(rva)
        while True:
            desc = struct.unpack_from("<IIIII", self.data, at)
            if desc == (0, 0, 0, 0, 0):
                return names
            names.append(self.cstring(desc[3]))
            at += 20

    # Resources: {(type, name, lang): bytes}; ids are ints, names are str.
    def resources(self):
        rva, size = self.directory(2)
        if not rva:
            return {}
        base = self.offset(rva)
        out = {}

        def entries(at):
            _, _, _, _, named, ids = struct.unpack_from("<IIHHHH", self.data, base + at)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)
                if name & 0x80000000:
                    soff = base + (name & 0x7FFFFFFF)
                    n = struct.unpack_from("<H", self.data, soff)[0]
                    key = self.data[soff + 2:soff + 2 + 2 * n].decode("utf-16-le")
                else:
                    key = name
                yield key, target

        for rtype, t1 in entries(0):
            for rname, t2 in entries(t1 & 0x7FFFFFFF):
                for lang, t3 in entries(t2 & 0x7FFFFFFF):
                    if t3 & 0x80000000:
                        raise PEError("resource tree deeper than three levels")
                    drva, dsize, _, _ = struct.unpack_from("<IIII", self.data, base + t3)
                    at = self.offset(drva)
                    out[(rtype, rname, lang)] = self.data[at:at + dsize]
        return out

    def certificate_table(self):
        """(file offset, size) of the Authenticode signature, (0, 0) when unsigned."""
        return self.directory(4)


def find_resource(resources, rtype, name, lang=None):
    """The resources matching type and name (string types without regard to case)."""
    def same(a, b):
        if isinstance(a, str) and isinstance(b, str):
            return a.upper() == b.upper()
        return a == b
    return {k: v for k, v in resources.items()
            if same(k[0], rtype) and same(k[1], name) and (lang is None or k[2] == lang)}


def version_record(blob):
    """(fixed file version, fixed product version, {string: value}, [(lang, codepage)])."""
    def node(at):
        length, vlen, vtype = struct.unpack_from("<HHH", blob, at)
        end = at + length
        p = at + 6
        k = p
        while blob[k:k + 2] != b"\0\0":
            k += 2
        key = blob[p:k].decode("utf-16-le")
        p = (k + 2 + 3) & ~3
        vbytes = vlen * 2 if vtype == 1 else vlen
        value = blob[p:p + vbytes]
        p = (p + vbytes + 3) & ~3
        children = []
        while p < end:
            child, clen = node(p)
            children.append(child)
            p = (p + clen + 3) & ~3
        return (key, vtype, value, children), length

    (key, _, value, children), _ = node(0)
    if key != "VS_VERSION_INFO" or len(value) < 52:
        raise PEError("no VS_VERSION_INFO record")
    sig, _, fv_ms, fv_ls, pv_ms, pv_ls = struct.unpack_from("<IIIIII", value, 0)
    if sig != 0xFEEF04BD:
        raise PEError("bad VS_FIXEDFILEINFO signature 0x%x" % sig)

    def dotted(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    strings, translations = {}, []
    for ckey, _, cvalue, grand in children:
        if ckey == "StringFileInfo":
            for table_key, _, _, items in grand:
                for skey, _, svalue, _ in items:
                    strings[(table_key, skey)] = svalue.decode("utf-16-le").rstrip("\0")
        elif ckey == "VarFileInfo":
            for vkey, _, vvalue, _ in grand:
                if vkey == "Translation":
                    translations += [struct.unpack_from("<HH", vvalue, i) for i in range(0, len(vvalue) - 3, 4)]
    return dotted(fv_ms, fv_ls), dotted(pv_ms, pv_ls), strings, translations


def load(path):
    with open(path, "rb") as f:
        return PE(f.read())


def parse_key(text):
    return int(text, 0) if text[:1].isdigit() else text


def main(argv):
    if len(argv) >= 3 and argv[1] == "show":
        pe = load(argv[2])
        print("machine 0x%x magic 0x%x subsystem %d timestamp %d" % (pe.machine, pe.magic, pe.subsystem, pe.timestamp))
        print("imports:", ", ".join(pe.imports()))
        print("certificate table:", pe.certificate_table())
        for (t, n, l), v in sorted(pe.resources().items(), key=lambda kv: str(kv[0])):
            print("resource %r %r 0x%04x: %d bytes" % (t, n, l, len(v)))
        return 0
    if len(argv) == 6 and argv[1] == "resource":
        found = find_resource(load(argv[2]).resources(), parse_key(argv[3]), parse_key(argv[4]), int(argv[5], 0))
        if len(found) != 1:
            print("pe.py: %d resources match" % len(found), file=sys.stderr)
            return 1
        sys.stdout.buffer.write(next(iter(found.values())))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
