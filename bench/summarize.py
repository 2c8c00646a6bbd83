#!/usr/bin/env python3
"""Turns a Google Benchmark JSON file into a short Markdown table."""
import json
import sys


def rate(run):
    items = run.get("items_per_second")
    return f"{items / 1e6:.2f} M/s" if items else ""


def main(path):
    with open(path) as f:
        data = json.load(f)
    ctx = data["context"]
    print(f"Run on {ctx.get('num_cpus')} CPUs at {ctx.get('mhz_per_cpu')} MHz, "
          f"{ctx.get('date')}, build {ctx.get('library_build_type')} benchmark library.\n")
    print("| Benchmark | Time | Rate | Notes |")
    print("|---|---|---|---|")
    for run in data["benchmarks"]:
        if run.get("run_type") == "aggregate" and run.get("aggregate_name") != "median":
            continue
        notes = []
        for key in ("x_floor", "records", "bytes_per_variable", "one_thread_per_s", "x2_threads",
                    "x4_threads"):
            if key in run:
                notes.append(f"{key} {run[key]:.2f}" if key.startswith("x") else f"{key} {run[key]:.1f}")
        unit = run.get("time_unit", "ns")
        print(f"| {run['name']} | {run['real_time']:.1f} {unit} | {rate(run)} | "
              f"{', '.join(notes)} |")


if __name__ == "__main__":
    main(sys.argv[1])
