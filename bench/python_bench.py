#!/usr/bin/env python3
"""Names resolved per second from Python, against the C++ figure.

Imports a generated PLCopen program (the program of the C++ import benchmark: global variables
of elementary, structure and array types), then resolves 4,096 distinct plain names one at a
time, in batches of 1,000 through resolve_many, and in batches from two threads at once. The
C++ figure is BM_ResolvePlain of the same size in bench/results/latest.md (scripts/bench.sh).
Prints a Markdown table.

    /usr/bin/python3 bench/python_bench.py [--build build-release] [--variables 100000]
"""

import argparse
import os
import pathlib
import re
import sys
import tempfile
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]

VARIABLE_TYPES = [
    "<INT/>", "<REAL/>", "<BOOL/>", "<DINT/>", '<derived name="Motor"/>',
    '<derived name="Conveyor"/>', '<derived name="Speeds"/>', '<derived name="Grid"/>',
    '<array><dimension lower="0" upper="3"/><baseType><derived name="Motor"/></baseType></array>',
    '<string length="20"/>',
]


def member(name, type_):
    return f'<variable name="{name}"><type>{type_}</type></variable>'


def generated_project(variables):
    types = (
        '<dataType name="Motor"><baseType><struct>' + member("Running", "<BOOL/>")
        + member("Speed", "<INT/>") + member("Current", "<REAL/>")
        + '</struct></baseType></dataType><dataType name="Conveyor"><baseType><struct>'
        + member("Belt", '<derived name="Motor"/>') + member("Length", "<REAL/>")
        + '</struct></baseType></dataType><dataType name="Speeds"><baseType><array>'
        '<dimension lower="1" upper="10"/><baseType><INT/></baseType></array></baseType>'
        '</dataType><dataType name="Grid"><baseType><array><dimension lower="0" upper="3"/>'
        '<dimension lower="0" upper="4"/><baseType><REAL/></baseType></array></baseType>'
        '</dataType>')
    lines = [
        '<?xml version="1.0" encoding="utf-8"?>\n<project xmlns="http://www.plcopen.org/xml/tc6_0201">'
        '<fileHeader companyName="bench" productName="bench" productVersion="1" '
        'creationDateTime="2024-01-01T00:00:00"/><contentHeader name="bench"><coordinateInfo>'
        '<fbd><scaling x="1" y="1"/></fbd><ld><scaling x="1" y="1"/></ld>'
        '<sfc><scaling x="1" y="1"/></sfc></coordinateInfo></contentHeader><types><dataTypes>'
        + types + '</dataTypes><pous/></types><instances><configurations>'
        '<configuration name="Plant"><globalVars>']
    lines += [member(f"Var{i}", VARIABLE_TYPES[i % 10]) for i in range(variables)]
    lines.append("</globalVars></configuration></configurations></instances></project>\n")
    return "\n".join(lines)


def rate(work, names_per_call, seconds):
    """Names per second of `work` called repeatedly for about `seconds`."""
    calls = 0
    start = time.perf_counter()
    while time.perf_counter() - start < seconds:
        work()
        calls += 1
    return calls * names_per_call / (time.perf_counter() - start)


def threaded_rate(work, names_per_call, seconds, threads):
    rates = [0.0] * threads

    def run(index):
        rates[index] = rate(work, names_per_call, seconds)

    pool = [threading.Thread(target=run, args=(i,)) for i in range(threads)]
    for thread in pool:
        thread.start()
    for thread in pool:
        thread.join()
    return sum(rates)


def cxx_figure(variables):
    """The C++ rate of plain names (names/s) from bench/results/latest.md, or None."""
    results = ROOT / "bench" / "results" / "latest.md"
    if not results.exists():
        return None
    match = re.search(rf"\| BM_ResolvePlain/{variables} \| ([\d.]+) ns \|", results.read_text())
    return 1e9 / float(match.group(1)) if match else None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build-release", help="build folder of the module")
    parser.add_argument("--variables", type=int, default=100000)
    parser.add_argument("--seconds", type=float, default=2.0, help="time per measure")
    args = parser.parse_args()
    sys.path.insert(0, str((ROOT / args.build / "python").resolve()))
    import varbank

    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "bench.xml")
        with open(path, "w", encoding="utf-8") as out:
            out.write(generated_project(args.variables))
        start = time.perf_counter()
        dictionary = varbank.load(path)
        load_seconds = time.perf_counter() - start

    # 4,096 distinct plain names (INT variables), as the C++ benchmark resolves.
    plain = [f"Var{i}" for i in range(0, args.variables, 10)]
    names = [plain[(i * 7919) % len(plain)] for i in range(min(4096, len(plain)))]
    batch = names[:1000]

    def one_at_a_time():
        for name in names:
            dictionary.resolve(name)

    def many():
        dictionary.resolve_many(batch)

    single = rate(one_at_a_time, len(names), args.seconds)
    batched = rate(many, len(batch), args.seconds)
    two_threads = threaded_rate(many, len(batch), args.seconds, 2)
    cxx = cxx_figure(args.variables)

    def row(what, value):
        ratio = f"{cxx / value:.1f} x slower" if cxx else "no C++ figure"
        return f"| {what} | {value / 1e6:.2f} M/s | {1e9 / value:.0f} ns | {ratio} |"

    print(f"Python {sys.version.split()[0]}, module {varbank.__file__}, "
          f"{args.variables} variables (load {load_seconds:.2f} s).\n")
    print("| Resolution of plain names | Rate | Per name | Against C++ |")
    print("|---|---|---|---|")
    if cxx:
        print(f"| C++ (BM_ResolvePlain/{args.variables}, bench/results/latest.md) | "
              f"{cxx / 1e6:.2f} M/s | {1e9 / cxx:.0f} ns | 1 |")
    print(row("resolve(), one name at a time", single))
    print(row("resolve_many() of 1,000 names", batched))
    print(row("resolve_many() of 1,000 names, 2 threads together", two_threads))


if __name__ == "__main__":
    main()
