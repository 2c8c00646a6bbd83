"""The service's API against a running `varbank serve`: each endpoint, paging, errors."""
import concurrent.futures
import http.client
import json
import os
import socket
import subprocess
import urllib.parse

import pytest

from conftest import Server

DICT = "api/dictionaries/production_line"


def cli_json(*args):
    binary = os.environ.get("VARBANK_BIN", "build/host/varbank")
    run = subprocess.run([binary, "--json", *map(str, args)], capture_output=True, text=True,
                         check=False, timeout=60)
    return json.loads(run.stdout)


def test_listing_names_each_program_with_its_stamp(server, generated):
    status, listing = server.get("api/dictionaries")
    assert status == 200
    assert [entry["name"] for entry in listing] == ["plant", "production_line"]
    plant = listing[0]
    assert plant["variables"] == 2500 and plant["error"] is None
    # The name as served, not the server's path (which tells a client about the server's disk).
    assert [entry["file"] for entry in listing] == ["plant.xml", "production_line.xml"]
    status, stamp = server.get("api/dictionaries/plant/stamp")
    assert status == 200 and stamp == {"stamp": plant["stamp"]}


# What the README shows of the example: its counts and the fields of a few names.
EXAMPLE_INFO = {"dictionary": "production_line", "project": "Bottling line", "variables": 11,
                "structures": 3, "functionBlocks": 2, "arrays": 5, "members": 23, "words": 16,
                "bits": 6, "inputBytes": 2, "outputBytes": 10,
                "stamp": "8538EED7:A58733BA:641FCA1B:E948C89F:B"}
EXAMPLE_NAMES = {
    "Motor1.Speed": {"address": "", "block": 3, "offset": 2, "size": 2, "bit": None,
                     "typeName": "INT", "kind": "EDT", "typeCode": "0x0A590148",
                     "comment": "speed setpoint (rpm)"},
    "Line.Recipes[2][3]": {"block": 3, "offset": 120, "size": 4, "bit": None, "typeName": "REAL",
                           "typeCode": "0x05510148"},
    "Status.3": {"address": "%MW10.3", "block": 1, "offset": 20, "size": 2, "bit": 3,
                 "typeName": "WORD", "typeCode": "0x02290148", "comment": "line status word"},
    "StartButton": {"address": "%M5", "block": 2, "offset": 5, "size": 1, "bit": None,
                    "typeName": "BOOL"},
    "InletSensor": {"address": "%IX0.1", "block": 4, "offset": 0, "size": 2, "bit": 1,
                    "typeName": "BOOL", "comment": "bottle at the inlet"},
    "Line.Filler": {"block": 3, "offset": 84, "size": 16, "typeName": "FILLSTATION",
                    "kind": "Unknown", "typeCode": "0x00000208", "comment": "filling station"},
    "Nope": {"resolved": False, "reason": "unknown variable"},
    "Motor1.Nope": {"resolved": False,
                    "reason": "no such member or element, or an index out of bounds"},
    "Speeds[10]": {"resolved": False,
                   "reason": "no such member or element, or an index out of bounds"},
}


def test_info_is_what_the_info_command_shows(server, generated):
    status, info = server.get(DICT)
    expected = cli_json("info", generated / "production_line.xml")
    expected["file"] = "production_line.xml"  # the served name, not the server's path
    assert status == 200
    assert {key: info[key] for key in expected} == expected
    assert {key: info[key] for key in EXAMPLE_INFO} == EXAMPLE_INFO
    assert info["name"] == "production_line" and info["error"] is None


def test_resolve_by_get_and_post_matches_the_resolve_command(server, generated):
    names = [*EXAMPLE_NAMES, "Speeds[4]", "Conveyors[2].Belt.Label"]
    expected = cli_json("resolve", generated / "production_line.xml", *names)
    status, by_get = server.get(DICT + "/resolve", item=names)
    assert status == 200 and by_get == expected
    status, by_post = server.post(DICT + "/resolve", {"items": names})
    assert status == 200 and by_post == expected
    for result in by_post["results"][:len(EXAMPLE_NAMES)]:
        pinned = EXAMPLE_NAMES[result["name"]]
        assert {key: result[key] for key in pinned} == pinned
        assert result["resolved"] == pinned.get("resolved", True)


def test_resolve_gives_declared_types_when_asked(server):
    # The dictionary's type name of a bit is its word's, of an enumeration its base type; the
    # type the program writes is given for leaves only, and only when asked.
    declared = {"Status.3": "BOOL", "Motor1.Speed": "INT", "Motor1.Label": "STRING[12]",
                "Line.Mode": "MotorState", "Motor1": None, "Speeds": None, "Nope": "-"}
    names = list(declared)
    status, answer = server.get(DICT + "/resolve", item=names, declaredTypes="1")
    assert status == 200
    assert {r["name"]: r.get("declaredType", "-") for r in answer["results"]} == declared
    status, plain = server.get(DICT + "/resolve", item=names)
    assert status == 200 and all("declaredType" not in r for r in plain["results"])


def walk(server, dictionary, page_size, **query):
    """Every child of a browse, page by page; the pages' sizes."""
    children, sizes, continuation = [], [], None
    while True:
        params = dict(query, pageSize=page_size)
        if continuation is not None:
            params["continuation"] = continuation
        status, page = server.get(f"api/dictionaries/{dictionary}/browse", **params)
        assert status == 200, page
        children += page["children"]
        sizes.append(len(page["children"]))
        continuation = page["continuation"]
        if continuation is None:
            return children, sizes
        assert len(sizes) < 10000, "the continuation never ends"


def plant(*kinds):
    """The generated program's root variables of the given kinds: every sixth (5, 11, ...) a
    located INT, the others INT, REAL, BOOL, Motor and an array by their index modulo 5."""
    kind_of = ["leaf", "leaf", "leaf", "branch", "branch"]
    return [f"V{i:05d}" for i in range(2500) if (i % 6 == 5 and "leaf" in kinds)
            or (i % 6 != 5 and kind_of[i % 5] in kinds)]


ROOT_LEAVES = ["InletSensor", "ValveCommand", "Status", "Counter", "StartButton", "AlarmLamp",
               "LineName"]
ROOT_BRANCHES = ["Motor1", "Motor2", "Speeds", "Line"]
EXAMPLE_ROOT = ["InletSensor", "ValveCommand", "Motor1", "Motor2", "Status", "Counter",
                "StartButton", "AlarmLamp", "LineName", "Speeds", "Line"]


@pytest.mark.parametrize("dictionary,query,names", [
    ("plant", {}, plant("leaf", "branch")),
    ("plant", {"kind": "branches"}, plant("branch")),
    ("plant", {"kind": "branchesOnly"}, plant("branch")),
    ("plant", {"kind": "leaves", "pattern": "V01*"},
     [name for name in plant("leaf") if name.startswith("V01")]),
    ("plant", {"type": "I2"}, None),
    ("plant", {"path": "V00004"}, [f"V00004[{i}]" for i in range(10)]),
    ("production_line", {}, EXAMPLE_ROOT),
    ("production_line", {"kind": "all"}, EXAMPLE_ROOT),
    ("production_line", {"kind": "leaves"}, ROOT_LEAVES),
    ("production_line", {"kind": "branches"}, ROOT_BRANCHES),
    ("production_line", {"kind": "branchesOnly"}, ROOT_BRANCHES),
    ("production_line", {"path": "Line", "kind": "leaves"},
     ["Line.ActiveRecipe", "Line.Mode"]),
    ("production_line", {"path": "Line", "kind": "branchesOnly"},
     ["Line.Filler", "Line.Recipes", "Line.Conveyors"]),
    ("production_line", {"path": "Line.Conveyors[2]"},
     ["Line.Conveyors[2].Belt", "Line.Conveyors[2].Length", "Line.Conveyors[2].Load"]),
    ("production_line", {"path": "Line.Conveyors[2]", "kind": "branches"},
     ["Line.Conveyors[2].Belt"]),
    ("production_line", {"path": "Line.Filler"},
     [f"Line.Filler.{m}" for m in ("Enable", "Volume", "Done", "Bottles", "Level", "Steps")]),
    ("production_line", {"path": "Line.Conveyors"}, [f"Line.Conveyors[{i}]" for i in (1, 2, 3)]),
])
def test_paged_walk_equals_the_unpaged_listing(server, dictionary, query, names):
    whole, _ = walk(server, dictionary, 10000, **query)
    assert whole, "an empty listing proves nothing"
    if names is not None:
        assert [child["path"] for child in whole] == names
    for page_size in (1, 7, 100):
        paged, sizes = walk(server, dictionary, page_size, **query)
        assert paged == whole
        assert all(size == page_size for size in sizes[:-1])


def test_browse_columns_add_address_comment_and_type(server):
    status, page = server.get(DICT + "/browse", columns="ACT", pageSize=100)
    assert status == 200
    rows = {child["name"]: child for child in page["children"]}
    assert rows["Status"]["address"] == "%MW10"
    assert rows["Status"]["comment"] == "line status word"
    assert rows["Status"]["type"] == "WORD" and rows["Motor1"]["type"] == "Motor"
    status, typed = server.get(DICT + "/browse", columns="T", path="Motor1")
    assert {c["name"]: c["type"] for c in typed["children"]}["Speed"] == "INT"
    assert "address" not in typed["children"][0]
    status, plain = server.get(DICT + "/browse", pageSize=100)
    assert "address" not in plain["children"][0]


def test_stamp_comparison(server):
    stamp = server.get(DICT + "/stamp")[1]["stamp"]
    words = stamp.split(":")
    partial = ":".join([words[0], "1", *words[2:]])
    other = ":".join(["1", *words[1:]])
    for text, result in [(stamp, "OK"), (stamp.lower(), "OK"), (partial, "PARTIAL"),
                         (other, "MISMATCH")]:
        assert server.post(DICT + "/stamp/compare", {"stamp": text}) == (200, {"result": result})


def test_dump_is_the_quick_save_text_and_leaves_no_file(generated, tmp_path):
    temporary = tmp_path / "tmp"
    temporary.mkdir()
    os.environ["TMPDIR"] = str(temporary)
    try:
        served = Server([generated / "production_line.xml"])
    finally:
        del os.environ["TMPDIR"]
    try:
        status, text = served.get(DICT + "/dump")
    finally:
        assert served.stop()[0] == 0
    assert status == 200
    lines = text.splitlines()
    assert lines[0].startswith("QUICK SAVE DICO V1.0 production_line")
    assert lines[-1].startswith("QUICK SAVE DICO V1.0 END OF FILE")
    assert "Motor1" in text
    assert list(temporary.iterdir()) == []


def raw_post(server, path, body, content_type="application/json"):
    host, port = urllib.parse.urlsplit(server.url).netloc.split(":")
    connection = http.client.HTTPConnection(host, int(port), timeout=30)
    connection.request("POST", "/" + path, body=body, headers={"Content-Type": content_type})
    response = connection.getresponse()
    payload = json.loads(response.read())
    connection.close()
    return response.status, payload


@pytest.mark.parametrize("method,path,params,body,status", [
    ("GET", "api/dictionaries/nosuch", None, None, 404),
    ("GET", "api/dictionaries/..%2Fproduction_line", None, None, 404),
    # An encoded slash stays inside its segment: this names a dictionary, not its stamp.
    ("GET", "api/dictionaries/production_line%2Fstamp", None, None, 404),
    ("GET", "api%2Fdictionaries", None, None, 404),
    ("GET", "api/dictionaries/production_line/nosuch", None, None, 404),
    ("GET", "api/nosuch", None, None, 404),
    ("GET", DICT + "/browse", {"path": "Motor1.Speed"}, None, 404),
    ("GET", DICT + "/browse", {"path": "Nope"}, None, 404),
    ("GET", DICT + "/browse", {"pageSize": "0"}, None, 400),
    ("GET", DICT + "/browse", {"pageSize": "10001"}, None, 400),
    ("GET", DICT + "/browse", {"pageSize": "ten"}, None, 400),
    ("GET", DICT + "/browse", {"kind": "some"}, None, 400),
    ("GET", DICT + "/browse", {"columns": "AX"}, None, 400),
    ("GET", DICT + "/browse", {"type": "NOTATYPE"}, None, 400),
    ("POST", DICT + "/resolve", None, b"{not json", 400),
    ("POST", DICT + "/resolve", None, {"items": "Motor1"}, 400),
    ("POST", DICT + "/resolve", None, {"items": [1, 2]}, 400),
    ("POST", DICT + "/resolve", None, {"items": ["x"] * 10001}, 400),
    ("POST", DICT + "/stamp/compare", None, {"stamp": "12:34"}, 400),
    ("POST", DICT + "/stamp/compare", None, [], 400),
    ("DELETE", DICT + "/resolve", None, None, 405),
    ("POST", DICT + "/browse", None, {}, 405),
    ("GET", DICT + "/stamp/compare", None, None, 405),
    ("PUT", "api/dictionaries", None, {}, 405),
])
def test_client_errors_are_json_with_their_status(server, method, path, params, body, status):
    got, payload = server.request(method, path, params, body)
    assert got == status
    assert isinstance(payload, dict) and payload["error"]


def padded(size):
    """A resolve body of one name, padded with blanks to size bytes."""
    body = json.dumps({"items": ["Motor1.Speed"]})
    return body + " " * (size - len(body))


@pytest.mark.parametrize("body,content_type,status,results", [
    (json.dumps({"items": ["Motor1.Speed"] * 10000}), "application/json", 200, 10000),
    # A JSON body labelled as a form is still read as JSON.
    (json.dumps({"items": ["Motor1.Speed"] * 10000}), "application/x-www-form-urlencoded", 200,
     10000),
    (padded(1024 * 1024), "application/json", 200, 1),
    (padded(1024 * 1024 + 1), "application/json", 413, None),
], ids=["10000 items", "as a form", "1 MiB", "1 MiB + 1"])
def test_body_limits(server, body, content_type, status, results):
    got, payload = raw_post(server, DICT + "/resolve", body, content_type)
    assert got == status
    if results is None:
        assert payload["error"]
    else:
        assert len(payload["results"]) == results


@pytest.mark.parametrize("request_text", [
    b"NOT A REQUEST\r\n\r\n",
    b"GET /healthz HTTP/1.1 extra\r\n\r\n",
    b"GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nA header without a colon\r\n\r\n",
    b"GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nBad Name: x\r\n\r\n",
    b"POST /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: ten\r\n\r\n",
    b"GET /%zz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
])
def test_malformed_requests_get_400(server, request_text):
    host, port = urllib.parse.urlsplit(server.url).netloc.split(":")
    with socket.create_connection((host, int(port)), timeout=10) as connection:
        connection.sendall(request_text)
        answer = b""
        while not answer.endswith(b"}") and len(answer) < 65536:
            part = connection.recv(4096)
            if not part:
                break
            answer += part
    assert answer.startswith(b"HTTP/1.1 400 "), answer[:200]
    assert json.loads(answer.split(b"\r\n\r\n", 1)[1])["error"]


def test_parallel_clients_each_get_their_own_answers(server):
    names = ["Motor1.Speed", "Nope", "Speeds[11]", "Status.3", "Motor1.Nope"]
    expected = server.post(DICT + "/resolve", {"items": names})[1]

    def client(_):
        return [server.post(DICT + "/resolve", {"items": names})[1] for _ in range(40)]

    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        for answers in pool.map(client, range(8)):
            assert all(answer == expected for answer in answers)


def test_page_is_served(server):
    status, html = server.get("")
    assert status == 200 and "<html" in html.lower()
    assert server.get("healthz") == (200, {"dictionaries": 2, "serving": 2, "status": "ok"})
