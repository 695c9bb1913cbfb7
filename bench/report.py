#!/usr/bin/env python3
"""The benchmark report from the figures bench/payload.sh and bench/install_time.sh wrote.

    report.py RESULTS_DIR

Reads RESULTS_DIR/payload.txt and RESULTS_DIR/install.txt, writes RESULTS_DIR/report.md
(the table with each goal and its verdict) and RESULTS_DIR/report.png (a bar chart,
drawn with ImageMagick's convert).
"""
import os
import subprocess
import sys

FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"


def read_payload(path):
    rows = {}
    with open(path) as f:
        for line in f:
            name, size, secs, rss = line.rstrip("\n").split("\t")
            rows[name] = (int(size), float(secs), int(rss))
    return rows


def read_install(path):
    out = {}
    with open(path) as f:
        for line in f:
            key, value = line.split()
            out[key] = float(value)
    return out


def verdict(ok):
    return "met" if ok else "NOT met"


def chart(path, panels):
    """panels: [(title, unit, [(label, value, colour)], goal or None)] as horizontal bars."""
    width, left, right, bar, gap, head = 980, 330, 130, 22, 6, 40
    height = 20 + sum(head + len(bars) * (bar + gap) + 24 for _, _, bars, _ in panels)
    draw = []
    y = 20
    for title, unit, bars, goal in panels:
        draw += ["-fill", "black", "-pointsize", "17", "-draw", f"text 20,{y + 22} '{title}'"]
        y += head
        top = max([v for _, v, _ in bars] + ([goal] if goal else []))
        scale = (width - left - right) / top if top else 0
        y0 = y
        y1 = y + len(bars) * (bar + gap)
        if goal:
            # under the bars' texts, so that a value next to the goal stays readable
            gx = left + int(goal * scale)
            draw += ["-stroke", "#c00000", "-strokewidth", "2", "-draw", f"line {gx},{y0 - 6} {gx},{y1}",
                     "-stroke", "none", "-fill", "#c00000", "-pointsize", "13",
                     "-draw", f"text {gx + 4},{y0 - 8} 'goal {goal:.2f} {unit}'"]
        for label, value, colour in bars:
            x1 = left + max(1, int(value * scale))
            draw += ["-fill", colour, "-draw", f"rectangle {left},{y} {x1},{y + bar}"]
            draw += ["-fill", "black", "-pointsize", "14",
                     "-draw", f"text 20,{y + bar - 5} '{label}'",
                     "-draw", f"text {x1 + 8},{y + bar - 5} '{value:.2f} {unit}'"]
            y += bar + gap
        y += 24
    subprocess.run(["convert", "-size", f"{width}x{height}", "xc:white", "-font", FONT] + draw + [path],
                   check=True)


def main():
    results = sys.argv[1]
    p = read_payload(os.path.join(results, "payload.txt"))
    i = read_install(os.path.join(results, "install.txt"))
    corpus = p.pop("corpus_bytes")[0]
    nsis_lzma = p["NSIS /SOLID lzma (Wine)"]
    nsis_zlib = p["NSIS zlib (Wine)"]
    xz = p["xz -9e + tar"]
    uharc = p["uharc (native)"]
    uharc_wine = p["UHARC.EXE x64 (Wine)"]
    setup32 = i["setup32_bytes"]
    bare = i["setup32_bare_bytes"]
    ui = i["setup32_ui_resource_bytes"]
    native, install = i["native_seconds"], i["install_seconds"]

    def mb(b):
        return b / 1e6

    def tp(secs):
        return corpus / 1e6 / secs

    md = []
    md.append(f"All figures from one run of `bench/report.sh` on the OpenJDK 17 corpus "
              f"({corpus / 1e6:.2f} MB); MB = 10^6 bytes, KB = 1024 bytes, MiB = 2^20 bytes. "
              "Details: [payload.md](payload.md), [install.md](install.md).\n")
    md.append("| Measure | setup.exe | Beside it | Ratio | Goal | Verdict |")
    md.append("|---|---:|---|---:|---|---|")
    r = setup32 / nsis_lzma[0]
    md.append(f"| Installer size (win32) | {mb(setup32):.2f} MB | NSIS solid LZMA {mb(nsis_lzma[0]):.2f} MB, "
              f"NSIS zlib {mb(nsis_zlib[0]):.2f} MB, xz -9e {mb(xz[0]):.2f} MB | {r:.3f} x NSIS solid LZMA | "
              f"at most 0.95 x | {verdict(r <= 0.95)} |")
    r = tp(uharc[1]) / tp(xz[1])
    md.append(f"| Extraction throughput (native) | {tp(uharc[1]):.1f} MB/s | xz -dc + tar {tp(xz[1]):.1f} MB/s "
              f"| {r:.2f} x | at least 0.9 x | {verdict(r >= 0.9)} |")
    md.append(f"| Extraction under Wine | {tp(uharc_wine[1]):.1f} MB/s (UHARC.EXE) | NSIS solid LZMA "
              f"{tp(nsis_lzma[1]):.1f} MB/s, NSIS zlib {tp(nsis_zlib[1]):.1f} MB/s | "
              f"{tp(uharc_wine[1]) / tp(nsis_lzma[1]):.2f} x NSIS solid LZMA | - | - |")
    d = install - native
    md.append(f"| Installation, Next to Next enabled (Wine) | {install:.2f} s | native extraction "
              f"{native:.2f} s | +{d:.2f} s | at most +1.2 s | {verdict(d <= 1.2)} |")
    md.append(f"| setup.exe without payload (win32) | {bare / 1024:.1f} KB (pictures, icons, dialogs, texts "
              f"{ui / 1024:.1f} KB) | NSIS stub zlib {i['nsis_stub_zlib_bytes'] / 1024:.1f} KB, lzma_solid "
              f"{i['nsis_stub_lzma_solid_bytes'] / 1024:.1f} KB | "
              f"{bare / i['nsis_stub_lzma_solid_bytes']:.2f} x lzma_solid stub | at most 150 KB | "
              f"{verdict(bare <= 150 * 1024)} |")
    md.append(f"| Peak memory during the installation | setup.exe {i['peak_setup_kb'] / 1024:.1f} MiB, "
              f"UHARC.EXE {i['peak_uharc_kb'] / 1024:.1f} MiB | NSIS solid LZMA installer "
              f"{nsis_lzma[2] / 1024:.1f} MiB | - | - | - |")
    md.append("")
    md.append("![chart](report.png)")
    with open(os.path.join(results, "report.md"), "w") as f:
        f.write("\n".join(md) + "\n")

    blue, grey, green = "#4472c4", "#a5a5a5", "#70ad47"
    chart(os.path.join(results, "report.png"), [
        ("Installer size (win32)", "MB", [
            ("setup.exe", mb(setup32), blue),
            ("NSIS solid LZMA", mb(nsis_lzma[0]), grey),
            ("NSIS zlib", mb(nsis_zlib[0]), grey),
            ("xz -9e (archive only)", mb(xz[0]), grey)], 0.95 * mb(nsis_lzma[0])),
        ("Extraction throughput", "MB/s", [
            ("uharc (native)", tp(uharc[1]), blue),
            ("xz -dc + tar (native)", tp(xz[1]), grey),
            ("UHARC.EXE (Wine)", tp(uharc_wine[1]), blue),
            ("NSIS solid LZMA (Wine)", tp(nsis_lzma[1]), grey),
            ("NSIS zlib (Wine)", tp(nsis_zlib[1]), grey)], 0.9 * tp(xz[1])),
        ("Installation time", "s", [
            ("setup.exe, Next to Next enabled", install, blue),
            ("native extraction", native, green)], native + 1.2),
        ("Size without payload", "KB", [
            ("setup.exe (win32)", bare / 1024, blue),
            ("  its pictures, icons, dialogs", ui / 1024, blue),
            ("NSIS stub zlib", i["nsis_stub_zlib_bytes"] / 1024, grey),
            ("NSIS stub lzma_solid", i["nsis_stub_lzma_solid_bytes"] / 1024, grey)], 150),
        ("Peak memory", "MiB", [
            ("setup.exe", i["peak_setup_kb"] / 1024, blue),
            ("UHARC.EXE", i["peak_uharc_kb"] / 1024, blue),
            ("NSIS solid LZMA installer", nsis_lzma[2] / 1024, grey)], None),
    ])
    print(open(os.path.join(results, "report.md")).read())


if __name__ == "__main__":
    main()
