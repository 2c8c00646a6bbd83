"""`varbank serve --config`: a plant's programs on their own PLCs (two Modbus stand-ins with
different register maps and word orders), each PLC with its own connection, so that one going
silent slows nothing of the other; and the configuration followed while clients read."""
import concurrent.futures
import http.client
import shutil
import threading
import time

import pytest

from conftest import EXAMPLE, ModbusStandIn, Server, wait_until

TOKEN = "plant-token"


@pytest.fixture()
def plcs():
    stand_ins = [ModbusStandIn(120), ModbusStandIn(120)]
    yield stand_ins
    for stand_in in stand_ins:
        stand_in.stop()


def plant_text(press, oven):
    """Two PLCs of two families, two programs on each."""
    return f"""
[service]
write_token = "{TOKEN}"

[plc.press]
modbus = "127.0.0.1:{press}/1"
map = "open-runtime"
word_order = "high-first"
timeout_ms = 500

[plc.oven]
modbus = "127.0.0.1:{oven}/1"
map = "flat"
word_order = "low-first"
timeout_ms = 500
max_registers = 60

[program.press_a]
file = "line.xml"
dictionary = "press_a"
plc = "press"
writable = true

[program.press_b]
file = "line.xml"
dictionary = "press_b"
plc = "press"

[program.oven_a]
file = "line.xml"
dictionary = "oven_a"
plc = "oven"
writable = true

[program.oven_b]
file = "line.xml"
dictionary = "oven_b"
plc = "oven"

[program.image]
file = "line.xml"
dictionary = "image"
memory = "image"
"""


@pytest.fixture()
def plant(tmp_path, plcs):
    shutil.copy(EXAMPLE, tmp_path / "line.xml")
    config = tmp_path / "plant.toml"
    press, oven = (stand_in.port for stand_in in plcs)
    config.write_text(plant_text(press, oven))
    served = Server([], "--config", config)
    yield served, config, plcs
    status, log = served.stop()
    assert status == 0, log


def put(server, dictionary, values):
    return server.request("PUT", f"api/dictionaries/{dictionary}/values",
                          body={"values": values},
                          headers={"Authorization": "Bearer " + TOKEN})


def value(server, dictionary, name):
    status, payload = server.get(f"api/dictionaries/{dictionary}/values", item=name)
    assert status == 200, payload
    return payload["values"][0]


def test_values_land_where_each_plcs_map_says(plant):
    served, _, (press, oven) = plant
    names = sorted(entry["name"] for entry in served.get("api/dictionaries")[1])
    assert names == ["image", "oven_a", "oven_b", "press_a", "press_b"]
    for dictionary in ("press_a", "oven_a"):
        status, payload = put(served, dictionary, {"Status": 0x1234, "Counter": 0x00050006})
        assert status == 200 and all(v["error"] is None for v in payload["values"]), payload
    # open-runtime: %MW10 is holding register 1024 + 10, %MD6 registers 2048 + 12, high first.
    assert press.holding_registers(1034, 1) == [0x1234]
    assert press.holding_registers(2060, 2) == [0x0005, 0x0006]
    # flat: %MW10 is register 10, %MD6 registers 12 and 13, low word first.
    assert oven.holding_registers(10, 1) == [0x1234]
    assert oven.holding_registers(12, 2) == [0x0006, 0x0005]
    # The other program on each PLC reads the same registers through its own dictionary.
    assert value(served, "press_b", "Counter")["value"] == 0x00050006
    assert value(served, "oven_b", "Status")["value"] == 0x1234
    # Writes follow each program's own policy.
    assert put(served, "press_b", {"Status": 1})[0] == 403
    assert served.request("PUT", "api/dictionaries/oven_a/values",
                          body={"values": {"Status": 1}})[0] == 401


def test_a_silent_plc_slows_nothing_of_the_other(plant):
    served, _, (press, oven) = plant
    assert value(served, "oven_a", "Status")["error"] is None
    press.silence()
    try:
        def timed(dictionary):
            start = time.monotonic()
            entry = value(served, dictionary, "Status")
            return entry, time.monotonic() - start

        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            silent = pool.submit(timed, "press_a")
            answering = [pool.submit(timed, "oven_a") for _ in range(20)]
            answered = [future.result(timeout=30) for future in answering]
            failed, waited = silent.result(timeout=30)
        assert failed["error"], failed
        assert waited >= 0.4  # the press's own timeout
        assert all(entry["error"] is None for entry, _ in answered)
        # Each answer of the oven is far below the press's timeout, while the press is silent.
        assert max(seconds for _, seconds in answered) < 0.4, answered
    finally:
        press.silence(False)
    wait_until(lambda: value(served, "press_a", "Status")["error"] is None, timeout=45)


def test_configuration_edits_apply_while_clients_read(plant):
    served, config, (press, oven) = plant
    stop = threading.Event()
    failures = []
    reads = [0]

    def reader():
        while not stop.is_set():
            status, payload = served.get("api/dictionaries/image/values", item="Status")
            reads[0] += 1
            if status != 200 or payload["values"][0]["error"] is not None:
                failures.append((status, payload))

    threads = [threading.Thread(target=reader) for _ in range(3)]
    for thread in threads:
        thread.start()
    try:
        text = config.read_text()
        # Added: a program; changed: oven_b moves to the press; removed: press_b.
        edited = (text.replace('[program.press_b]\nfile = "line.xml"\ndictionary = "press_b"\n'
                               'plc = "press"\n', "")
                  .replace('dictionary = "oven_b"\nplc = "oven"', 'dictionary = "oven_b"\n'
                           'plc = "press"')
                  + '\n[program.added]\nfile = "line.xml"\ndictionary = "added"\n')
        config.write_text(edited)
        wait_until(lambda: sorted(e["name"] for e in served.get("api/dictionaries")[1])
                   == ["added", "image", "oven_a", "oven_b", "press_a"])
        wait_until(lambda: served.get("api/dictionaries/added")[0] == 200)
        put(served, "press_a", {"Status": 4321})
        wait_until(lambda: value(served, "oven_b", "Status")["value"] == 4321)
        # An invalid file leaves the running configuration in service, and says why.
        config.write_text(edited + '\n[program.broken]\nfile = "line.xml"\nplc = "nowhere"\n')
        wait_until(lambda: served.get("api/dictionaries")[1][0]["configError"] is not None)
        error = served.get("api/dictionaries")[1][0]["configError"]
        assert "plant.toml:" in error and "nowhere" in error, error
        assert served.get("api/dictionaries/added")[0] == 200
        config.write_text(edited)
        wait_until(lambda: served.get("api/dictionaries")[1][0]["configError"] is None)
    finally:
        stop.set()
        for thread in threads:
            thread.join(timeout=30)
    assert reads[0] > 0 and not failures, failures[:3]


def test_read_token_guards_every_api_request(tmp_path):
    shutil.copy(EXAMPLE, tmp_path / "line.xml")
    config = tmp_path / "plant.toml"
    config.write_text('[service]\nread_token = "r"\nwrite_token = "w"\n'
                      '[program.line]\nfile = "line.xml"\nwritable = true\n')
    served = Server([], "--config", config)
    try:
        bearer = lambda token: {"Authorization": "Bearer " + token}
        cases = [
            ("GET", "api/dictionaries", {}, 401),
            ("GET", "api/dictionaries", bearer("r"), 200),
            ("GET", "api/dictionaries/line/values?item=Status", bearer("x"), 401),
            ("GET", "api/dictionaries/line/values?item=Status", bearer("r"), 200),
            ("GET", "api/dictionaries/line/values?item=Status", bearer("w"), 200),
            ("GET", "healthz", {}, 200),
            ("GET", "", {}, 200),
        ]
        for method, endpoint, headers, expected in cases:
            status, _ = served.request(method, endpoint, headers=headers)
            assert status == expected, (method, endpoint, headers)
        # A browser's event stream or WebSocket cannot send a header: the token in its query.
        for query, expected in [("", 401), ("&access_token=x", 401), ("&access_token=r", 200)]:
            connection = http.client.HTTPConnection(served.host, served.port, timeout=10)
            connection.request("GET", "/api/dictionaries/line/values/stream?item=Status" + query)
            assert connection.getresponse().status == expected, query
            connection.close()
    finally:
        assert served.stop()[0] == 0


@pytest.mark.parametrize("text, reason", [
    ('[program.a]\nfile = "line.xml"\nplc = "missing"\n', "plant.toml:3:"),
    ('[plc.p]\nmodbus = "127.0.0.1:99999"\n', "plant.toml:2:"),
    ('[plc.p]\nmodbus = "127.0.0.1"\nmap = "sideways"\n', "plant.toml:3:"),
    ('[program.a]\nfile = "line.xml"\n[program.b]\nfile = "line.xml"\n', "plant.toml:3:"),
    ('[program.a]\nfile = "gone.xml"\n', "plant.toml:2:"),
])
def test_serve_refuses_an_invalid_configuration(tmp_path, text, reason):
    shutil.copy(EXAMPLE, tmp_path / "line.xml")
    config = tmp_path / "plant.toml"
    config.write_text(text)
    with pytest.raises(RuntimeError) as refused:
        Server([], "--config", config)
    assert reason in str(refused.value), refused.value
