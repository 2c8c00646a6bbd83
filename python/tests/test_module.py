"""The module as a user meets it: docstrings, the type stub, the README example, install."""

import ast
import os
import pathlib
import re
import subprocess
import sys

import varbank

from conftest import BUILD_DIR, SOURCE_DIR

STUB = SOURCE_DIR / "python" / "varbank.pyi"


def public(names):
    return {n for n in names if not n.startswith("_")} | ({"__next__"} & set(names))


def stub_api():
    """Top-level names of the stub, and the members of each of its classes."""
    api = {}
    for node in ast.parse(STUB.read_text()).body:
        if isinstance(node, ast.ClassDef):
            members = {n.name for n in node.body if isinstance(n, ast.FunctionDef)}
            members |= {n.target.id for n in node.body if isinstance(n, ast.AnnAssign)}
            api[node.name] = public(members)
        elif isinstance(node, ast.FunctionDef):
            api[node.name] = None
    return api


def test_the_stub_matches_the_module_and_everything_has_a_docstring():
    api = stub_api()
    assert set(api) == public(dir(varbank))
    assert varbank.__doc__
    for name, members in api.items():
        obj = getattr(varbank, name)
        assert obj.__doc__, name
        if members is None:
            continue
        if issubclass(obj, Exception):
            continue  # attributes set on each instance
        assert members == public(dir(obj)), name
        for member in members:
            assert getattr(obj, member).__doc__, f"{name}.{member}"


def test_readme_example_runs_and_prints_what_the_readme_shows():
    readme = (SOURCE_DIR / "README.md").read_text()
    section = readme[readme.index("\n## Python\n"):]
    code, output = re.search(r"```python\n(.*?)```\n.*?```text\n(.*?)```", section, re.S).groups()
    env = dict(os.environ, PYTHONPATH=str(pathlib.Path(varbank.__file__).parent))
    done = subprocess.run([sys.executable, "-c", code], cwd=SOURCE_DIR, env=env,
                          capture_output=True, text=True, check=False)
    assert done.stderr == ""
    assert done.stdout == output


def test_install_puts_the_module_where_debian_python_finds_it(tmp_path):
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", str(BUILD_DIR), "--prefix", str(prefix)],
                   check=True, capture_output=True)
    modules = list(prefix.glob("lib/python3*/dist-packages/varbank.*.so"))
    assert len(modules) == 1
    folder = modules[0].parent
    assert (folder / "varbank.pyi").is_file()
    # The same folder under /usr/local is on Debian Python's path.
    assert str(pathlib.Path("/usr/local") / folder.relative_to(prefix)) in sys.path
    # The installed module loads, outside the source tree, with the installed library.
    env = dict(os.environ, PYTHONPATH=str(folder))
    probe = "import varbank; print(varbank.__file__)"
    done = subprocess.run(["/usr/bin/python3", "-c", probe], cwd=tmp_path, env=env,
                          capture_output=True, text=True, check=True)
    assert done.stdout.strip() == str(modules[0])
