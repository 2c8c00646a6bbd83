#!/usr/bin/python3
"""Publishing to MQTT under load: a program of N located words served with `varbank serve
--config` (a generated plant file: [mqtt] on Debian's mosquitto on 127.0.0.1, the program
publishing "all" every 100 ms) at QoS 0 and then 1; a writer changing a share of the words
every tick through PUT .../values; one subscriber on the program's topics, Debian's
mosquitto_sub, which stamps each message as it arrives. Prints, per QoS, messages per second
through the broker to the subscriber, the service's CPU (utime + stime over the run: sampling,
publishing and the writer's HTTP requests together) and the delay from a write to the
subscriber (p50, p99). --broker-settings adds lines to the broker's configuration, such as
`max_inflight_messages 1000` (its QoS 1 window towards the subscriber; 20 by default)."""
import argparse
import json
import os
import pathlib
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import urllib.request

ROOT = pathlib.Path(__file__).resolve().parents[1]
TOKEN = "bench-token"


def program(path, count):
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             '<project xmlns="http://www.plcopen.org/xml/tc6_0201">',
             '<fileHeader companyName="Varbank" productName="mqtt bench" productVersion="1" '
             'creationDateTime="2024-01-15T08:00:00"/>',
             '<contentHeader name="bench" modificationDateTime="2024-01-15T08:00:00"/>',
             '<types><dataTypes/><pous/></types><instances><configurations>',
             '<configuration name="Config"><globalVars>']
    for i in range(count):
        lines.append('<variable name="W%05d" address="%%MW%d"><type><INT/></type></variable>'
                     % (i, i))
    lines.append('</globalVars></configuration></configurations></instances></project>')
    path.write_text("\n".join(lines))


def plant(path, port, qos, interval_ms):
    path.write_text(f'[service]\nwrite_token = "{TOKEN}"\n'
                    f'[mqtt]\nhost = "127.0.0.1"\nport = {port}\nqos = {qos}\n'
                    '[program.bench]\nfile = "bench.xml"\nwritable = true\n'
                    f'publish = ["all"]\npublish_interval_ms = {interval_ms}\n')


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def cpu_seconds(pid):
    fields = pathlib.Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Subscriber:
    """mosquitto_sub on the program's topics: each line its arrival time, topic and payload,
    kept as text while the run lasts and decoded after."""

    def __init__(self, port, qos):
        self.lines = []
        self.process = subprocess.Popen(
            [shutil.which("mosquitto_sub") or "/usr/bin/mosquitto_sub", "-h", "127.0.0.1", "-p",
             str(port), "-q", str(qos), "-t", "varbank/bench/+", "-F", "%U %t %p"],
            stdout=subprocess.PIPE, text=True, bufsize=1 << 16)
        self.thread = threading.Thread(target=self.read, daemon=True)
        self.thread.start()

    def read(self):
        for line in self.process.stdout:
            self.lines.append(line)

    def mark(self):
        return len(self.lines)

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.thread.join(timeout=10)


def run(args, qos):
    folder = pathlib.Path(tempfile.mkdtemp(prefix="mqtt-bench-"))
    program(folder / "bench.xml", args.items)
    port = free_port()
    plant(folder / "plant.toml", port, qos, args.interval_ms)
    (folder / "mosquitto.conf").write_text(
        "listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n"
        "max_queued_messages 1000000\n%s" % (port, args.broker_settings))
    broker = subprocess.Popen([shutil.which("mosquitto") or "/usr/sbin/mosquitto", "-c",
                               str(folder / "mosquitto.conf")], stderr=subprocess.DEVNULL)
    time.sleep(0.5)
    serve = subprocess.Popen([args.binary, "serve", "--config", str(folder / "plant.toml"),
                              "--port", "0"], cwd=folder,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    url = serve.stdout.readline().split(" at ")[1].strip() + "api/dictionaries/bench/values"
    subscriber = Subscriber(port, qos)
    time.sleep(3)  # the first values, retained

    per_tick = max(1, int(args.items * args.share))
    ticks = int(args.seconds * 1000 / args.tick_ms)
    written = {}  # (item, value) -> wall time of the write
    start_line = subscriber.mark()
    cpu_start, wall_start, epoch_start = cpu_seconds(serve.pid), time.monotonic(), time.time()
    offset = 0
    behind = 0
    for tick in range(ticks):
        due = wall_start + tick * args.tick_ms / 1000
        wait = due - time.monotonic()
        if wait > 0:
            time.sleep(wait)
        else:
            behind += 1
        names = ["W%05d" % ((offset + i) % args.items) for i in range(per_tick)]
        offset += per_tick
        value = tick % 30000 + 1
        now = time.time()
        for name in names:
            written[(name, value)] = now
        body = json.dumps({"values": {name: value for name in names}}).encode()
        request = urllib.request.Request(url, data=body, method="PUT", headers={
            "Authorization": "Bearer " + TOKEN, "Content-Type": "application/json"})
        urllib.request.urlopen(request, timeout=30).read()
    time.sleep(2)  # the last interval's values
    wall = time.monotonic() - wall_start
    cpu = cpu_seconds(serve.pid) - cpu_start
    end_line = subscriber.mark()
    serve.send_signal(signal.SIGTERM)
    serve.wait(timeout=20)
    subscriber.close()
    broker.terminate()
    broker.wait(timeout=10)
    shutil.rmtree(folder)

    delays = []
    last = epoch_start
    for line in subscriber.lines[start_line:end_line]:
        arrived, topic, payload = line.rstrip("\n").split(" ", 2)
        last = max(last, float(arrived))
        if not payload:
            continue
        sent = written.pop((topic.rsplit("/", 1)[1], json.loads(payload)["value"]), None)
        if sent is not None:
            delays.append(float(arrived) - sent)
    delays.sort()
    pick = lambda q: delays[min(len(delays) - 1, int(q * len(delays)))] * 1000 if delays else 0
    received = end_line - start_line
    print("QoS %d: %d items, %d changed every %d ms for %.0f s, sampled every %d ms%s"
          % (qos, args.items, per_tick, args.tick_ms, args.seconds, args.interval_ms,
             " (the writer fell behind %d ticks)" % behind if behind else ""))
    print("  messages to the subscriber: %d (%.0f/s from the first write to the last arrival)"
          % (received, received / (last - epoch_start)))
    print("  service CPU: %.2f cores (%.1f s over %.1f s)" % (cpu / wall, cpu, wall))
    print("  write to subscriber: p50 %.0f ms, p99 %.0f ms (%d of %d writes matched)"
          % (pick(0.5), pick(0.99), len(delays), len(delays) + len(written)))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--items", type=int, default=10000)
    parser.add_argument("--share", type=float, default=0.1, help="items changed per tick")
    parser.add_argument("--tick-ms", type=int, default=100)
    parser.add_argument("--interval-ms", type=int, default=100, help="publish_interval_ms")
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--broker-settings", default="", help="more lines of mosquitto.conf")
    parser.add_argument("--qos", type=int, choices=(0, 1), action="append",
                        help="0, 1 or both (the default)")
    parser.add_argument("--binary", default=str(ROOT / "build-release" / "host" / "varbank"))
    args = parser.parse_args()
    for qos in args.qos or (0, 1):
        run(args, qos)


if __name__ == "__main__":
    main()
