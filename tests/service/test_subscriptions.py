"""Subscriptions over HTTP: the WebSocket protocol (answers, first values, changes after a
write, unsubscribe, refusals), server-sent events, the service-wide limit, a slow reader's
merged changes and a clean close when the service stops."""
import json
import socket
import threading
import time
import urllib.request

import pytest
import websocket

from conftest import EXAMPLE, Server, wait_until

DICT = "api/dictionaries/production_line"
TOKEN = "plant-floor-42"
TIMEOUT = 10


@pytest.fixture(scope="module")
def writable():
    served = Server([EXAMPLE], "--writable", "--token", TOKEN)
    yield served
    assert served.stop()[0] == 0


def ws_url(server, dictionary="production_line"):
    return "ws://%s:%d/api/dictionaries/%s/subscribe" % (server.host, server.port, dictionary)


def connect(server, dictionary="production_line", **options):
    return websocket.create_connection(ws_url(server, dictionary), timeout=TIMEOUT, **options)


def put(server, mapping):
    status, payload = server.request("PUT", DICT + "/values", body={"values": mapping},
                                     headers={"Authorization": "Bearer " + TOKEN})
    assert status == 200 and payload["written"], payload


class Client:
    """A WebSocket client that tells answers from batches of changes."""

    def __init__(self, server, dictionary="production_line", **options):
        self.ws = connect(server, dictionary, **options)
        self.batches = []

    def send(self, message):
        self.ws.send(message if isinstance(message, str) else json.dumps(message))
        return self.answer()

    def frame(self):
        return json.loads(self.ws.recv())

    def answer(self):
        """The next frame that is not a batch; batches read meanwhile are kept."""
        while True:
            frame = self.frame()
            if "values" not in frame:
                return frame
            self.batches.append(frame)

    def values_until(self, check, timeout=TIMEOUT):
        """Latest value by name, reading batches until check(latest) holds."""
        latest = {}
        for batch in self.batches:
            latest.update({change["name"]: change for change in batch["values"]})
        deadline = time.monotonic() + timeout
        while not check(latest):
            assert time.monotonic() < deadline, latest
            frame = self.frame()
            assert "values" in frame, frame
            self.batches.append(frame)
            latest.update({change["name"]: change for change in frame["values"]})
        return latest

    def close(self):
        self.ws.close()

    def close_frame(self):
        """(code, reason) of the close frame the service sends, skipping other frames."""
        while True:
            frame = self.ws.recv_frame()
            if frame.opcode == websocket.ABNF.OPCODE_CLOSE:
                return int.from_bytes(frame.data[:2], "big"), frame.data[2:].decode()


def test_first_values_then_only_changes_until_unsubscribed(writable):
    put(writable, {"Motor1.Speed": 0, "Status.3": False})
    client = Client(writable)
    answer = client.send({"subscribe": ["Motor1.Speed", "Status.3", "Nope"], "intervalMs": 20,
                          "id": 7})
    assert answer == {"subscribed": ["Motor1.Speed", "Status.3", "Nope"], "intervalMs": 20,
                      "id": 7}
    first = client.values_until(lambda got: len(got) == 3)
    assert first["Motor1.Speed"]["value"] == 0 and first["Motor1.Speed"]["type"] == "INT"
    assert first["Status.3"]["value"] is False and first["Status.3"]["error"] is None
    assert first["Nope"]["value"] is None and "unknown variable" in first["Nope"]["error"]
    assert first["Motor1.Speed"]["time"].endswith("Z")

    client.batches.clear()
    put(writable, {"Motor1.Speed": 1234})
    got = client.values_until(lambda got: "Motor1.Speed" in got)
    assert got["Motor1.Speed"]["value"] == 1234
    assert all(c["name"] == "Motor1.Speed" for b in client.batches for c in b["values"])

    assert client.send({"unsubscribe": ["Motor1.Speed", "Never"]}) == {
        "unsubscribed": ["Motor1.Speed"]}
    client.batches.clear()
    put(writable, {"Motor1.Speed": 99})
    time.sleep(0.2)
    put(writable, {"Status.3": True})
    got = client.values_until(lambda got: "Status.3" in got)
    assert "Motor1.Speed" not in got and got["Status.3"]["value"] is True
    client.close()


def test_a_structure_arrives_as_its_leaves_and_intervals_are_kept_in_range(writable):
    client = Client(writable)
    answer = client.send({"subscribe": ["Motor2"], "intervalMs": 1})
    assert answer["intervalMs"] == 10 and "note" in answer
    got = client.values_until(lambda got: len(got) >= 5)
    assert {"Motor2.Speed", "Motor2.Running", "Motor2.Label"} <= set(got)
    answer = client.send({"subscribe": ["Motor2"], "intervalMs": 10 ** 12})
    assert answer["intervalMs"] == 3600000 and "note" in answer
    client.close()


def test_a_deadband_holds_back_small_changes(writable):
    put(writable, {"Motor1.Current": 10.0})
    client = Client(writable)
    client.send({"subscribe": ["Motor1.Current"], "intervalMs": 10, "deadband": 5})
    assert client.values_until(lambda got: got)["Motor1.Current"]["value"] == 10.0
    client.batches.clear()
    put(writable, {"Motor1.Current": 12.0})
    time.sleep(0.1)
    put(writable, {"Motor1.Current": 20.0})
    got = client.values_until(lambda got: got)
    assert got["Motor1.Current"]["value"] == 20.0
    assert len(client.batches) == 1
    client.close()


BAD_MESSAGES = [
    ("not json", "{", "JSON"),
    ("an array", "[1]", "JSON object"),
    ("neither", {"id": 1}, "\"subscribe\" or \"unsubscribe\""),
    ("both", {"subscribe": ["A"], "unsubscribe": ["A"]}, "not both"),
    ("names not a list", {"subscribe": "Motor1"}, "list of names"),
    ("a name not a string", {"subscribe": [1]}, "must be a string"),
    ("no names", {"subscribe": []}, "at least one"),
    ("a negative interval", {"subscribe": ["A"], "intervalMs": -5}, "whole number"),
    ("a fractional interval", {"subscribe": ["A"], "intervalMs": 2.5}, "whole number"),
    ("an interval as text", {"subscribe": ["A"], "intervalMs": "100"}, "whole number"),
    ("a negative deadband", {"subscribe": ["A"], "deadband": -1}, "0 or more"),
    ("an unknown member", {"subscribe": ["A"], "interval": 100}, "unknown member"),
    ("options on unsubscribe", {"unsubscribe": ["A"], "deadband": 1}, "unknown member"),
    ("a loose name", {"subscribe": ["Motor1..Speed"]}, "Motor1..Speed"),
    ("a duplicate member", '{"subscribe": ["A"], "subscribe": ["B"]}', "twice"),
    ("an id that is an object", {"subscribe": ["A"], "id": {}}, "\"id\""),
    ("too deep", "[" * 100 + "]" * 100, "deep"),
]


def test_bad_messages_get_an_error_and_keep_the_connection(server):
    client = Client(server)
    for label, message, reason in BAD_MESSAGES:
        answer = client.send(message)
        assert "error" in answer and "subscribed" not in answer, label
        assert reason.lower() in answer["error"].lower(), (label, answer)
    assert client.send({"subscribe": ["Motor1"], "id": "x"})["id"] == "x"
    client.ws.send_binary(b'{"subscribe": ["Motor1"]}')
    assert "binary" in client.answer()["error"]
    assert client.send({"unsubscribe": ["Motor1"]}) == {"unsubscribed": ["Motor1"]}
    client.close()


def test_a_subscription_holds_at_most_ten_thousand_values(tmp_path):
    from generate_program import write_program
    write_program(tmp_path / "big.xml", 5000, "big")
    served = Server([tmp_path / "big.xml"])
    try:
        client = Client(served, "big")
        # Counting 10,000 leaves takes seconds in sanitizer builds on a loaded machine.
        client.ws.settimeout(120)
        names = ["V%05d" % i for i in range(5000)]
        answer = client.send({"subscribe": names, "intervalMs": 3600000})
        assert "at most 10000 values" in answer["error"]
        assert "subscribed" in client.send({"subscribe": names[:100]})
        client.close()
    finally:
        assert served.stop()[0] == 0


def test_a_message_over_the_bound_closes_with_its_code(server):
    client = Client(server)
    message = json.dumps({"subscribe": ["x" * (1024 * 1024)]})
    sender = threading.Thread(target=send_quietly, args=(client.ws, message))
    sender.start()
    assert client.close_frame()[0] == websocket.STATUS_MESSAGE_TOO_BIG
    sender.join(TIMEOUT)
    client.close()
    # The service goes on serving.
    again = Client(server)
    assert "subscribed" in again.send({"subscribe": ["Motor1"]})
    again.close()


def send_quietly(ws, message):
    """Sends; the service may cut the connection before the whole message is out."""
    try:
        ws.send(message)
    except OSError:
        pass


@pytest.mark.parametrize("label,options,dictionary,status", [
    ("an unknown dictionary", {}, "nope", 404),
    ("another origin", {"origin": "http://evil.example"}, "production_line", 403),
    ("a foreign host", {"host": "rebound.example"}, "production_line", 421),
])
def test_refusals_come_before_the_upgrade(server, label, options, dictionary, status):
    with pytest.raises(websocket.WebSocketBadStatusException) as refused:
        websocket.create_connection(ws_url(server, dictionary), timeout=TIMEOUT, **options)
    assert refused.value.status_code == status, label


def test_the_page_origin_is_let_through_and_a_plain_get_is_told_to_upgrade(server):
    origin = "http://%s:%d" % (server.host, server.port)
    client = Client(server, origin=origin)
    assert "subscribed" in client.send({"subscribe": ["Motor1.Speed"]})
    client.close()
    status, payload = server.get(DICT + "/subscribe")
    assert status == 426 and "WebSocket" in payload["error"]


def stream(server, query, timeout=TIMEOUT):
    """The open event-stream response of a query string."""
    url = server.url + DICT + "/values/stream?" + query
    return urllib.request.urlopen(url, timeout=timeout)


def events(response):
    """Yields (event name, decoded data) of an event stream."""
    name, data = "message", []
    for raw in response:
        line = raw.decode("utf-8").rstrip("\n")
        if line.startswith("event: "):
            name = line[len("event: "):]
        elif line.startswith("data: "):
            data.append(line[len("data: "):])
        elif line == "" and data:
            yield name, json.loads("\n".join(data))
            name, data = "message", []


def test_an_event_stream_tells_its_subscription_then_the_changes(writable):
    put(writable, {"Motor2.Speed": 0})
    with stream(writable, "item=Motor2.Speed&item=Counter&intervalMs=20&deadband=0") as response:
        assert response.status == 200
        assert response.headers["Content-Type"].startswith("text/event-stream")
        assert response.headers["Cache-Control"] == "no-cache"
        received = events(response)
        assert next(received) == ("subscribed", {"subscribed": ["Motor2.Speed", "Counter"],
                                                 "intervalMs": 20})
        name, first = next(received)
        assert name == "message" and first["merged"] == 0
        assert {c["name"]: c["value"] for c in first["values"]} == {"Motor2.Speed": 0,
                                                                   "Counter": 0}
        put(writable, {"Motor2.Speed": 321})
        _, change = next(received)
        assert [(c["name"], c["value"]) for c in change["values"]] == [("Motor2.Speed", 321)]


@pytest.mark.parametrize("query,status,reason", [
    ("item=A&intervalMs=abc", 400, "intervalMs"),
    ("item=A&intervalMs=-1", 400, "intervalMs"),
    ("item=A&deadband=-1", 400, "deadband"),
    ("item=A&deadband=x", 400, "deadband"),
    ("item=A&interval=5", 400, "unknown parameter"),
    ("item=A&intervalMs=5&intervalMs=6", 400, "more than once"),
    ("", 400, "at least one"),
    ("item=Motor1..Speed", 400, "Motor1..Speed"),
])
def test_event_stream_refusals_are_json_before_the_stream(server, query, status, reason):
    got, payload = server.request("GET", DICT + "/values/stream?" + query)
    assert got == status and reason in payload["error"], payload


def test_an_event_stream_of_an_unknown_dictionary_is_404(server):
    status, payload = server.get("api/dictionaries/nope/values/stream", item="A")
    assert status == 404 and "nope" in payload["error"]


def test_the_service_holds_at_most_its_subscriptions():
    served = Server([EXAMPLE], "--max-subscriptions", "2")
    try:
        first, second = Client(served), Client(served)
        with pytest.raises(websocket.WebSocketBadStatusException) as refused:
            connect(served)
        assert refused.value.status_code == 503
        status, payload = served.get(DICT + "/values/stream", item="Motor1")
        assert status == 503 and "--max-subscriptions" in payload["error"]
        first.close()

        def admitted():
            try:
                Client(served).close()
                return True
            except websocket.WebSocketBadStatusException:
                return False
        wait_until(admitted)
        second.close()
    finally:
        assert served.stop()[0] == 0


def test_a_slow_reader_gets_merged_changes_and_the_newest_values(generated):
    served = Server([generated], "--writable", "--token", TOKEN)
    try:
        # Arrays of ten INTs: V00004, V00009, ... (every sixth variable is a word instead).
        arrays = ["V%05d" % i for i in range(4, 2500, 5) if i % 6 != 5][:200]
        leaves = ["%s[%d]" % (name, k) for name in arrays for k in range(10)]
        client = Client(served, "plant", sockopt=[(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)])
        assert client.send({"subscribe": arrays, "intervalMs": 10})["intervalMs"] == 10
        client.values_until(lambda got: len(got) == len(leaves))
        client.batches.clear()
        # The client reads nothing while every leaf changes many times over.
        # Far more than the socket buffers hold (a batch of every leaf is some 200 KB, the
        # kernel keeps up to 4 MB unsent): at least 60 rounds however slow the build, then
        # more while time allows, bounded.
        rounds, start = 0, time.monotonic()
        while rounds < 200 and time.monotonic() - start < 120 and (
                rounds < 60 or time.monotonic() - start < 20):
            rounds += 1
            value = rounds
            status, _ = served.request(
                "PUT", "api/dictionaries/plant/values",
                body={"values": {leaf: value for leaf in leaves}},
                headers={"Authorization": "Bearer " + TOKEN})
            assert status == 200
            time.sleep(0.015)
        got = client.values_until(
            lambda got: all(got.get(leaf, {}).get("value") == rounds for leaf in leaves),
            timeout=30)
        assert len(got) == len(leaves)
        assert sum(batch["merged"] for batch in client.batches) > 0
        client.close()
    finally:
        assert served.stop()[0] == 0


def test_a_stop_closes_the_streams_and_the_service_exits():
    served = Server([EXAMPLE])
    client = Client(served)
    client.send({"subscribe": ["Motor1.Speed"], "intervalMs": 10})
    sse = stream(served, "item=Motor1.Speed")
    status, log = served.stop(timeout=15)
    assert status == 0, log
    assert client.close_frame() == (websocket.STATUS_GOING_AWAY, "the service is stopping")
    assert sse.read()  # the first events, then the end of the stream
    sse.close()


def test_a_client_that_reads_nothing_does_not_hold_up_a_stop(generated):
    served = Server([generated], "--writable", "--token", TOKEN)
    arrays = ["V%05d" % i for i in range(4, 2500, 5) if i % 6 != 5][:200]
    leaves = ["%s[%d]" % (name, k) for name in arrays for k in range(10)]
    client = Client(served, "plant", sockopt=[(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)])
    assert client.send({"subscribe": arrays, "intervalMs": 10})["intervalMs"] == 10
    # The client reads nothing more: a frame waits half-written when the stop comes.
    for value in range(1, 60):
        served.request("PUT", "api/dictionaries/plant/values",
                       body={"values": {leaf: value for leaf in leaves}},
                       headers={"Authorization": "Bearer " + TOKEN})
        time.sleep(0.015)
    started = time.monotonic()
    status, log = served.stop(timeout=15)
    assert status == 0, log
    assert time.monotonic() - started < 10
