#!/usr/bin/env python3
"""Subscriptions under load: `varbank serve` holding 10,000 DINT items on its memory image,
every item subscribed at 100 ms by 1 and by 16 WebSocket clients, while a writer changes 10%
of the items each tick through PUT. Reports the changes delivered per second, the service's
CPU (of one core) and per 100,000 changes, and the delay from the write to the client (p50,
p99). Loopback only, bounded in time; writes a Markdown table to stdout.

    /usr/bin/python3 bench/subscribe_bench.py [--build build-release] [--seconds 10]
"""
import argparse
import http.client
import json
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import multiprocessing
import time

import re

import websocket  # Debian's python3-websocket

ROOT = pathlib.Path(__file__).resolve().parents[1]
TOKEN = "bench-token"
ITEMS = 10000
INTERVAL_MS = 100
CHANGING = ITEMS // 10
MERGED = re.compile(r'\{"merged":(\d+)')
VALUE = re.compile(r'"value":(\d+)')


def write_program(path):
    variables = "".join(
        '<variable name="V%d"><type><DINT/></type></variable>\n' % i for i in range(ITEMS))
    path.write_text(
        '<?xml version="1.0"?>\n<project xmlns="http://www.plcopen.org/xml/tc6_0201">'
        '<contentHeader name="bench"/><types><dataTypes/><pous/></types><instances>'
        '<configurations><configuration name="C"><globalVars>\n' + variables +
        "</globalVars></configuration></configurations></instances></project>\n")


def start_server(binary, program):
    env = dict(os.environ, VARBANK_TOKEN=TOKEN)
    process = subprocess.Popen(
        [binary, "serve", str(program), "--bind", "127.0.0.1", "--port", "0", "--writable"],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=env)
    line = process.stdout.readline()
    if " at " not in line:
        process.kill()
        sys.exit("serve did not start: " + line)
    port = int(line.rsplit(":", 1)[1].strip().rstrip("/"))
    return process, port


def cpu_seconds(pid):
    fields = pathlib.Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def client(port, names, ready, stop, results):
    """One WebSocket subscriber of every item, in a process of its own: counts the changes and
    notes when each written tick arrived. Kept light: changes are counted in the text, and a
    batch's arrival is that of its first value (a batch holds the changes of one tick)."""
    socket = websocket.create_connection(
        "ws://127.0.0.1:%d/api/dictionaries/bench/subscribe" % port, timeout=30,
        skip_utf8_validation=True)
    socket.send(json.dumps({"subscribe": names, "intervalMs": INTERVAL_MS}))
    initial = changes = merged = 0
    arrivals = []
    counting = False
    while not stop.is_set():
        try:
            text = socket.recv()
        except (websocket.WebSocketException, OSError):
            break
        received = time.monotonic()
        if not text.startswith('{"merged":'):
            continue
        count = text.count('"name":')
        if not counting:
            initial += count
            if initial >= ITEMS:
                counting = True
                ready.release()
            continue
        changes += count
        merged += int(MERGED.match(text).group(1))
        found = VALUE.search(text)
        if found:
            arrivals.append((int(found.group(1)), received))
    results.put((changes, merged, arrivals))


def run(binary, program, clients_count, seconds):
    process, port = start_server(binary, program)
    names = ["V%d" % i for i in range(ITEMS)]
    ready, stop, results = multiprocessing.Semaphore(0), multiprocessing.Event(), multiprocessing.Queue()
    clients = [multiprocessing.Process(target=client, args=(port, names, ready, stop, results))
               for _ in range(clients_count)]
    for c in clients:
        c.start()
    for _ in clients:
        if not ready.acquire(timeout=60):
            sys.exit("a client did not get its first values")
    writer = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    headers = {"Authorization": "Bearer " + TOKEN, "Content-Type": "application/json"}
    sent = {}
    cpu_before, started = cpu_seconds(process.pid), time.monotonic()
    tick = 0
    while time.monotonic() - started < seconds:
        tick += 1
        first = (tick * CHANGING) % ITEMS
        body = json.dumps({"values": {names[first + i]: tick for i in range(CHANGING)}})
        sent[tick] = time.monotonic()
        writer.request("PUT", "/api/dictionaries/bench/values", body, headers)
        writer.getresponse().read()
        time.sleep(max(0.0, started + tick * INTERVAL_MS / 1000 - time.monotonic()))
    time.sleep(3 * INTERVAL_MS / 1000)  # the last ticks' changes arrive
    elapsed = time.monotonic() - started
    cpu = cpu_seconds(process.pid) - cpu_before
    stop.set()
    process.terminate()  # the clients' sockets close, so every client stops reading
    gathered = [results.get(timeout=30) for _ in clients]
    for c in clients:
        c.join(timeout=10)
    process.wait(timeout=20)
    changes = sum(g[0] for g in gathered)
    merged = sum(g[1] for g in gathered)
    delays = sorted(at - sent[t] for g in gathered for t, at in g[2] if t in sent)
    p = lambda q: delays[min(len(delays) - 1, int(q * len(delays)))] * 1000 if delays else float("nan")
    return {
        "clients": clients_count, "changes/s": changes / elapsed, "cpu %": 100 * cpu / elapsed,
        "cpu ms per 100k": 1000 * cpu / changes * 100000 if changes else float("nan"),
        "p50 ms": p(0.50), "p99 ms": p(0.99), "merged": merged,
        "expected/s": clients_count * CHANGING * 1000 / INTERVAL_MS,
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=str(ROOT / "build-release"))
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--clients", type=int, nargs="+", default=[1, 16])
    args = parser.parse_args()
    binary = str(pathlib.Path(args.build) / "host" / "varbank")
    with tempfile.TemporaryDirectory() as folder:
        program = pathlib.Path(folder) / "bench.xml"
        write_program(program)
        rows = [run(binary, program, n, args.seconds) for n in args.clients]
    print("# Subscriptions: %d items at %d ms, %d%% changing per tick (2 cores, %.0f s per run, %s)\n"
          % (ITEMS, INTERVAL_MS, 100 * CHANGING // ITEMS, args.seconds, time.strftime("%Y-%m-%d")))
    print("| WebSocket clients | changes/s delivered (written) | service CPU, % of a core "
          "| CPU per 100,000 changes | delay p50 | delay p99 | merged |")
    print("|---:|---:|---:|---:|---:|---:|---:|")
    for r in rows:
        print("| %d | %.0f (%.0f) | %.0f | %.0f ms | %.1f ms | %.1f ms | %d |" % (
            r["clients"], r["changes/s"], r["expected/s"], r["cpu %"], r["cpu ms per 100k"],
            r["p50 ms"], r["p99 ms"], r["merged"]))


if __name__ == "__main__":
    main()
