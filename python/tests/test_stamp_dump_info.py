"""Stamps, the dump and the info fields, against the varbank command."""

import pytest
import varbank

from conftest import EXAMPLE, cli_json, run_cli


def with_word(stamp, index, value):
    words = stamp.split(":")
    words[index] = value
    return ":".join(words)


def test_stamp_is_the_commands(example):
    assert example.stamp == cli_json("info", EXAMPLE)["stamp"]


@pytest.mark.parametrize("change, result", [
    (lambda s: s, "OK"),
    (lambda s: s.lower(), "OK"),
    (lambda s: with_word(s, 4, "0"), "OK"),  # word 4 is not compared
    (lambda s: with_word(s, 1, "1234"), "PARTIAL"),
    (lambda s: with_word(s, 0, "1234"), "MISMATCH"),
    (lambda s: with_word(s, 2, "0"), "MISMATCH"),
    (lambda s: with_word(s, 3, "FFFFFFFF"), "MISMATCH"),
])
def test_compare_stamp(example, change, result):
    assert example.compare_stamp(change(example.stamp)) == result


@pytest.mark.parametrize("text", [
    "", "1:2:3:4", "1:2:3:4:5:6", "1:2:3:4:5:", ":1:2:3:4", "1::3:4:5", "1:2:3:4:G",
    "123456789:2:3:4:5", " 1:2:3:4:5", "1:2:3:4:-5", "0x1:2:3:4:5",
])
def test_malformed_stamps(example, text):
    with pytest.raises(ValueError):
        example.compare_stamp(text)


def test_dump_writes_what_the_command_writes(tmp_path):
    ours, theirs = tmp_path / "python", tmp_path / "cli"
    ours.mkdir()
    theirs.mkdir()
    # A fresh dictionary: the dump holds the stamp text once something asked for it.
    written = varbank.load(EXAMPLE).dump(ours)
    assert written == f"{ours}/production_line.kvxav"
    assert run_cli("dump", EXAMPLE, "--dir", theirs)[0] == 0
    assert sorted(p.name for p in ours.iterdir()) == ["production_line.kvxav"]
    # The first and last lines hold the tick count of the moment they were written.
    ours_lines = (ours / "production_line.kvxav").read_text().splitlines()
    theirs_lines = (theirs / "production_line.kvxav").read_text().splitlines()
    assert len(ours_lines) > 100
    assert ours_lines[1:-1] == theirs_lines[1:-1]


def test_dump_refusals(example, tmp_path):
    with pytest.raises(FileNotFoundError):
        example.dump(tmp_path / "missing")
    (tmp_path / "file").write_text("")
    with pytest.raises(NotADirectoryError):
        example.dump(str(tmp_path / "file"))


def test_info_has_the_commands_fields(example):
    expected = cli_json("info", EXAMPLE)
    info = example.info()
    assert len(info) == len(expected)
    assert info["function_blocks"] == expected["functionBlocks"] == 2
    assert info["output_slot_bytes"] == expected["outputSlotBytes"]
    assert {k: v for k, v in info.items() if "_" not in k} == \
        {k: v for k, v in expected.items() if k.islower()}
