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
import threading
import time

import websocket  # Debian's python3-websocket

ROOT = pathlib.Path(__file__).resolve().parents[1]
TOKEN = "bench-token"
ITEMS = 10000
INTERVAL_MS = 100
CHANGING = ITEMS // 10


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


class Client(threading.Thread):
    """One WebSocket subscriber of every item; counts changes and the delay of written ones."""

    def __init__(self, port, names, sent, stop):
        super().__init__(daemon=True)
        self.socket = websocket.create_connection(
            "ws://127.0.0.1:%d/api/dictionaries/bench/subscribe" % port, timeout=30)
        self.socket.send(json.dumps({"subscribe": names, "intervalMs": INTERVAL_MS}))
        self.sent, self.stop = sent, stop
        self.changes = self.merged = 0
        self.delays = []
        self.counting = False
        self.initial = 0

    def run(self):
        while not self.stop.is_set():
            try:
                message = json.loads(self.socket.recv())
            except (websocket.WebSocketTimeoutException, websocket.WebSocketConnectionClosedException):
                break
            received = time.monotonic()
            values = message.get("values")
            if values is None:
                continue
            if not self.counting:
                self.initial += len(values)
                continue
            self.changes += len(values)
            self.merged += message.get("merged", 0)
            for change in values:
                written = self.sent.get(change["value"])
                if written is not None:
                    self.delays.append(received - written)


def run(binary, program, clients_count, seconds):
    process, port = start_server(binary, program)
    names = ["V%d" % i for i in range(ITEMS)]
    sent, stop = {}, threading.Event()
    clients = [Client(port, names, sent, stop) for _ in range(clients_count)]
    for client in clients:
        client.start()
    deadline = time.monotonic() + 30
    while any(c.initial < ITEMS for c in clients) and time.monotonic() < deadline:
        time.sleep(0.05)
    for client in clients:
        client.counting = True
    writer = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    headers = {"Authorization": "Bearer " + TOKEN, "Content-Type": "application/json"}
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
    time.sleep(2 * INTERVAL_MS / 1000)  # the last ticks' changes arrive
    elapsed = time.monotonic() - started
    cpu = cpu_seconds(process.pid) - cpu_before
    stop.set()
    changes = sum(c.changes for c in clients)
    merged = sum(c.merged for c in clients)
    delays = sorted(d for c in clients for d in c.delays)
    process.terminate()
    process.wait(timeout=20)
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
