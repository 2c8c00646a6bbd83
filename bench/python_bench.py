#!/usr/bin/env python3
"""Names resolved and values read per second from Python, against the C++ figures.

Imports a generated PLCopen program (the program of the C++ import benchmark: global variables
of elementary, structure and array types), then resolves 4,096 distinct plain names one at a
time, in batches of 1,000 through resolve_many, and in batches from two threads at once. The
C++ figure is BM_ResolvePlain of the same size, run just before from the build's C++ benchmark
(so both run under the same load), else read from bench/results/latest.md (scripts/bench.sh).
Then reads the values of 1,000 INT variables from the memory image (the program of the C++
values benchmark), one at a time, in batches of 100 through read_many, and in batches from two
threads at once, against BM_ValuesImageSingle and BM_ValuesImageBatch100 run just before.
Prints Markdown tables.

    /usr/bin/python3 bench/python_bench.py [--build build-release] [--variables 1000,100000]
"""

import argparse
import json
import os
import pathlib
import re
import subprocess
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


def cxx_figure(variables, build):
    """The C++ time per plain name (ns) and where it comes from: a run of the C++ benchmark of
    this build now, under the same load, else bench/results/latest.md; or None."""
    binary = ROOT / build / "bench" / "varbank_bench"
    name = f"BM_ResolvePlain/{variables}"
    if binary.exists():
        done = subprocess.run([str(binary), f"--benchmark_filter={name}$",
                               "--benchmark_format=json"], capture_output=True, text=True,
                              check=False)
        runs = json.loads(done.stdout).get("benchmarks", []) if done.returncode == 0 else []
        if runs:
            return runs[0]["real_time"], f"C++, {name}, run now"
    results = ROOT / "bench" / "results" / "latest.md"
    match = re.search(rf"\| {name} \| ([\d.]+) ns \|", results.read_text()) \
        if results.exists() else None
    return (float(match.group(1)), f"C++, {name}, bench/results/latest.md") if match else None


def cxx_values_rate(name, build):
    """Names per second of a C++ values benchmark of this build, run now; or None."""
    binary = ROOT / build / "bench" / "varbank_bench"
    if not binary.exists():
        return None
    done = subprocess.run([str(binary), f"--benchmark_filter={name}$", "--benchmark_format=json"],
                          capture_output=True, text=True, check=False)
    runs = json.loads(done.stdout).get("benchmarks", []) if done.returncode == 0 else []
    return runs[0].get("items_per_second") if runs else None


def values_project(count):
    """The program of the C++ values benchmark: `count` plain INT variables V0, V1, ..."""
    variables = "".join(member(f"V{i}", "<INT/>") for i in range(count))
    return ('<?xml version="1.0"?><project xmlns="http://www.plcopen.org/xml/tc6_0201">'
            '<contentHeader name="bench"/><types><dataTypes/><pous/></types><instances>'
            f'<configurations><configuration name="C"><globalVars>{variables}</globalVars>'
            '</configuration></configurations></instances></project>\n')


def measure_values(varbank, seconds, build):
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "values.xml")
        with open(path, "w", encoding="utf-8") as out:
            out.write(values_project(1000))
        dictionary = varbank.load(path)
    names = [f"V{i}" for i in range(1000)]
    batches = [names[i:i + 100] for i in range(0, len(names), 100)]

    def one_at_a_time():
        for name in names:
            dictionary.read(name)

    def many():
        for batch in batches:
            dictionary.read_many(batch)

    def row(what, value, cxx):
        ratio = f"x {cxx / value:.1f}" if cxx else "no C++ figure"
        print(f"| {what} | {value / 1e6:.2f} M/s | {1e9 / value:.0f} ns | {ratio} |")

    single = cxx_values_rate("BM_ValuesImageSingle", build)
    batch = cxx_values_rate("BM_ValuesImageBatch100", build)
    print("\n| Values read from the memory image | Rate | Per name | Time per name against C++ |")
    print("|---|---|---|---|")
    for name, cxx in (("BM_ValuesImageSingle", single), ("BM_ValuesImageBatch100", batch)):
        if cxx:
            row(f"C++, {name}, run now", cxx, cxx)
    row("read(), one name at a time", rate(one_at_a_time, len(names), seconds), single)
    row("read_many() of 100 names", rate(many, len(names), seconds), batch)
    row("read_many() of 100 names, 2 threads together",
        threaded_rate(many, len(names), seconds, 2), batch)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build-release", help="build folder of the module")
    parser.add_argument("--variables", default="1000,100000", help="dictionary sizes, by commas")
    parser.add_argument("--seconds", type=float, default=2.0, help="time per measure")
    args = parser.parse_args()
    sys.path.insert(0, str((ROOT / args.build / "python").resolve()))
    import varbank

    module = pathlib.Path(varbank.__file__).resolve().relative_to(ROOT)
    print(f"Python {sys.version.split()[0]}, module {module}, load average "
          f"{os.getloadavg()[0]:.1f} on {os.cpu_count()} cores.\n")
    print("| Resolution of plain names | Rate | Per name | Time per name against C++ |")
    print("|---|---|---|---|")
    for variables in (int(n) for n in args.variables.split(",")):
        measure(varbank, variables, args.seconds, cxx_figure(variables, args.build))
    measure_values(varbank, args.seconds, args.build)


def measure(varbank, variables, seconds, cxx_figure):
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "bench.xml")
        with open(path, "w", encoding="utf-8") as out:
            out.write(generated_project(variables))
        dictionary = varbank.load(path)

    # Distinct plain names (INT variables), up to 4,096, as the C++ benchmark resolves.
    plain = [f"Var{i}" for i in range(0, variables, 10)]
    names = [plain[(i * 7919) % len(plain)] for i in range(4096)]
    batch = names[:1000]

    def one_at_a_time():
        for name in names:
            dictionary.resolve(name)

    def many():
        dictionary.resolve_many(batch)

    cxx = 1e9 / cxx_figure[0] if cxx_figure else None

    def row(what, value):
        ratio = f"x {cxx / value:.1f}" if cxx else "no C++ figure"
        print(f"| {what} | {value / 1e6:.2f} M/s | {1e9 / value:.0f} ns | {ratio} |")

    if cxx:
        row(cxx_figure[1], cxx)
    row(f"{variables} variables: resolve(), one name at a time",
        rate(one_at_a_time, len(names), seconds))
    row(f"{variables} variables: resolve_many() of 1,000 names", rate(many, len(batch), seconds))
    row(f"{variables} variables: resolve_many() of 1,000 names, 2 threads together",
        threaded_rate(many, len(batch), seconds, 2))


if __name__ == "__main__":
    main()
