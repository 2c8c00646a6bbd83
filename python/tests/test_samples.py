"""The real sample programs: every leaf of the walk resolves, as the command resolves it."""

import pytest
import varbank

from conftest import SAMPLES, cli_json


@pytest.mark.skipif(not SAMPLES, reason="the sample programs are absent")
@pytest.mark.parametrize("path", SAMPLES, ids=lambda p: p.name)
def test_sample(path):
    dictionary = varbank.load(path)
    info = cli_json("info", path)
    assert dictionary.info()["variables"] == info["variables"]
    assert dictionary.stamp == info["stamp"]
    tree = list(dictionary.walk())
    assert len({c.path for c in tree}) == len(tree)
    leaves = [c.path for c in tree if not c.has_children]
    items = dictionary.resolve_many(leaves)
    assert [i.name for i in items if not i.resolved] == []
    # A sample of the leaves, answered field by field as the command answers them.
    chosen = leaves[:: max(1, len(leaves) // 20)]
    results = cli_json("resolve", path, *chosen)["results"]
    for name, result in zip(chosen, results):
        item = dictionary.resolve(name)
        assert (item.block, item.offset, item.size, item.type_name, item.comment) == \
            (result["block"], result["offset"], result["size"], result["typeName"],
             result["comment"])
    assert dictionary.compare_stamp(info["stamp"]) == "OK"
