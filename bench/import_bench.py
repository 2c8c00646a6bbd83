#!/usr/bin/python3
"""Import and start-up of large programs: for each generated program size, `varbank info` under
/usr/bin/time (wall and CPU time, peak RSS), then `varbank serve` on a free 127.0.0.1 port (the
time until /healthz answers, and the RSS then). Several binaries are measured back to back, each
size in turn, so that a shared machine's drift falls on all of them alike. Prints a Markdown
table. Every run is bounded in time."""
import argparse
import os
import re
import subprocess
import sys
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
GENERATOR = os.path.join(HERE, "..", "scripts", "generate_program.py")
LIMIT_SECONDS = 300


def program(folder, variables):
    """The generated program of that many variables, written once."""
    path = os.path.join(folder, f"generated-{variables}.xml")
    if not os.path.exists(path):
        subprocess.run(["/usr/bin/python3", GENERATOR, path, "--variables", str(variables)],
                       check=True, timeout=LIMIT_SECONDS)
    return path


def info(binary, path):
    """(wall seconds, CPU seconds, peak RSS in MiB) of `varbank info`."""
    run = subprocess.run(["/usr/bin/time", "-v", binary, "info", path], capture_output=True,
                         text=True, timeout=LIMIT_SECONDS, check=True)
    fields = dict(re.findall(r"^\s*(.+?): (.+)$", run.stderr, re.MULTILINE))
    wall = fields["Elapsed (wall clock) time (h:mm:ss or m:ss)"].split(":")
    seconds = float(wall[-1]) + 60 * float(wall[-2]) + (3600 * float(wall[0]) if len(wall) > 2 else 0)
    cpu = float(fields["User time (seconds)"]) + float(fields["System time (seconds)"])
    return seconds, cpu, int(fields["Maximum resident set size (kbytes)"]) / 1024


def rss_mib(pid):
    with open(f"/proc/{pid}/status", encoding="ascii") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return float("nan")


def serve(binary, path):
    """(seconds until /healthz answers, RSS in MiB then) of `varbank serve` on a free port."""
    start = time.monotonic()
    server = subprocess.Popen([binary, "serve", path, "--port", "0", "--bind", "127.0.0.1"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        url = None
        while url is None and time.monotonic() - start < LIMIT_SECONDS:
            line = server.stdout.readline()
            if not line:
                raise RuntimeError("varbank serve ended before it listened")
            found = re.search(r"http://[^ \s]+", line)
            url = found.group(0).rstrip("/") if found else None
        while time.monotonic() - start < LIMIT_SECONDS:
            try:
                with urllib.request.urlopen(url + "/healthz", timeout=5) as answer:
                    if answer.status == 200:
                        return time.monotonic() - start, rss_mib(server.pid)
            except OSError:
                time.sleep(0.01)
        raise RuntimeError("no answer from /healthz in time")
    finally:
        server.terminate()
        server.wait(timeout=30)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("binaries", nargs="+", help="varbank binaries, label=path or path")
    parser.add_argument("--sizes", default="100000,1000000")
    parser.add_argument("--folder", default="/tmp")
    args = parser.parse_args()
    print("| binary | variables | info: wall | info: CPU | info: peak RSS | serve: start "
          "| serve: RSS |")
    print("|---|---|---|---|---|---|---|")
    for size in (int(text) for text in args.sizes.split(",")):
        path = program(args.folder, size)
        for entry in args.binaries:
            label, _, binary = entry.rpartition("=")
            wall, cpu, peak = info(binary, path)
            start, rss = serve(binary, path)
            print(f"| {label or binary} | {size:,} | {wall:.2f} s | {cpu:.2f} s | {peak:.0f} MiB "
                  f"| {start:.2f} s | {rss:.0f} MiB |", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
