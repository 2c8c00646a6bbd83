"""Values through the service: the memory image's initial values, writes with their checks,
the write switch and its token."""
import concurrent.futures

import pytest

from conftest import EXAMPLE, Server

DICT = "api/dictionaries/production_line"
TOKEN = "plant-floor-42"


@pytest.fixture(scope="module")
def writable():
    served = Server([EXAMPLE], "--writable", "--token", TOKEN)
    yield served
    assert served.stop()[0] == 0


def values(server, *names):
    status, payload = server.get(DICT + "/values", item=list(names))
    assert status == 200
    return {entry["name"]: entry for entry in payload["values"]}


def put(server, mapping, token=TOKEN):
    headers = {"Authorization": "Bearer " + token} if token is not None else {}
    return server.request("PUT", DICT + "/values", body={"values": mapping}, headers=headers)


def test_reads_give_the_initial_values_of_the_image(server):
    got = values(server, "LineName", "Line.ActiveRecipe", "Motor1.Speed", "Motor1", "Nope")
    assert got["LineName"]["value"] == "Bottling line 1"
    assert got["LineName"]["type"] == "STRING[20]"
    assert got["Line.ActiveRecipe"]["value"] == 1
    assert got["Motor1"]["value"]["Speed"] == 0 and "Label" in got["Motor1"]["value"]
    assert got["Nope"]["value"] is None and "unknown variable" in got["Nope"]["error"]
    by_post = server.post(DICT + "/values", {"items": ["LineName", "Nope"]})[1]["values"]
    assert by_post == [got["LineName"], got["Nope"]]


def test_writes_are_off_unless_the_service_is_writable(server):
    status, payload = put(server, {"Motor1.Speed": 5})
    assert status == 403 and "--writable" in payload["error"]
    assert values(server, "Motor1.Speed")["Motor1.Speed"]["value"] == 0


@pytest.mark.parametrize("token", [None, "", "plant-floor-4", "plant-floor-421", "x" * 15])
def test_a_write_needs_the_token(writable, token):
    status, _ = put(writable, {"Motor2.Speed": 7}, token)
    assert status == 401
    assert values(writable, "Motor2.Speed")["Motor2.Speed"]["value"] == 0


def test_a_request_is_written_whole_or_not_at_all(writable):
    refused = {"Line.ActiveRecipe": 40000, "Motor1.Current": "abc", "LineName": "x" * 21,
               "Motor1": 1, "Nope": 1}
    status, payload = put(writable, {"Motor1.Speed": 1500, **refused, "Status.3": True})
    assert status == 200 and payload["written"] is False
    errors = {entry["name"]: entry["error"] for entry in payload["values"]}
    assert errors["Line.ActiveRecipe"] == \
        "Line.ActiveRecipe: 40000 is out of range for INT (-32768..32767)"
    assert errors["Motor1.Current"] == "Motor1.Current: 'abc' is not a REAL"
    assert errors["LineName"].startswith("LineName: '" + "x" * 21 + "' is longer than STRING[20]")
    assert "written member by member" in errors["Motor1"]
    assert errors["Nope"] == "Nope: unknown variable"
    for passed in ("Motor1.Speed", "Status.3"):
        assert errors[passed] == passed + ": not written: another item of the request was refused"
    got = values(writable, "Motor1.Speed", "Line.ActiveRecipe", "Motor1.Current", "LineName",
                 "Status.3")
    assert got["Motor1.Speed"]["value"] == 0
    assert got["Line.ActiveRecipe"]["value"] == 1
    assert got["Motor1.Current"]["value"] == 0
    assert got["LineName"]["value"] == "Bottling line 1"
    assert got["Status.3"]["value"] is False

    status, payload = put(writable, {"Motor1.Speed": 1500, "Status.3": True})
    assert status == 200 and payload["written"] is True
    assert [entry["error"] for entry in payload["values"]] == [None, None]
    got = values(writable, "Motor1.Speed", "Status.3")
    assert got["Motor1.Speed"]["value"] == 1500 and got["Status.3"]["value"] is True


def test_clients_setting_bits_of_one_word_keep_each_others_bits(writable):
    put(writable, {"Status": 0})

    def toggle(bit):
        for round_ in range(30):
            status, payload = put(writable, {f"Status.{bit}": round_ % 2 == 0})
            assert status == 200 and payload["values"][0]["error"] is None
        put(writable, {f"Status.{bit}": bit % 2 == 0})

    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        list(pool.map(toggle, range(8)))
    assert values(writable, "Status")["Status"]["value"] == 0b01010101


def spellings(name, count):
    """count spellings of one name that differ in case only (names are case-insensitive)."""
    letters = [i for i, c in enumerate(name) if c.isalpha()]
    for n in range(count):
        spelled = list(name.lower())
        for bit, at in enumerate(letters):
            if n >> bit & 1:
                spelled[at] = spelled[at].upper()
        yield "".join(spelled)


def at_most(count):
    """A write of Speeds[9] and count - 1 spellings of Line.ActiveRecipe."""
    return {"values": {"Speeds[9]": count, **{name: 2 for name in spellings(
        "Line.ActiveRecipe", count - 1)}}}


@pytest.mark.parametrize("body,status", [
    ({"values": ["Motor1.Speed"]}, 400),
    ({"items": {"Motor1.Speed": 1}}, 400),
    (at_most(10000), 200),
    (at_most(10001), 400),
])
def test_write_bodies_and_their_item_limit(writable, body, status):
    got, payload = writable.request("PUT", DICT + "/values", body=body,
                                    headers={"Authorization": "Bearer " + TOKEN})
    assert got == status
    if status != 200:
        assert payload["error"]
        return
    assert len(payload["values"]) == len(body["values"])
    assert values(writable, "Speeds[9]")["Speeds[9]"]["value"] == body["values"]["Speeds[9]"]


def raw(server, method, endpoint, text):
    """A request with a body sent as written (json.dumps cannot write what a hostile client can)."""
    return server.request(method, endpoint, body=text.encode(),
                          headers={"Authorization": "Bearer " + TOKEN})


def nested(depth):
    return "[" * depth + "1" + "]" * depth


@pytest.mark.parametrize("method,endpoint,text,reason", [
    ("PUT", "/values", '{"values":{"Motor1.Speed":%s}}' % nested(30000), "64 levels"),
    ("PUT", "/values", '{"values":{"Motor1.Speed":%s}}' % nested(10000), "64 levels"),
    ("PUT", "/values", '{"values":{"Motor1.Speed":%s' % ("{\"a\":" * 30000), "64 levels"),
    ("POST", "/values", '{"items":%s}' % nested(30000), "64 levels"),
    ("POST", "/resolve", '{"items":%s}' % nested(30000), "64 levels"),
    ("POST", "/stamp/compare", '{"stamp":%s}' % nested(30000), "64 levels"),
    ("PUT", "/values", '{"values":{"Motor1.Speed":1,"Status.3":true,"Motor1.Speed":2}}',
     "'Motor1.Speed' twice"),
    ("POST", "/resolve", '{"items":["Motor1"],"items":["Motor2"]}', "'items' twice"),
    ("PUT", "/values", '{"values":{"LineName":"' + "y" * 100000, "not JSON"),
], ids=["put-30000", "put-10000", "put-objects", "post-values", "post-resolve", "post-stamp",
        "put-twice", "post-twice", "put-unterminated"])
def test_hostile_bodies_are_refused_whole(writable, method, endpoint, text, reason):
    before = values(writable, "Motor1.Speed")["Motor1.Speed"]["value"]
    status, payload = raw(writable, method, DICT + endpoint, text)
    assert status == 400 and reason in payload["error"]
    assert len(payload["error"]) < 300
    assert values(writable, "Motor1.Speed")["Motor1.Speed"]["value"] == before


def test_put_answers_in_the_order_given(writable):
    order = ["Status.3", "Motor2.Speed", "LineName", "Line.ActiveRecipe", "Motor1.Current"]
    text = '{"values":{"Status.3":false,"Motor2.Speed":3,"LineName":"L","Line.ActiveRecipe":2,' \
           '"Motor1.Current":1.5}}'
    status, payload = raw(writable, "PUT", DICT + "/values", text)
    assert status == 200 and payload["written"] is True
    assert [entry["name"] for entry in payload["values"]] == order


def test_errors_quote_client_text_short(writable):
    name, text = "Motor1." + "N" * 5000, "t" * 100000
    status, payload = put(writable, {name: 1, "LineName": text})
    assert status == 200 and payload["written"] is False
    by_name = {entry["name"]: entry["error"] for entry in payload["values"]}
    assert set(by_name) == {name, "LineName"}  # names in results stay whole
    assert by_name[name].startswith("Motor1." + "N" * 193 + "\u2026 (5007 bytes): ")
    assert by_name["LineName"] == "LineName: '" + "t" * 200 + \
        "\u2026' (100000 bytes) is longer than STRING[20] holds (20 bytes)"
    status, payload = writable.get(DICT + "/browse", path="x" * 1000)
    assert status == 404 and len(payload["error"]) < 300 and "(1000 bytes)" in payload["error"]
    status, payload = writable.get(DICT + "/browse", path="x" * 5000)
    assert status == 400 and len(payload["error"]) < 300, payload


@pytest.mark.parametrize("name,value,error", [
    ("Line.Conveyors[1].Load", 101, "101 is outside the range 0..100 of Percent"),
    ("Line.Conveyors[2].Load", -1, "-1 is outside the range 0..100 of Percent"),
    ("Motor1.State", 99,
     "99 is not a value of the enumeration MotorState (Stopped, Running, Fault)"),
    ("LineName", "Line\u00002", "a STRING[20] cannot hold a NUL character (the text has one at "
                                "byte 4)"),
])
def test_writes_keep_within_what_the_program_declares(writable, name, value, error):
    before = values(writable, name)[name]["value"]
    status, payload = put(writable, {name: value, "Motor1.Speed": 9})
    assert status == 200 and payload["written"] is False
    assert payload["values"][0]["error"] == name + ": " + error
    assert values(writable, name)[name]["value"] == before
    status, payload = put(writable, {name: before})
    assert status == 200 and payload["written"] is True
