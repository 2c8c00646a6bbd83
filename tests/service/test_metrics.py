"""GET /metrics in the Prometheus text format, read back with a small parser: every family has
its HELP and TYPE, names follow the conventions, counters grow with the requests, histograms
are cumulative; and a PLC's health shows in the listing and in the PLC series, connected while
a Modbus stand-in answers and failing, with the reason, once it drops every request."""
import re
import threading
import urllib.request

import pytest

from conftest import ModbusStandIn, Server

SAMPLE = re.compile(r'^([a-zA-Z_:][a-zA-Z0-9_:]*)(?:\{(.*)\})? (\S+)$')
LABEL = re.compile(r'([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\]|\\.)*)"(?:,|$)')
TYPES = {"counter", "gauge", "histogram"}


def parse(text):
    """{family: {"help", "type", "samples": [(name, labels, value)]}}; fails on a malformed line."""
    families = {}
    current = None
    for line in text.splitlines():
        if line.startswith("# HELP "):
            current, _, help_text = line[7:].partition(" ")
            assert current not in families, "family given twice: " + current
            families[current] = {"help": help_text, "type": None, "samples": []}
        elif line.startswith("# TYPE "):
            name, _, kind = line[7:].partition(" ")
            assert name == current and kind in TYPES, line
            families[name]["type"] = kind
        else:
            match = SAMPLE.match(line)
            assert match, "malformed sample: " + line
            name, labels, number = match.groups()
            assert name == current or re.sub(r"_(bucket|sum|count)$", "", name) == current, \
                "sample outside its family: " + line
            families[current]["samples"].append((name, dict(LABEL.findall(labels or "")),
                                                 float(number)))
    return families


def value(families, name, **labels):
    """The sum of a family's samples named `name` whose labels include `labels`."""
    family = re.sub(r"_(bucket|sum|count)$", "", name) if name not in families else name
    return sum(v for sample, have, v in families[family]["samples"]
               if sample == name and all(have.get(k) == w for k, w in labels.items()))


def metrics(server):
    with urllib.request.urlopen(server.url + "metrics", timeout=10) as response:
        assert response.status == 200
        assert response.headers["Content-Type"].startswith("text/plain; version=0.0.4")
        return parse(response.read().decode("utf-8"))


def check_conventions(families):
    for name, family in families.items():
        assert re.fullmatch(r"varbank_[a-z_]+", name), name
        assert family["help"] and family["type"], name
        assert name.endswith("_total") == (family["type"] == "counter"), name
        if family["type"] == "histogram":
            assert name.endswith("_seconds"), name
            check_histogram(family)


def check_histogram(family):
    """Buckets cumulative, ending with +Inf equal to _count, per label set."""
    series = {}
    for sample, labels, count in family["samples"]:
        key = tuple(sorted((k, v) for k, v in labels.items() if k != "le"))
        series.setdefault(key, {"buckets": [], "count": None})
        if sample.endswith("_bucket"):
            series[key]["buckets"].append((float(labels["le"]), count))
        elif sample.endswith("_count"):
            series[key]["count"] = count
    for key, one in series.items():
        bounds = [bound for bound, _ in one["buckets"]]
        counts = [count for _, count in one["buckets"]]
        assert bounds == sorted(bounds) and bounds[-1] == float("inf"), key
        assert counts == sorted(counts), key
        assert counts[-1] == one["count"], key


@pytest.fixture()
def plc():
    """The Modbus stand-in (Debian's pymodbus), for a minute at most."""
    stand_in = ModbusStandIn(60)
    yield stand_in.port
    stand_in.stop()


def test_metrics_follow_the_conventions_and_grow(two_programs):
    server = Server([two_programs])
    try:
        before = metrics(server)
        check_conventions(before)
        for family in ("varbank_http_requests_total", "varbank_http_request_duration_seconds",
                       "varbank_http_open_connections", "varbank_open_subscriptions",
                       "varbank_plc_requests_total", "varbank_plc_errors_total",
                       "varbank_plc_request_duration_seconds", "varbank_plc_state",
                       "varbank_dictionary_reloads_total",
                       "varbank_dictionary_reload_failures_total"):
            assert family in before, family
        for _ in range(3):
            assert server.get("api/dictionaries")[0] == 200
        assert server.get("api/dictionaries/nope")[0] == 404
        assert server.get("api/nothing")[0] == 404
        after = metrics(server)
        check_conventions(after)
        listing = dict(route="/api/dictionaries", method="GET", status="200")
        assert (value(after, "varbank_http_requests_total", **listing)
                - value(before, "varbank_http_requests_total", **listing)) == 3
        assert value(after, "varbank_http_requests_total", route="/api/dictionaries/{name}",
                     status="404") == 1
        assert value(after, "varbank_http_requests_total", route="other", status="404") == 1
        # The first /metrics was answered, and counted, before the second was made.
        assert value(after, "varbank_http_requests_total", route="/metrics", status="200") >= 1
        assert value(after, "varbank_http_request_duration_seconds_count",
                     route="/api/dictionaries", method="GET") >= 3
        assert value(after, "varbank_http_open_connections") >= 1
        for name in ("line_a", "line_b"):
            assert value(after, "varbank_dictionary_reloads_total", dictionary=name) == 1
            assert value(after, "varbank_dictionary_reload_failures_total", dictionary=name) == 0
        # On the memory image there is no PLC.
        assert after["varbank_plc_state"]["samples"] == []
        assert all(entry["plc"] is None for entry in server.get("api/dictionaries")[1])
        assert server.get("api/dictionaries/line_a")[1]["plc"] is None
    finally:
        server.stop()


def read_values(server, name="line_a"):
    return server.get(f"api/dictionaries/{name}/values", item=["Status", "Counter"])


def test_an_answering_plc_is_connected(plc, two_programs):
    server = Server([two_programs], "--modbus", f"127.0.0.1:{plc}")
    try:
        listed = server.get("api/dictionaries")[1]
        assert [entry["plc"]["state"] for entry in listed] == ["idle", "idle"]
        status, payload = read_values(server)
        assert status == 200 and all(v["error"] is None for v in payload["values"]), payload
        entry = server.get("api/dictionaries")[1][0]["plc"]
        assert entry["state"] == "connected"
        assert entry["endpoint"] == f"127.0.0.1:{plc}/1" and entry["name"] == entry["endpoint"]
        assert entry["requests"] >= 1 and entry["errors"] == 0
        assert entry["lastError"] is None and entry["lastErrorTime"] is None
        assert entry["lastSuccessTime"].endswith("Z")
        assert entry["p50Ms"] is not None and entry["p99Ms"] >= entry["p50Ms"]
        info = server.get("api/dictionaries/line_b")[1]["plc"]
        assert info["state"] == "connected" and info["requests"] == entry["requests"]
        found = metrics(server)
        check_conventions(found)
        labels = dict(plc=entry["name"], endpoint=entry["endpoint"])
        assert value(found, "varbank_plc_state", state="connected", **labels) == 1
        assert value(found, "varbank_plc_state", state="failing", **labels) == 0
        assert value(found, "varbank_plc_requests_total", **labels) == entry["requests"]
        assert value(found, "varbank_plc_request_duration_seconds_count", **labels) >= 1
        assert value(found, "varbank_dictionary_plc", dictionary="line_b", **labels) == 1
    finally:
        server.stop()


def test_a_failing_plc_shows_why_and_is_logged_once(dropping_plc, two_programs):
    server = Server([two_programs], "--modbus", f"127.0.0.1:{dropping_plc}", watch_ms=50)
    try:
        for _ in range(4):
            status, payload = read_values(server)
            assert status == 200 and payload["values"][0]["error"], payload
        entry = server.get("api/dictionaries")[1][0]["plc"]
        assert entry["state"] == "failing"
        assert entry["errors"] >= 4 and entry["lastError"]
        assert entry["lastErrorTime"].endswith("Z") and entry["lastSuccessTime"] is None
        found = metrics(server)
        labels = dict(endpoint=entry["endpoint"])
        assert value(found, "varbank_plc_state", state="failing", **labels) == 1
        assert value(found, "varbank_plc_errors_total", **labels) >= 4
        # The watcher looks every 50 ms: give it a few looks before stopping.
        threading.Event().wait(0.3)
    finally:
        _, log = server.stop()
    changes = [line for line in log.splitlines() if line.startswith("PLC ")]
    assert len(changes) == 1 and ": failing: " in changes[0], log
