"""Loading: the import's errors and warnings reach Python as the command prints them."""

import pytest
import varbank

from conftest import EXAMPLE, HOST_DATA, SOURCE_DIR, run_cli


def cli_lines(*args):
    _, _, err = run_cli(*args)
    return err.splitlines()


@pytest.mark.parametrize("path, strict", [
    (HOST_DATA / "errors.xml", False),
    (HOST_DATA / "library_types.xml", True),
    (SOURCE_DIR / "no-such-file.xml", False),
    (SOURCE_DIR / "README.md", False),
])
def test_a_file_that_does_not_import(path, strict):
    expected = cli_lines(*(["--strict"] if strict else []), "info", path)
    with pytest.raises(varbank.ProgramError) as raised:
        varbank.load(str(path), strict=strict)
    assert raised.value.lines == expected
    assert str(raised.value) == "\n".join(expected)
    assert raised.value.errors and set(raised.value.errors) <= set(expected)


def test_library_types_are_warnings_unless_strict():
    path = HOST_DATA / "library_types.xml"
    dictionary = varbank.load(path)
    assert dictionary.warnings == cli_lines("info", path)
    assert len(dictionary.warnings) == 2
    assert dictionary.resolve("Last.Body").type_name == "JSON_VAR"


def test_example_loads_cleanly(example):
    assert example.warnings == []
    assert example.name == "production_line"
    assert example.path == str(EXAMPLE)
    assert repr(example) == f"<varbank.Dictionary 'production_line' from '{EXAMPLE}'>"
