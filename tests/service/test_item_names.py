"""Loose names through the service: every name of the shared table is refused per item with its
reason, a write of one changes nothing, and a bad browse path or continuation is a 400."""
import json

import pytest

from conftest import EXAMPLE, ROOT, Server

DICT = "api/dictionaries/production_line"
TOKEN = "plant-floor-42"
TABLE = json.loads((ROOT / "tests" / "host" / "data" / "hostile_names.json").read_text())


@pytest.fixture(scope="module")
def writable():
    served = Server([EXAMPLE], "--writable", "--token", TOKEN)
    yield served
    assert served.stop()[0] == 0


def value_of(server, name):
    status, payload = server.get(DICT + "/values", item=name)
    assert status == 200 and payload["values"][0]["error"] is None, payload
    return payload["values"][0]["value"]


@pytest.mark.parametrize("entry", TABLE["names"], ids=[repr(e["name"]) for e in TABLE["names"]])
def test_loose_names_are_refused_and_write_nothing(writable, entry):
    name, reason, target = entry["name"], entry["reason"], entry["target"]
    resolved = {"name": name, "resolved": False, "reason": reason}
    assert writable.get(DICT + "/resolve", item=name) == (200, {"results": [resolved]})
    assert writable.post(DICT + "/resolve", {"items": [name]}) == (200, {"results": [resolved]})
    read = {"name": name, "value": None, "type": None, "error": f"{name}: {reason}"}
    assert writable.get(DICT + "/values", item=name) == (200, {"values": [read]})
    assert writable.post(DICT + "/values", {"items": [name]}) == (200, {"values": [read]})

    before = [value_of(writable, target), value_of(writable, "Motor2.Speed")]
    status, payload = writable.request(
        "PUT", DICT + "/values", body={"values": {"Motor2.Speed": 5, name: entry["value"]}},
        headers={"Authorization": "Bearer " + TOKEN})
    assert status == 200 and payload["written"] is False
    assert {"name": name, "type": None, "error": f"{name}: {reason}"} in payload["values"]
    assert [value_of(writable, target), value_of(writable, "Motor2.Speed")] == before


@pytest.mark.parametrize("entry", TABLE["paths"] + TABLE["continuations"],
                         ids=[repr(e) for e in TABLE["paths"] + TABLE["continuations"]])
def test_bad_browse_paths_and_continuations_are_400(writable, entry):
    query = {key: entry[key] for key in ("path", "continuation") if key in entry}
    status, payload = writable.get(DICT + "/browse", pageSize=4, **query)
    field = "continuation" if "continuation" in entry else "path"
    assert (status, payload) == (400, {"error": f"{field}: {entry['reason']}"})


def test_the_service_answers_the_iec_element_as_its_element(writable):
    status, payload = writable.request(
        "PUT", DICT + "/values", body={"values": {"Line.Recipes[3,1]": 4.5}},
        headers={"Authorization": "Bearer " + TOKEN})
    assert status == 200 and payload["written"] is True
    assert value_of(writable, "Line.Recipes[3][1]") == value_of(writable, "Line.Recipes[3,1]") \
        == 4.5
    page = writable.get(DICT + "/browse", path="Line.Recipes[3]")[1]
    assert [child["path"] for child in page["children"]] == \
        [f"Line.Recipes[3][{i}]" for i in (1, 2, 3)]
