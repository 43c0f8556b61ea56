#!/usr/bin/env python3
"""Instructions and last-level cache misses per leaf of each side, from the dumps that
oxOsgPeer_misses leaves under callgrind (one dump named "ours", one named "osg").

    callgrindMisses.py LEAVES LAYOUT DUMP...

LL misses are DLmr + DLmw + ILmr: data reads and writes and instruction fetches that
missed the simulated last-level cache. Prints one Markdown table row per side."""
import sys


def read_dump(path):
    trigger, events, totals = None, None, None
    with open(path) as f:
        for line in f:
            if line.startswith("desc: Trigger:"):
                trigger = line.split(":", 2)[2].strip()
            elif line.startswith("events:"):
                events = line.split()[1:]
            elif line.startswith("summary:") or line.startswith("totals:"):
                totals = [int(x) for x in line.split()[1:]]
    if not events or totals is None:
        return None
    return trigger, dict(zip(events, totals + [0] * (len(events) - len(totals))))


def main():
    leaves = int(sys.argv[1])
    layout = sys.argv[2]
    sides = {}
    for path in sys.argv[3:]:
        dump = read_dump(path)
        if not dump or not dump[0]:
            continue
        trigger, counts = dump
        for side in ("ours", "osg"):
            if trigger.endswith(side):
                sides[side] = counts
    missing = [s for s in ("ours", "osg") if s not in sides]
    if missing:
        sys.exit("callgrindMisses.py: no dump for " + ", ".join(missing))
    for side in ("ours", "osg"):
        c = sides[side]
        for needed in ("Ir", "DLmr", "DLmw", "ILmr"):
            if needed not in c:
                sys.exit(f"callgrindMisses.py: the dump has no {needed} (was --cache-sim=yes given?)")
        ll = c["DLmr"] + c["DLmw"] + c["ILmr"]
        name = "OXSg" if side == "ours" else "OpenSceneGraph"
        print(f"| {leaves:,} | {layout} | {name} | {c['Ir'] / leaves:,.0f} | {ll / leaves:.2f} | "
              f"{c['DLmr'] / leaves:.2f} | {c['DLmw'] / leaves:.2f} | {c['ILmr'] / leaves:.3f} |")


if __name__ == "__main__":
    main()
