"""Loose names: every name of the shared table is refused with its reason, and a write of one
leaves the datum it once reached as it was."""

import json

import pytest
import varbank

from conftest import EXAMPLE, SOURCE_DIR

TABLE = json.loads((SOURCE_DIR / "tests" / "host" / "data" / "hostile_names.json").read_text())


@pytest.fixture(scope="module")
def line():
    return varbank.load(EXAMPLE)


def refused(call, name, reason):
    with pytest.raises(varbank.UnknownItem) as raised:
        call()
    assert (raised.value.name, raised.value.reason) == (name, reason)


@pytest.mark.parametrize("entry", TABLE["names"], ids=[repr(e["name"]) for e in TABLE["names"]])
def test_loose_names_are_refused_and_write_nothing(line, entry):
    name, reason, target, value = entry["name"], entry["reason"], entry["target"], entry["value"]
    refused(lambda: line.resolve(name), name, reason)
    item = line.resolve_many(["Motor1.Speed", name])[1]
    assert (item.name, item.resolved, item.reason) == (name, False, reason)
    refused(lambda: line.read(name), name, reason)
    refused(lambda: line.read_many(["Motor1.Speed", name]), name, reason)
    before = line.read(target)
    refused(lambda: line.write(name, value), name, reason)
    refused(lambda: line.write_many({"Motor2.Speed": 5, name: value}), name, reason)
    assert line.read(target) == before
    assert line.read("Motor2.Speed") == 0


@pytest.mark.parametrize("entry", TABLE["paths"], ids=[repr(e["path"]) for e in TABLE["paths"]])
def test_bad_browse_paths_are_refused(line, entry):
    refused(lambda: line.browse(entry["path"]), entry["path"], entry["reason"])
    refused(lambda: line.walk(entry["path"]), entry["path"], entry["reason"])


def test_an_iec_element_of_a_two_dimensional_array_is_that_element():
    dictionary = varbank.load(EXAMPLE)
    assert dictionary.resolve("Line.Recipes[2,3]").offset == \
        dictionary.resolve("Line.Recipes[2][3]").offset == 120
    dictionary.write("Line.Recipes[2,3]", 2.5)
    assert dictionary.read_many(["Line.Recipes[2][3]", "Line.Recipes[2,3]", "Line.Recipes[2]"]) \
        == [2.5, 2.5, [0.0, 0.0, 2.5]]
