#!/usr/bin/env python3
"""The table of scripts/bench: median CPU-time ratios, ours / peer, and
allocations per operation, from Google Benchmark's JSON output.

Usage: bench.py BENCHMARK_JSON
"""
import json
import sys

with open(sys.argv[1]) as f:
    runs = json.load(f)["benchmarks"]
median = {}
allocs = {}
for run in runs:
    if run.get("aggregate_name") == "median":
        median[run["run_name"]] = run["cpu_time"], run["time_unit"]
        if "allocs" in run:
            allocs[run["run_name"]] = run["allocs"]

scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
def micros(name):
    time, unit = median[name]
    return time * scale[unit]

peers = ("nlohmann", "msgpack", "memcpy", "copy")
print(f"{'operation':<10} {'data':<8} {'ours (us)':>10}"
      + "".join(f" {'/' + peer:>10}" for peer in peers)
      + f" {'allocs':>8} {'nlohmann':>9} {'msgpack':>8}")
for op in ("encode", "decode"):
    for data in ("devices", "tree", "doubles", "bytes"):
        ours = f"{op}/{data}/standard"
        if ours not in median:
            continue
        row = f"{op:<10} {data:<8} {micros(ours):>10.1f}"
        for peer in peers:
            name = f"{op}/{data}/{peer}"
            row += f" {micros(ours) / micros(name):>10.2f}" if name in median else f" {'-':>10}"
        for peer, width in (("standard", 8), ("nlohmann", 9), ("msgpack", 8)):
            name = f"{op}/{data}/{peer}"
            row += f" {allocs[name]:>{width}.0f}" if name in allocs else f" {'-':>{width}}"
        print(row)
