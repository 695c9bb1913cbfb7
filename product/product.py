#!/usr/bin/env python3
"""Makes a product's sources from its definition (see default.product).

  product.py DEFINITION OUTDIR TEMPLATE...

Writes into OUTDIR:
  product.h, product.cpp  the values as C++ constants: kSectionKey (code page 936 bytes,
                          for setup.exe's ANSI calls) and kSectionKeyW (UTF-16)
  product.cmake           the values as CMake variables PRODUCT_SECTION_KEY
  each TEMPLATE, less its ".in", with every @section.key@ replaced by the value written
                          for that kind of file (.rc: a resource string's inside; .manifest:
                          XML text); @section.key|commas@ gives 1.0.0.1 as 1,0,0,1 and
                          @dir@ is OUTDIR
A file is rewritten only when its text changes, so an unchanged definition rebuilds nothing.

The default definition is the schema: another definition must give exactly its keys.
"""
import os
import re
import sys
import tomllib

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT = os.path.join(HERE, "default.product")
REF = re.compile(r"\$\{([a-z_]+\.[a-z_0-9]+)\}")
PLACEHOLDER = re.compile(r"@([a-z_]+\.[a-z_0-9]+|dir)(\|commas)?@")
DIRECTIVE = re.compile(r"%.?", re.S)


def load(path):
    with open(path, "rb") as f:
        data = tomllib.load(f)
    flat = {}
    for section, table in data.items():
        if not isinstance(table, dict):
            raise SystemExit("%s: %s is not a [section]" % (path, section))
        for key, value in table.items():
            if not isinstance(value, str):
                raise SystemExit("%s: %s.%s is not a string" % (path, section, key))
            flat[section + "." + key] = value
    return flat


def resolve(flat, path):
    done = {}

    def value(key, chain):
        if key in done:
            return done[key]
        if key in chain:
            raise SystemExit("%s: %s refers to itself" % (path, " -> ".join(chain + [key])))
        if key not in flat:
            raise SystemExit("%s: ${%s} names no value (in %s)" % (path, key, chain[-1]))
        text = REF.sub(lambda m: value(m.group(1), chain + [key]), flat[key])
        done[key] = text.replace("$$", "$")
        return done[key]

    return {key: value(key, []) for key in flat}


def identifier(key):
    return "k" + "".join(part.capitalize() for part in re.split(r"[._]", key))


CONTROL = {"\r": "\\r", "\n": "\\n", "\t": "\\t"}


def c_narrow(text, key):
    try:
        raw = text.encode("cp936")
    except UnicodeEncodeError:
        raise SystemExit("%s: not representable in code page 936: %r" % (key, text))
    out = []
    for b in raw:
        c = chr(b)
        if c in '"\\?':  # \? keeps a trigraph from forming
            out.append("\\" + c)
        elif c in CONTROL:
            out.append(CONTROL[c])
        elif 0x20 <= b < 0x7F:
            out.append(c)
        else:
            out.append("\\%03o" % b)  # octal: never swallows the next character
    return '"' + "".join(out) + '"'


def c_wide(text):
    out = []
    for ch in text:
        o = ord(ch)
        if ch in '"\\?':
            out.append("\\" + ch)
        elif ch in CONTROL:
            out.append(CONTROL[ch])
        elif 0x20 <= o < 0x7F:
            out.append(ch)
        elif 0xA0 <= o <= 0xFFFF and not 0xD800 <= o < 0xE000:
            out.append("\\u%04x" % o)
        else:
            raise SystemExit("no character for a text: %r" % text)
    return 'L"' + "".join(out) + '"'


def rc_text(text):
    return (text.replace("\\", "\\\\").replace('"', '""').replace("\r", "\\r").replace("\n", "\\n")
            .replace("\t", "\\t"))


def xml_text(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def cmake_text(text):
    return '"' + re.sub(r'([\\"$;])', r"\\\1", text) + '"'


def write_if_changed(path, text):
    try:
        with open(path, encoding="utf-8", newline="") as f:
            if f.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(path + ".tmp", "w", encoding="utf-8", newline="") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def main(argv):
    if len(argv) < 3:
        raise SystemExit(__doc__)
    definition, outdir, templates = os.path.abspath(argv[1]), argv[2], argv[3:]
    values = resolve(load(definition), definition)
    schema = set(load(DEFAULT))
    missing, extra = sorted(schema - set(values)), sorted(set(values) - schema)
    if missing or extra:
        raise SystemExit("%s: missing %s; unknown %s" % (definition, missing or "nothing", extra or "nothing"))
    # The code fills a few texts in printf-style: such a text keeps the default's %s
    # places and no other directive, which would read arguments that are not there.
    defaults = resolve(load(DEFAULT), DEFAULT)
    for key in sorted(values):
        wanted = DIRECTIVE.findall(defaults[key])
        if wanted and DIRECTIVE.findall(values[key]) != wanted:
            raise SystemExit("%s: %s must hold %s in that order and no other %%: %r"
                             % (definition, key, " ".join(wanted), values[key]))
    # Pictures and the icon are named relative to the definition.
    for key in [k for k in values if k.startswith("art.")]:
        path = os.path.join(os.path.dirname(definition), values[key])
        if not os.path.isfile(path):
            raise SystemExit("%s: %s: no file %s" % (definition, key, path))
        values[key] = os.path.abspath(path).replace(os.sep, "/")
    os.makedirs(outdir, exist_ok=True)
    keys = sorted(values)
    banner = "// Made by product/product.py from %s: edit that, not this.\n" % os.path.basename(definition)

    header = [banner, "#pragma once\n\n#include <wchar.h>\n\nnamespace product {\n"]
    source = [banner, '#include "product.h"\n\nnamespace product {\n']
    for key in keys:
        if key.startswith("art."):
            continue  # only the resource script needs the pictures
        name = identifier(key)
        header.append("extern const char %s[];\nextern const wchar_t %sW[];\n" % (name, name))
        source.append("const char %s[] = %s;\n" % (name, c_narrow(values[key], key)))
        source.append("const wchar_t %sW[] = %s;\n" % (name, c_wide(values[key])))
    header.append("}  // namespace product\n")
    source.append("}  // namespace product\n")
    write_if_changed(os.path.join(outdir, "product.h"), "".join(header))
    write_if_changed(os.path.join(outdir, "product.cpp"), "".join(source))
    write_if_changed(os.path.join(outdir, "product.cmake"),
                     "".join("set(PRODUCT_%s %s)\n" % (re.sub(r"[.]", "_", k).upper(), cmake_text(values[k]))
                             for k in keys))

    for template in templates:
        name = os.path.basename(template)
        if not name.endswith(".in"):
            raise SystemExit("%s: a template's name ends in .in" % template)
        out_name = name[:-3]
        quote = rc_text if out_name.endswith(".rc") else xml_text if out_name.endswith(".manifest") else str

        def fill(m):
            if m.group(1) == "dir":
                return os.path.abspath(outdir).replace(os.sep, "/")
            if m.group(1) not in values:
                raise SystemExit("%s: @%s@ names no value" % (template, m.group(1)))
            text = values[m.group(1)]
            if m.group(2):
                if not re.fullmatch(r"\d+(\.\d+){3}", text):
                    raise SystemExit("%s: %s is not four numbers" % (template, m.group(1)))
                return text.replace(".", ",")
            return quote(text)

        with open(template, encoding="utf-8", newline="") as f:
            text = f.read()
        write_if_changed(os.path.join(outdir, out_name), PLACEHOLDER.sub(fill, text))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
