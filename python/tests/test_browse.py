"""Browsing and walking: the children the command lists, page by page."""

import threading

import pytest
import varbank

from conftest import EXAMPLE, cli_json


def children(listing):
    return [(c.name, c.path, c.item_id, c.has_children) for c in listing]


def cli_children(*args):
    result = cli_json("browse", EXAMPLE, *args)
    pages = result.get("pages") or [{"children": result["children"]}]
    return [(c["name"], c["path"], c["itemId"], c["hasChildren"])
            for page in pages for c in page["children"]]


@pytest.mark.parametrize("path, options, args", [
    ("", {}, []),
    ("Line", {"kind": "leaves"}, ["--leaves"]),
    ("Line", {"kind": "branches"}, ["--branches"]),
    ("Line", {"kind": "branches_only"}, ["--branches-only"]),
    ("Motor1", {"pattern": "S*"}, ["--pattern", "S*"]),
    ("Motor1", {"var_type": "I2"}, ["--type", "I2"]),
    ("Motor1", {"var_type": 11}, ["--type", "11"]),
    ("Line.Conveyors", {}, []),
    ("Line.Recipes[2]", {}, []),
    ("Line.Filler", {}, []),
])
def test_browse_lists_what_the_command_lists(example, path, options, args):
    expected = cli_children(*([path] if path else []), *args)
    assert expected
    for page_size in (0, 1, 2, 1000):
        assert children(example.browse(path, page_size=page_size, **options)) == expected


def test_browse_is_lazy_and_resumable(example):
    listing = example.browse("Line.Conveyors", page_size=1)
    assert iter(listing) is listing
    assert next(listing).path == "Line.Conveyors[1]"
    assert [c.path for c in listing] == ["Line.Conveyors[2]", "Line.Conveyors[3]"]
    with pytest.raises(StopIteration):
        next(listing)


@pytest.mark.parametrize("call, error", [
    (lambda d: d.browse("Motor1.Speed"), varbank.UnknownItem),
    (lambda d: d.browse("Nope"), varbank.UnknownItem),
    (lambda d: d.walk("Status"), varbank.UnknownItem),
    (lambda d: d.browse(kind="twigs"), ValueError),
    (lambda d: d.browse(var_type="COMPLEX"), ValueError),
    (lambda d: d.browse(var_type=70000), ValueError),
    (lambda d: d.browse(var_type=2.0), TypeError),
    (lambda d: d.browse(page_size=-1), ValueError),
    (lambda d: d.browse(page_size=1000001), ValueError),
])
def test_browse_refusals(example, call, error):
    with pytest.raises(error):
        call(example)


def recursive_browse(dictionary, path=""):
    for child in dictionary.browse(path):
        yield child
        if child.has_children:
            yield from recursive_browse(dictionary, child.path)


def test_walk_is_the_depth_first_tree(example):
    expected = children(recursive_browse(example))
    assert children(example.walk()) == expected
    assert children(example.walk(page_size=1)) == expected
    assert len(expected) == 85
    below = children(example.walk("Line.Conveyors"))
    assert below == children(recursive_browse(example, "Line.Conveyors"))
    assert all(path.startswith("Line.Conveyors[") for _, path, _, _ in below)


def test_a_walk_outlives_its_dictionary():
    listing = varbank.load(EXAMPLE).walk()
    assert len(list(listing)) == 85


def test_threads_walk_and_share_one_listing():
    dictionary = varbank.load(EXAMPLE)
    expected = children(dictionary.walk())
    shared = dictionary.walk(page_size=3)
    taken, walks = [], []

    def work():
        walks.append(children(dictionary.walk(page_size=2)) == expected)
        for child in shared:  # each child goes to exactly one thread
            taken.append(child.path)

    threads = [threading.Thread(target=work) for _ in range(6)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert walks == [True] * 6
    assert sorted(taken) == sorted(path for _, path, _, _ in expected)
