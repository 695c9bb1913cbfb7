#!/usr/bin/env python3
"""Peak resident memory of named processes while they run.

    peakmem.py OUT NAME...

Every 20 ms reads /proc/*/status and keeps, for each process whose name is one of
NAME (Wine names its processes after the .exe), the largest VmHWM seen. On SIGTERM or
SIGINT writes "name kilobytes" rows to OUT (0 for a name never seen) and ends.
VmHWM only grows, so the last reading before a process ends is its peak within 20 ms.
"""
import os
import signal
import sys
import time


def main():
    out, names = sys.argv[1], sys.argv[2:]
    peak = {n: 0 for n in names}
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    signal.signal(signal.SIGINT, lambda *_: stop.append(1))
    while not stop:
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open(f"/proc/{pid}/status") as f:
                    status = f.read()
            except OSError:
                continue
            name = status[6:status.index("\n")].strip() if status.startswith("Name:") else ""
            if name not in peak:
                continue
            for line in status.splitlines():
                if line.startswith("VmHWM:"):
                    peak[name] = max(peak[name], int(line.split()[1]))
                    break
        time.sleep(0.02)
    with open(out, "w") as f:
        for n in names:
            f.write(f"{n} {peak[n]}\n")


if __name__ == "__main__":
    main()
