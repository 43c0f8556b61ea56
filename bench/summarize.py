#!/usr/bin/env python3
"""One line per benchmark from the JSON files Google Benchmark wrote: the median of the
repetitions (or the single run) with its user counters, grouped by program, after a header
that says on what machine and under what load the figures were taken."""
import json
import os
import sys


def fmt(value):
    if isinstance(value, float):
        if value != 0 and (abs(value) >= 1e5 or abs(value) < 1e-2):
            return f"{value:.3g}"
        return f"{value:.3f}".rstrip("0").rstrip(".")
    return str(value)


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown"


def rows(results):
    benchmarks = results.get("benchmarks", [])
    medians = [b for b in benchmarks if b.get("aggregate_name") == "median"]
    chosen = medians if medians else [b for b in benchmarks if b.get("run_type", "iteration") == "iteration"]
    for b in chosen:
        name = b.get("run_name", b["name"])
        if b.get("error_occurred"):
            yield name, "error: " + b.get("error_message", ""), ""
            continue
        time = f"{fmt(b['real_time'])} {b.get('time_unit', 'ns')}"
        skip = {"name", "run_name", "run_type", "repetitions", "repetition_index", "threads", "iterations",
                "real_time", "cpu_time", "time_unit", "family_index", "per_family_instance_index",
                "aggregate_name", "aggregate_unit", "label", "bytes_per_second", "items_per_second"}
        # Inverted rate counters ("ns/leaf") come in seconds per item.
        counters = ", ".join(f"{k}={fmt(v * 1e9 if k.startswith('ns/') else v)}"
                             for k, v in b.items() if k not in skip)
        yield name, time, counters


def main():
    folder = sys.argv[1]
    files = sorted(f for f in os.listdir(folder) if f.endswith(".json"))
    context = {}
    for f in files:
        with open(os.path.join(folder, f)) as fh:
            context = json.load(fh).get("context", context)
            break
    print("# Benchmark summary\n")
    print(f"- date: {context.get('date', '?')}")
    print(f"- machine: {context.get('num_cpus', '?')} CPUs, {cpu_model()}, "
          f"{context.get('mhz_per_cpu', '?')} MHz; Google Benchmark library build: "
          f"{context.get('library_build_type', '?')}")
    load = context.get("load_avg", [])
    print(f"- load average at start: {' '.join(fmt(x) for x in load) if load else '?'}")
    print("- figures: median of the repetitions (wall-clock time per iteration)\n")
    for f in files:
        with open(os.path.join(folder, f)) as fh:
            results = json.load(fh)
        print(f"## {f[:-5]}\n")
        print("| benchmark | time | counters |")
        print("| --- | --- | --- |")
        for name, time, counters in rows(results):
            print(f"| {name} | {time} | {counters} |")
        print()


if __name__ == "__main__":
    main()
