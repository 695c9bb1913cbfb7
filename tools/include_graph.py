#!/usr/bin/env python3
"""The include graph between the program's folders.

  tools/include_graph.py [--edges]

The folders are layered, bottom up: afx res finish install pages app. An include that
goes up a layer is allowed only where the program's classes force it (FORCED below,
and the comment beside the libraries in CMakeLists.txt). Prints the folder cycles
with one include for each edge, and every include that goes up; exits 1 when one of
those is not forced.
"""
import itertools
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LAYERS = ["afx", "res", "finish", "install", "pages", "app"]
# (from folder, to folder): the files allowed to include upwards, None for all of them.
INSTALL_PAGE_METHODS = ["StartInstall.cpp", "ConsoleMonitor.cpp", "ExpandPacks.cpp"]
FINISH_PAGE_METHODS = ["FinishingActions.cpp"]
FORCED = {
    ("pages", "app"): None,  # the pages use the frame's public members
    ("install", "pages"): INSTALL_PAGE_METHODS,  # CInstallPage's installation methods
    ("install", "app"): INSTALL_PAGE_METHODS,
    ("finish", "pages"): FINISH_PAGE_METHODS,  # CFinishPage's finishing actions
    ("finish", "app"): FINISH_PAGE_METHODS,
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)


def includes():
    """(from folder, file name, to folder, include line) for every include between folders."""
    found = []
    for folder in LAYERS:
        base = os.path.join(ROOT, folder)
        if not os.path.isdir(base):
            continue
        for name in sorted(os.listdir(base)):
            if not name.endswith((".h", ".cpp", ".rc")):
                continue
            with open(os.path.join(base, name), encoding="utf-8", errors="replace") as f:
                text = f.read()
            for m in INCLUDE.finditer(text):
                target = m.group(1)
                if target in LAYERS and target != folder:
                    found.append((folder, name, target, m.group(0).strip()))
    return found


def cycles(edges):
    graph = {}
    for a, b in edges:
        graph.setdefault(a, set()).add(b)
    result = []
    for n in range(2, len(LAYERS) + 1):
        for combo in itertools.permutations(LAYERS, n):
            if combo[0] != min(combo):
                continue
            ring = list(combo) + [combo[0]]
            if all(ring[i + 1] in graph.get(ring[i], ()) for i in range(n)):
                result.append(ring)
    return result


def main():
    found = includes()
    first = {}
    for a, name, b, line in found:
        first.setdefault((a, b), f"{a}/{name}: {line}")
    if "--edges" in sys.argv:
        for (a, b), why in sorted(first.items()):
            print(f"{a} -> {b}   ({why})")
    for ring in cycles(first):
        print("cycle   " + " -> ".join(ring))
        for a, b in zip(ring, ring[1:]):
            print(f"          {first[(a, b)]}")
    bad = 0
    for a, name, b, line in found:
        if LAYERS.index(b) < LAYERS.index(a):
            continue
        files = FORCED.get((a, b), [])
        forced = files is None or name in files
        bad += not forced
        print(("forced  " if forced else "UPWARD  ") + f"{a}/{name}: {line}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
