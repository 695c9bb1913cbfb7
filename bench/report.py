#!/usr/bin/env python3
"""The benchmark report from the figures bench/payload.sh and bench/install_time.sh wrote.

    report.py RESULTS_DIR NAME...

Reads RESULTS_DIR/payload-NAME.txt and RESULTS_DIR/install-NAME.txt of each corpus NAME
and writes RESULTS_DIR/report.md (the table, the corpora side by side, each goal with
its verdict) and RESULTS_DIR/report.png (bar charts, drawn with ImageMagick's convert).
"""
import os
import subprocess
import sys

FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
TITLES = {"openjdk": "OpenJDK 17", "python": "Python 3.11 stdlib"}
# The archive's size against NSIS's /SOLID lzma installer: tuned on OpenJDK, and a
# looser bound where nobody tuned.
SIZE_GOAL = {"openjdk": 0.64}
SIZE_GOAL_OTHER = 0.95
NATIVE_GOAL = 0.6      # extraction wall time, x that of xz -dc | tar x
WINE_GOAL = 1.5        # UHARC.EXE's throughput under Wine, x that of NSIS's silent extraction
INSTALL_GOAL = 1.0     # installation time, x NSIS's silent installation
MEMORY_GOAL_MIB = 64   # UHARC.EXE's peak
CODE_GOAL_KB = 100     # setup.exe's code and data


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


class Corpus:
    def __init__(self, results, name):
        self.name = name
        self.title = TITLES.get(name, name)
        p = read_payload(os.path.join(results, f"payload-{name}.txt"))
        self.i = read_install(os.path.join(results, f"install-{name}.txt"))
        self.bytes = p.pop("corpus_bytes")[0]
        self.uharc, self.xz, self.zstd = p["uharc (native)"], p["xz -9e + tar"], p["zstd -19 --long + tar"]
        self.nsis, self.uharc_wine = p["NSIS /SOLID lzma (Wine)"], p["UHARC.EXE x64 (Wine)"]
        self.size_goal = SIZE_GOAL.get(name, SIZE_GOAL_OTHER)

    def tp(self, secs):
        return self.bytes / 1e6 / secs

    def cells(self):
        """(figure, verdict) per goal row."""
        i = self.i
        r_size = self.uharc[0] / self.nsis[0]
        r_native = self.uharc[1] / self.xz[1]
        r_wine = self.tp(self.uharc_wine[1]) / self.tp(self.nsis[1])
        r_install = i["install_seconds"] / i["nsis_install_seconds"]
        peak = i["peak_uharc_kb"] / 1024
        code = i["setup32_code_bytes"] / 1024
        return [
            (f"**{r_size:.3f} x**: {self.uharc[0] / 1e6:.2f} MB against {self.nsis[0] / 1e6:.2f} MB "
             f"(xz -9e {self.xz[0] / 1e6:.2f}, zstd -19 --long {self.zstd[0] / 1e6:.2f}; setup.exe with it "
             f"{i['setup32_bytes'] / 1e6:.2f})", r_size <= self.size_goal),
            (f"**{r_native:.2f} x**: {self.uharc[1]:.2f} s against {self.xz[1]:.2f} s "
             f"(zstd {self.zstd[1]:.2f} s)", r_native <= NATIVE_GOAL),
            (f"**{r_wine:.2f} x**: {self.tp(self.uharc_wine[1]):.1f} MB/s against "
             f"{self.tp(self.nsis[1]):.1f} MB/s", r_wine >= WINE_GOAL),
            (f"**{r_install:.2f} x**: {i['install_seconds']:.2f} s against {i['nsis_install_seconds']:.2f} s",
             r_install <= INSTALL_GOAL),
            (f"**{peak:.1f} MiB** (setup.exe {i['peak_setup_kb'] / 1024:.1f} MiB)", peak <= MEMORY_GOAL_MIB),
            (f"**{code:.1f} KB** code and data + {i['setup32_ui_resource_bytes'] / 1024:.1f} KB pictures, icons, "
             f"dialogs, texts = {i['setup32_bare_bytes'] / 1024:.1f} KB (NSIS lzma_solid stub "
             f"{i['nsis_stub_lzma_solid_bytes'] / 1024:.1f} KB)", code <= CODE_GOAL_KB),
        ]


def chart(panels):
    """panels: [(title, unit, [(label, value, colour)], goal or None)] as horizontal bars.
    Returns convert's arguments for one column of panels and its height."""
    width, left, right, bar, gap, head = 760, 250, 120, 20, 5, 36
    draw = []
    y = 20
    for title, unit, bars, goal in panels:
        draw += ["-fill", "black", "-pointsize", "16", "-draw", f"text 16,{y + 20} '{title}'"]
        y += head
        top = max([v for _, v, _ in bars] + ([goal] if goal else []))
        scale = (width - left - right) / top if top else 0
        y0 = y
        y1 = y + len(bars) * (bar + gap)
        if goal:
            # under the bars' texts, so that a value next to the goal stays readable
            gx = left + int(goal * scale)
            draw += ["-stroke", "#c00000", "-strokewidth", "2", "-draw", f"line {gx},{y0 - 6} {gx},{y1}",
                     "-stroke", "none", "-fill", "#c00000", "-pointsize", "12",
                     "-draw", f"text {gx + 4},{y0 - 8} 'goal {goal:.2f} {unit}'"]
        for label, value, colour in bars:
            x1 = left + max(1, int(value * scale))
            draw += ["-fill", colour, "-draw", f"rectangle {left},{y} {x1},{y + bar}"]
            draw += ["-fill", "black", "-pointsize", "13",
                     "-draw", f"text 16,{y + bar - 5} '{label}'",
                     "-draw", f"text {x1 + 6},{y + bar - 5} '{value:.2f} {unit}'"]
            y += bar + gap
        y += 20
    return width, y, draw


def render(path, width, height, draw):
    subprocess.run(["convert", "-size", f"{width}x{height}", "xc:white", "-font", FONT] + draw + [path], check=True)


def main():
    results, names = sys.argv[1], sys.argv[2:]
    corpora = [Corpus(results, n) for n in names]
    labels = [
        "Archive size, x NSIS /SOLID lzma",
        "Native extraction wall time, x xz -dc \\| tar x",
        "Extraction throughput under Wine, UHARC.EXE x NSIS silent extraction",
        "Installation time under Wine, Next on the folder page to Next enabled, x NSIS silent installation",
        "Peak memory of UHARC.EXE during the installations",
        "setup.exe (win32) without payload",
    ]
    goals = [
        " / ".join(f"at most {c.size_goal} x ({c.title})" for c in corpora),
        f"at most {NATIVE_GOAL} x",
        f"at least {WINE_GOAL} x",
        f"at most {INSTALL_GOAL} x (no slower)",
        f"at most {MEMORY_GOAL_MIB} MiB",
        f"code and data at most {CODE_GOAL_KB} KB",
    ]
    cells = [c.cells() for c in corpora]
    md = [f"All figures from one run of `bench/report.sh`; the corpora: "
          + "; ".join(f"{c.title} ({c.bytes / 1e6:.2f} MB)" for c in corpora)
          + ". MB = 10^6 bytes, KB = 1024 bytes, MiB = 2^20 bytes. Details: "
          + ", ".join(f"[payload-{c.name}.md](payload-{c.name}.md), [install-{c.name}.md](install-{c.name}.md)"
                      for c in corpora) + ".\n"]
    md.append("| Measure | Goal | " + " | ".join(f"{c.title} | Verdict" for c in corpora) + " |")
    md.append("|---|---|" + "---|---|" * len(corpora))
    for row, (label, goal) in enumerate(zip(labels, goals)):
        md.append(f"| {label} | {goal} | "
                  + " | ".join(f"{cs[row][0]} | {verdict(cs[row][1])}" for cs in cells) + " |")
    md.append("")
    md.append("setup.exe's size does not depend on the corpus (the payload is left out).")
    md.append("")
    md.append("![chart](report.png)")
    with open(os.path.join(results, "report.md"), "w") as f:
        f.write("\n".join(md) + "\n")

    blue, grey = "#4472c4", "#a5a5a5"
    columns = []
    for c in corpora:
        i = c.i
        columns.append(chart([
            (f"{c.title}: archive size", "MB", [
                ("uharc", c.uharc[0] / 1e6, blue),
                ("NSIS /SOLID lzma", c.nsis[0] / 1e6, grey),
                ("xz -9e", c.xz[0] / 1e6, grey),
                ("zstd -19 --long", c.zstd[0] / 1e6, grey)], c.size_goal * c.nsis[0] / 1e6),
            (f"{c.title}: native extraction", "s", [
                ("uharc x", c.uharc[1], blue),
                ("xz -dc | tar x", c.xz[1], grey),
                ("zstd -dc | tar x", c.zstd[1], grey)], NATIVE_GOAL * c.xz[1]),
            (f"{c.title}: extraction under Wine", "MB/s", [
                ("UHARC.EXE", c.tp(c.uharc_wine[1]), blue),
                ("NSIS silent", c.tp(c.nsis[1]), grey)], WINE_GOAL * c.tp(c.nsis[1])),
            (f"{c.title}: installation under Wine", "s", [
                ("setup.exe, Next to Next", i["install_seconds"], blue),
                ("NSIS silent installation", i["nsis_install_seconds"], grey)],
             INSTALL_GOAL * i["nsis_install_seconds"]),
            (f"{c.title}: peak memory", "MiB", [
                ("UHARC.EXE", i["peak_uharc_kb"] / 1024, blue),
                ("setup.exe", i["peak_setup_kb"] / 1024, blue)], MEMORY_GOAL_MIB),
        ]))
    i = corpora[0].i
    columns.append(chart([
        ("setup.exe (win32) without payload", "KB", [
            ("code and data", i["setup32_code_bytes"] / 1024, blue),
            ("pictures, icons, dialogs, texts", i["setup32_ui_resource_bytes"] / 1024, blue),
            ("NSIS stub lzma_solid", i["nsis_stub_lzma_solid_bytes"] / 1024, grey)], CODE_GOAL_KB),
    ]))
    parts = []
    for n, (width, height, draw) in enumerate(columns):
        part = os.path.join(results, f".report-{n}.png")
        render(part, width, height, draw)
        parts.append(part)
    top = os.path.join(results, ".report-top.png")
    subprocess.run(["convert"] + parts[:-1] + ["+append", top], check=True)
    subprocess.run(["convert", top, parts[-1], "-background", "white", "-append",
                    os.path.join(results, "report.png")], check=True)
    for part in parts + [top]:
        os.remove(part)
    print(open(os.path.join(results, "report.md")).read())


if __name__ == "__main__":
    main()
