"""Publishing to an MQTT broker (`varbank serve --mqtt`): Debian's mosquitto on 127.0.0.1 and a
free port with its own configuration, a subscriber through Debian's paho-mqtt. Values by
exception and retained, the state topic and last will, writes through set topics and their
results, and a broker restarted under the service."""
import json
import os
import pathlib
import shutil
import signal
import socket
import subprocess
import threading
import time

import pytest

from conftest import EXAMPLE, ModbusStandIn, Server, wait_until

mqtt = pytest.importorskip("paho.mqtt.client")
MOSQUITTO = shutil.which("mosquitto") or "/usr/sbin/mosquitto"
pytestmark = pytest.mark.skipif(not pathlib.Path(MOSQUITTO).exists(),
                                reason="Debian's mosquitto is not installed")

DICT = "production_line"
BASE = "varbank/" + DICT + "/"
TOKEN = "plant-floor-42"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Broker:
    """One mosquitto on 127.0.0.1, stopped with SIGTERM; restartable on the same port."""

    def __init__(self, folder, settings=""):
        self.port = free_port()
        self.config = folder / "mosquitto.conf"
        self.config.write_text("listener %d 127.0.0.1\nallow_anonymous true\n"
                               "persistence false\n%s" % (self.port, settings))
        self.process = None
        self.start()

    def start(self):
        self.process = subprocess.Popen([MOSQUITTO, "-c", str(self.config)],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("mosquitto did not start")

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(timeout=10)


class Subscriber:
    """Every message under a topic filter, with its retain flag, in arrival order."""

    def __init__(self, broker, topic="varbank/#"):
        self.messages = []
        self.lock = threading.Lock()
        self.client = mqtt.Client()
        self.client.on_message = self.on_message
        self.client.on_connect = lambda client, *_: client.subscribe(topic, qos=1)
        self.client.reconnect_delay_set(0.2, 1)
        self.client.connect("127.0.0.1", broker.port)
        self.client.loop_start()

    def on_message(self, _client, _userdata, message):
        with self.lock:
            self.messages.append((message.topic, message.payload.decode(), message.retain))

    def on(self, topic):
        """The payloads of one topic so far, decoded; an empty one (a cleared value) left out."""
        with self.lock:
            return [json.loads(payload) for got, payload, _ in self.messages
                    if got == topic and payload]

    def raw(self, topic):
        with self.lock:
            return [payload for got, payload, _ in self.messages if got == topic]

    def retained(self, topic):
        with self.lock:
            return [retain for got, _, retain in self.messages if got == topic]

    def wait_for(self, topic, check=lambda payload: True, timeout=20):
        wait_until(lambda: any(check(payload) for payload in self.on(topic)), timeout)
        return [payload for payload in self.on(topic) if check(payload)][-1]

    def publish(self, topic, payload):
        self.client.publish(topic, payload, qos=1).wait_for_publish()

    def close(self):
        self.client.loop_stop()
        self.client.disconnect()


@pytest.fixture(scope="module")
def broker(tmp_path_factory):
    started = Broker(tmp_path_factory.mktemp("mosquitto"))
    yield started
    started.stop()


@pytest.fixture
def subscriber(broker):
    client = Subscriber(broker)
    yield client
    client.close()


def serve(broker, *options):
    return Server([EXAMPLE], "--mqtt", "127.0.0.1:%d" % broker.port, *options)


def put(server, mapping):
    status, _ = server.request("PUT", "api/dictionaries/" + DICT + "/values",
                               body={"values": mapping},
                               headers={"Authorization": "Bearer " + TOKEN})
    assert status == 200


def read(server, name):
    status, payload = server.get("api/dictionaries/" + DICT + "/values", item=[name])
    assert status == 200
    return payload["values"][0]["value"]


def test_located_values_are_published_on_change_and_retained(broker, subscriber):
    server = serve(broker, "--writable", "--token", TOKEN)
    try:
        state = subscriber.wait_for(BASE + "$state", lambda p: p["state"] == "online")
        assert state["stamp"] and state["time"].endswith("Z")
        first = subscriber.wait_for(BASE + "Counter")
        assert first["type"] == "DINT" and first["error"] is None and "time" in first
        subscriber.wait_for(BASE + "Status")
        assert subscriber.on(BASE + "Motor1/Speed") == []  # not located: not published
        put(server, {"Counter": 1234})
        assert subscriber.wait_for(BASE + "Counter", lambda p: p["value"] == 1234)["type"] == "DINT"
        time.sleep(2.5)  # two sampling intervals: an unchanged value is not sent again
        assert len(subscriber.on(BASE + "Status")) == 1
        assert [p["value"] for p in subscriber.on(BASE + "Counter")][-1] == 1234

        # The publisher's state, in the listing and the metrics.
        wait_until(lambda: (server.get("api/dictionaries")[1][0]["mqtt"] or {}).get("published", 0)
                   >= 3)
        assert server.get("api/dictionaries")[1][0]["mqtt"]["connected"] is True
        metrics = server.get("metrics")[1]
        assert 'varbank_mqtt_connected{dictionary="production_line"} 1' in metrics, metrics
        assert "# TYPE varbank_mqtt_published_total counter" in metrics

        late = Subscriber(broker)
        try:
            assert late.wait_for(BASE + "Counter")["value"] == 1234
            assert late.retained(BASE + "Counter") == [True]
            assert late.wait_for(BASE + "$state")["state"] == "online"
        finally:
            late.close()
    finally:
        assert server.stop()[0] == 0
    # A service that stops says so.
    subscriber.wait_for(BASE + "$state", lambda p: p["state"] == "offline")


@pytest.mark.parametrize("topic, payload, reason", [
    ("Counter", "abc", "abc"),
    ("Speeds/01", "5", "position"),
    ("Motor1//Speed", "5", "not an item's topic"),
    ("Motor1.Speed", "5", "not an item's topic"),
    ("NoSuchThing", "5", "NoSuchThing"),
])
def test_a_refused_write_publishes_its_reason_and_writes_nothing(broker, subscriber, topic,
                                                                 payload, reason):
    server = serve(broker, "--writable", "--token", TOKEN)
    try:
        subscriber.wait_for(BASE + "$state", lambda p: p["state"] == "online")
        before = read(server, "Counter")
        subscriber.publish(BASE + topic + "/set", payload)
        result = subscriber.wait_for(BASE + topic + "/set/result")
        assert result["written"] is False and reason in result["error"], result
        assert read(server, "Counter") == before
    finally:
        assert server.stop()[0] == 0


def test_a_write_through_set_lands_and_its_result_is_published(broker, subscriber):
    server = serve(broker, "--writable", "--token", TOKEN)
    try:
        subscriber.wait_for(BASE + "$state", lambda p: p["state"] == "online")
        subscriber.publish(BASE + "Motor1/Speed/set", "42")
        result = subscriber.wait_for(BASE + "Motor1/Speed/set/result")
        assert result["written"] is True and result["error"] is None, result
        assert read(server, "Motor1.Speed") == 42
        subscriber.publish(BASE + "Counter/set", "16#FF")  # a literal as the program writes it
        assert subscriber.wait_for(BASE + "Counter", lambda p: p["value"] == 255)
        assert subscriber.on(BASE + "Counter/set/result")[-1]["written"] is True
    finally:
        assert server.stop()[0] == 0


def test_a_read_only_service_refuses_writes_from_the_broker(broker, subscriber):
    server = serve(broker)
    try:
        subscriber.wait_for(BASE + "$state", lambda p: p["state"] == "online")
        before = read(server, "Counter")
        subscriber.publish(BASE + "Counter/set", "7")
        result = subscriber.wait_for(BASE + "Counter/set/result")
        assert result["written"] is False and "read-only" in result["error"], result
        assert read(server, "Counter") == before
    finally:
        assert server.stop()[0] == 0


def test_the_last_will_tells_of_a_killed_service(broker, subscriber):
    server = serve(broker)
    subscriber.wait_for(BASE + "$state", lambda p: p["state"] == "online")
    server.process.send_signal(signal.SIGKILL)
    server.process.wait(timeout=10)
    assert subscriber.wait_for(BASE + "$state", lambda p: p["state"] == "offline") == {
        "state": "offline"}


def test_values_resume_after_the_broker_restarts(broker, subscriber):
    server = serve(broker, "--writable", "--token", TOKEN)
    try:
        subscriber.wait_for(BASE + "Counter")
        broker.stop()
        put(server, {"Counter": 4321})  # changed while the broker is away: kept
        time.sleep(1.5)
        broker.start()
        # The service reconnects (back-off from 1 s) and sends each item's last value.
        assert subscriber.wait_for(BASE + "Counter", lambda p: p["value"] == 4321, timeout=40)
        put(server, {"Counter": 4322})
        subscriber.wait_for(BASE + "Counter", lambda p: p["value"] == 4322)
        values = [p["value"] for p in subscriber.on(BASE + "Counter")]
        assert values.index(4321) < values.index(4322)
        status, listing = server.get("api/dictionaries")
        assert status == 200
    finally:
        assert server.stop()[0] == 0


def test_a_broker_that_starts_after_the_service_is_reached(tmp_path):
    late = Broker(tmp_path)
    late.stop()
    server = serve(late)
    try:
        time.sleep(1.5)  # the first connect fails; it is tried again with back-off
        late.start()
        subscriber = Subscriber(late)
        try:
            subscriber.wait_for(BASE + "$state", lambda p: p["state"] == "online", timeout=40)
            subscriber.wait_for(BASE + "Counter")
        finally:
            subscriber.close()
    finally:
        assert server.stop()[0] == 0
        late.stop()


def test_a_reload_publishes_the_state_again_and_clears_items_gone(broker, subscriber, tmp_path):
    program = tmp_path / "production_line.xml"
    shutil.copy(EXAMPLE, program)
    server = Server([program], "--mqtt", "127.0.0.1:%d" % broker.port)
    try:
        first = subscriber.wait_for(BASE + "$state", lambda p: p["state"] == "online")
        subscriber.wait_for(BASE + "Counter")
        subscriber.wait_for(BASE + "Status")
        time.sleep(0.5)
        sent = len(subscriber.on(BASE + "Status"))
        text = program.read_text()
        start = text.index('<variable name="Counter"')
        end = text.index("</variable>", start) + len("</variable>")
        program.write_text(text[:start] + text[end:])  # no longer located: no longer published
        subscriber.wait_for(BASE + "$state",
                            lambda p: p.get("stamp") not in (None, first["stamp"]))
        wait_until(lambda: subscriber.raw(BASE + "Counter")[-1] == "")
        time.sleep(1.5)
        assert len(subscriber.on(BASE + "Status")) == sent  # the others are not sent again
    finally:
        assert server.stop()[0] == 0


def test_three_services_of_a_plant_publish_into_one_broker(broker, subscriber, tmp_path):
    """The way to grow past one server: each cell's service, with its own program on its own
    PLC and its [mqtt] in the plant file, publishes into one broker; one consumer sees all."""
    stand_ins = [ModbusStandIn(120) for _ in range(3)]
    services = []
    try:
        for cell, stand_in in enumerate(stand_ins):
            shutil.copy(EXAMPLE, tmp_path / f"cell{cell}.xml")
            config = tmp_path / f"cell{cell}.toml"
            config.write_text(f"""
[service]
write_token = "{TOKEN}"
[mqtt]
host = "127.0.0.1"
port = {broker.port}
qos = 0
[plc.cell]
modbus = "127.0.0.1:{stand_in.port}/1"
timeout_ms = 500
[program.cell{cell}]
file = "cell{cell}.xml"
plc = "cell"
writable = true
publish = ["Status", "Counter"]
publish_interval_ms = 100
publish_deadband = 5
""")
            services.append(Server([], "--config", config))
        for cell, served in enumerate(services):
            base = f"varbank/cell{cell}/"
            subscriber.wait_for(base + "$state", lambda payload: payload["state"] == "online")
            subscriber.wait_for(base + "Counter", lambda payload: payload["value"] == 0)
            for counter in (3, 10 + cell):  # within the deadband, then past it
                status, _ = served.request(
                    "PUT", f"api/dictionaries/cell{cell}/values",
                    body={"values": {"Counter": counter}},
                    headers={"Authorization": "Bearer " + TOKEN})
                assert status == 200
                time.sleep(0.3)
            subscriber.wait_for(base + "Counter", lambda payload, c=cell: payload["value"] == 10 + c)
            assert [p["value"] for p in subscriber.on(base + "Counter")] == [0, 10 + cell]
    finally:
        for served in services:
            served.stop()
        for stand_in in stand_ins:
            stand_in.stop()


def plant_text(broker, programs, prefix="varbank"):
    """A plant file: [mqtt] on the broker, each program on the memory image, writable, with its
    publish list."""
    text = (f'[service]\nwrite_token = "{TOKEN}"\n'
            f'[mqtt]\nhost = "127.0.0.1"\nport = {broker.port}\ntopic_prefix = "{prefix}"\n')
    for name, publish in programs.items():
        text += (f'[program.{name}]\nfile = "{name}.xml"\nwritable = true\n'
                 f'publish = {json.dumps(publish)}\npublish_interval_ms = 100\n')
    return text


def put_to(server, dictionary, mapping):
    status, _ = server.request("PUT", "api/dictionaries/" + dictionary + "/values",
                               body={"values": mapping},
                               headers={"Authorization": "Bearer " + TOKEN})
    assert status == 200


def test_the_publisher_follows_the_plant_file(broker, subscriber, tmp_path):
    """Programs added, changed and removed in the plant file while the service runs: published,
    published anew, and told offline; a changed [mqtt] waits for the next start."""
    for name in ("cell_a", "cell_b"):
        shutil.copy(EXAMPLE, tmp_path / f"{name}.xml")
    config = tmp_path / "plant.toml"
    config.write_text(plant_text(broker, {"cell_a": ["Counter"]}))
    server = Server([], "--config", config)
    try:
        subscriber.wait_for("varbank/cell_a/$state", lambda p: p["state"] == "online")
        subscriber.wait_for("varbank/cell_a/Counter")

        # Added: its state and values arrive.
        config.write_text(plant_text(broker, {"cell_a": ["Counter"],
                                              "cell_b": ["Counter", "Status"]}))
        subscriber.wait_for("varbank/cell_b/$state", lambda p: p["state"] == "online")
        subscriber.wait_for("varbank/cell_b/Status")
        put_to(server, "cell_b", {"Counter": 77})
        subscriber.wait_for("varbank/cell_b/Counter", lambda p: p["value"] == 77)

        # Changed publish list: the new item is published, the dropped one cleared and no more.
        config.write_text(plant_text(broker, {"cell_a": ["Status"],
                                              "cell_b": ["Counter", "Status"]}))
        subscriber.wait_for("varbank/cell_a/Status")
        wait_until(lambda: subscriber.raw("varbank/cell_a/Counter")[-1] == "")
        sent = len(subscriber.raw("varbank/cell_a/Counter"))
        put_to(server, "cell_a", {"Counter": 91})
        time.sleep(0.6)  # several sampling intervals
        assert len(subscriber.raw("varbank/cell_a/Counter")) == sent

        # Removed: its state goes offline; the other goes on.
        config.write_text(plant_text(broker, {"cell_a": ["Status"]}))
        assert subscriber.wait_for("varbank/cell_b/$state",
                                   lambda p: p["state"] == "offline") == {"state": "offline"}
        put_to(server, "cell_a", {"Status": 5})
        subscriber.wait_for("varbank/cell_a/Status", lambda p: p["value"] == 5)

        # Another prefix waits for a restart: said once, nothing half applied.
        for _ in range(2):
            config.write_text(plant_text(broker, {"cell_a": ["Status"]}, prefix="other"))
            time.sleep(0.5)
        put_to(server, "cell_a", {"Status": 6})
        subscriber.wait_for("varbank/cell_a/Status", lambda p: p["value"] == 6)
        assert all(not topic.startswith("other/") for topic, _, _ in subscriber.messages)
    finally:
        status, log = server.stop()
    assert status == 0, log
    assert log.count("applies at the next start") == 1, log


def located_words(path, count):
    """A program of `count` located INT words W00000... at %MW0..."""
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             '<project xmlns="http://www.plcopen.org/xml/tc6_0201">',
             '<fileHeader companyName="Varbank" productName="mqtt test" productVersion="1" '
             'creationDateTime="2024-01-15T08:00:00"/>',
             '<contentHeader name="words" modificationDateTime="2024-01-15T08:00:00"/>',
             '<types><dataTypes/><pous/></types><instances><configurations>',
             '<configuration name="Config"><globalVars>']
    lines += ['<variable name="W%05d" address="%%MW%d"><type><INT/></type></variable>' % (i, i)
              for i in range(count)]
    lines.append('</globalVars></configuration></configurations></instances></project>')
    path.write_text("\n".join(lines))


def sanitized(pid):
    """Whether the process runs under a sanitizer, whose allocator keeps freed memory aside
    (AddressSanitizer's quarantine alone holds up to 256 MB), so its RSS says nothing of ours."""
    maps = pathlib.Path(f"/proc/{pid}/maps").read_text()
    return ("libasan" in maps or "libtsan" in maps or "ASAN_OPTIONS" in os.environ
            or "TSAN_OPTIONS" in os.environ)


def rss_kib(pid):
    for line in pathlib.Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def test_a_stalled_broker_bounds_the_queue_and_values_resume_in_order(tmp_path):
    """The broker stopped (SIGSTOP) under 10,000 changes a second at QoS 1: the messages in
    flight stay bounded, only each item's last value is kept, the service answers; once it
    runs again, every item's last value arrives and no item's values go out of order."""
    items = 1000
    # The subscriber may lag behind the backlog: the broker keeps all of it for the subscriber
    # (by default it drops past 1,000 queued messages).
    stalled = Broker(tmp_path, "max_queued_messages 100000\n")
    located_words(tmp_path / "words.xml", items)
    config = tmp_path / "plant.toml"
    config.write_text(f'[service]\nwrite_token = "{TOKEN}"\n'
                      f'[mqtt]\nhost = "127.0.0.1"\nport = {stalled.port}\n'
                      '[program.words]\nfile = "words.xml"\nwritable = true\n'
                      'publish = ["all"]\npublish_interval_ms = 100\n')
    server = Server([], "--config", config)
    watched = ["varbank/words/W%05d" % i for i in range(0, items, 100)]
    subscriber = Subscriber(stalled, "varbank/words/+")  # every item; the check reads a few

    def status():
        listing = server.get("api/dictionaries")[1]
        return listing[0]["mqtt"]

    def write(value):
        put_to(server, "words", {"W%05d" % i: value for i in range(items)})

    try:
        subscriber.wait_for(watched[-1])
        before = rss_kib(server.process.pid)
        stalled.process.send_signal(signal.SIGSTOP)
        try:
            for tick in range(1, 41):  # 4 s of every item changing each 100 ms
                write(tick)
                time.sleep(0.1)
            held = status()
            started = time.monotonic()
            assert server.get("healthz")[0] == 200
            assert time.monotonic() - started < 2
        finally:
            stalled.process.send_signal(signal.SIGCONT)
        assert held["dropped"] > 0, held
        assert held["queued"] <= 10000 + items, held
        if not sanitized(server.process.pid):
            assert rss_kib(server.process.pid) - before < 64 * 1024
        write(1000)
        for topic in watched:
            subscriber.wait_for(topic, lambda p: p["value"] == 1000, timeout=60)
        for topic in watched:
            values = [p["value"] for p in subscriber.on(topic)]
            assert values == sorted(values), (topic, values)
        late = Subscriber(stalled, "varbank/words/+")
        try:
            def words():
                with late.lock:
                    return {t: json.loads(p) for t, p, _ in late.messages if "/W" in t}
            wait_until(lambda: len(words()) == items, 30)
            assert all(p["value"] == 1000 for p in words().values())
        finally:
            late.close()
    finally:
        subscriber.close()
        status_code, log = server.stop()
        stalled.stop()
    assert status_code == 0, log
    assert "the broker is behind" in log and "caught up" in log, log
