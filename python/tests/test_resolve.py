"""Resolution from Python answers what the varbank command answers, refusals included."""

import re
import threading

import pytest
import varbank

from conftest import EXAMPLE, another_thread_runs_during, cli_json

NAMES = ["Motor1.Speed", "Line.Recipes[2][3]", "Status.3", "StartButton", "InletSensor",
         "Line.Filler.Level", "Line.Filler", "Speeds[1]", "LineName",
         "Line.Conveyors[3].Belt.Speed", "Motor1.Speed.3"]
REFUSED = {
    "Nope": "unknown variable",
    "Motor1.Nope": "no such member or element, or an index out of bounds",
    "Speeds[99]": "no such member or element, or an index out of bounds",
    "Counter.16": "a bit number needs a 16-bit element and lies between 0 and 15",
}


def snake(key):
    return re.sub(r"([A-Z])", lambda m: "_" + m.group(1).lower(), key)


def expected_fields(result):
    """The command's JSON fields under the Item's names and types."""
    fields = {snake(k): v for k, v in result.items()}
    fields["type_code"] = int(fields["type_code"], 16)
    return fields


def test_items_carry_every_field_the_command_shows(example):
    results = cli_json("resolve", EXAMPLE, *NAMES)["results"]
    for name, result in zip(NAMES, results):
        item = example.resolve(name)
        for field, value in expected_fields(result).items():
            assert getattr(item, field) == value, (name, field)
        assert item.reason == ""


def test_refused_names(example):
    for name, reason in REFUSED.items():
        with pytest.raises(varbank.UnknownItem) as raised:
            example.resolve(name)
        assert isinstance(raised.value, LookupError)
        assert (raised.value.name, raised.value.reason) == (name, reason)
        assert str(raised.value) == f"{name}: {reason}"


def test_resolve_many_keeps_order_and_refusals(example):
    names = ["Status.3", "Nope", "Motor1.Speed", "Counter.16"]
    items = example.resolve_many(iter(names))  # any iterable
    assert [i.name for i in items] == names
    assert [i.resolved for i in items] == [True, False, True, False]
    assert items[1].reason == REFUSED["Nope"] and items[1].bit is None and items[1].size == 0
    assert items[0].bit == 3 and items[0].address == "%MW10.3"
    assert example.resolve_many([]) == []
    with pytest.raises(TypeError):
        example.resolve_many(["Status", 3])


def test_threads_resolve_at_once():
    dictionary = varbank.load(EXAMPLE)
    names = [c.path for c in dictionary.walk()] + list(REFUSED)
    expected = [repr(i) for i in dictionary.resolve_many(names)]
    failures = []

    def work(index):
        for round_ in range(30):
            if (index + round_) % 2:
                got = [repr(i) for i in dictionary.resolve_many(names)]
            else:
                got = []
                for name in names:
                    try:
                        got.append(repr(dictionary.resolve(name)))
                    except varbank.UnknownItem as error:
                        got.append(repr(dictionary.resolve_many([error.name])[0]))
            if got != expected:
                failures.append(index)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []


def test_resolution_releases_the_gil(example):
    """Another thread keeps running while this one is inside resolve_many."""
    names = [c.path for c in example.walk() if not c.has_children] * 100
    assert another_thread_runs_during(lambda: example.resolve_many(names))