#!/usr/bin/python3
"""Publishing to MQTT under load: a program of N located words served with `varbank serve
--mqtt` into Debian's mosquitto on 127.0.0.1, a writer changing a share of the words every tick
through PUT .../values, one subscriber on varbank/#. Prints messages per second through the
broker to the subscriber, the service's CPU (sampling, publishing and the writer's HTTP
requests together) and the delay from a write to the subscriber (p50, p99).

--mqtt samples every second at QoS 1: the delay includes up to one interval, and the changes of
ten 100 ms ticks arrive together. QoS 0 and a 100 ms interval need the plant file's [mqtt]
(publish_interval_ms, qos) once `serve` reads it."""
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

import paho.mqtt.client as mqtt

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


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def cpu_seconds(pid):
    fields = pathlib.Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--items", type=int, default=10000)
    parser.add_argument("--share", type=float, default=0.1, help="items changed per tick")
    parser.add_argument("--tick-ms", type=int, default=100)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--binary", default=str(ROOT / "build" / "host" / "varbank"))
    args = parser.parse_args()

    folder = pathlib.Path(tempfile.mkdtemp(prefix="mqtt-bench-"))
    program(folder / "bench.xml", args.items)
    port = free_port()
    (folder / "mosquitto.conf").write_text(
        "listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n"
        "max_queued_messages 100000\n" % port)
    broker = subprocess.Popen([shutil.which("mosquitto") or "/usr/sbin/mosquitto", "-c",
                               str(folder / "mosquitto.conf")], stderr=subprocess.DEVNULL)
    time.sleep(0.5)
    serve = subprocess.Popen([args.binary, "serve", str(folder / "bench.xml"), "--port", "0",
                              "--mqtt", "127.0.0.1:%d" % port, "--writable", "--token", TOKEN],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    url = serve.stdout.readline().split(" at ")[1].strip() + "api/dictionaries/bench/values"

    written = {}  # (item, value) -> when it was written
    delays = []
    received = [0]
    lock = threading.Lock()

    def on_message(_client, _userdata, message):
        arrived = time.monotonic()
        if not message.payload or message.topic.endswith("$state"):
            return
        item = message.topic.rsplit("/", 1)[1]
        value = json.loads(message.payload)["value"]
        with lock:
            received[0] += 1
            sent = written.pop((item, value), None)
            if sent is not None:
                delays.append(arrived - sent)

    subscriber = mqtt.Client()
    subscriber.on_message = on_message
    subscriber.on_connect = lambda client, *_: client.subscribe("varbank/bench/#", qos=1)
    subscriber.connect("127.0.0.1", port)
    subscriber.loop_start()
    time.sleep(3)  # the first values, retained

    per_tick = max(1, int(args.items * args.share))
    ticks = int(args.seconds * 1000 / args.tick_ms)
    with lock:
        received[0] = 0
    cpu_start, wall_start = cpu_seconds(serve.pid), time.monotonic()
    offset = 0
    for tick in range(ticks):
        due = wall_start + tick * args.tick_ms / 1000
        time.sleep(max(0.0, due - time.monotonic()))
        names = ["W%05d" % ((offset + i) % args.items) for i in range(per_tick)]
        offset += per_tick
        value = tick % 30000 + 1
        now = time.monotonic()
        with lock:
            for name in names:
                written[(name, value)] = now
        body = json.dumps({"values": {name: value for name in names}}).encode()
        request = urllib.request.Request(url, data=body, method="PUT", headers={
            "Authorization": "Bearer " + TOKEN, "Content-Type": "application/json"})
        urllib.request.urlopen(request, timeout=30).read()
    time.sleep(2)  # the last interval's values
    wall = time.monotonic() - wall_start
    cpu = cpu_seconds(serve.pid) - cpu_start
    serve.send_signal(signal.SIGTERM)
    serve.wait(timeout=20)
    subscriber.loop_stop()
    broker.terminate()
    broker.wait(timeout=10)
    shutil.rmtree(folder)

    delays.sort()
    pick = lambda q: delays[min(len(delays) - 1, int(q * len(delays)))] * 1000 if delays else 0
    print("items %d, %d changed every %d ms for %.0f s (QoS 1, --mqtt: sampled every second)"
          % (args.items, per_tick, args.tick_ms, args.seconds))
    print("messages to the subscriber: %d (%.0f/s)" % (received[0], received[0] / wall))
    print("service CPU: %.2f cores" % (cpu / wall))
    print("write to subscriber: p50 %.0f ms, p99 %.0f ms (%d matched)"
          % (pick(0.5), pick(0.99), len(delays)))


if __name__ == "__main__":
    main()
