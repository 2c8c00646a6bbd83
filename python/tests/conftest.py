"""Shared fixtures: the repository, the varbank command of the same build, the example."""

import json
import os
import pathlib
import subprocess
import sys
import threading
import time

import pytest

SOURCE_DIR = pathlib.Path(os.environ.get("VARBANK_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
BUILD_DIR = pathlib.Path(os.environ.get("VARBANK_BUILD_DIR", SOURCE_DIR / "build"))
EXAMPLE = SOURCE_DIR / "examples" / "production_line.xml"
HOST_DATA = SOURCE_DIR / "tests" / "host" / "data"
SAMPLES_DIR = SOURCE_DIR.parent / "shared" / "plcopen-samples"
SAMPLES = sorted(SAMPLES_DIR.glob("*.xml"))


def run_cli(*args):
    """Runs the varbank command of this build; (exit status, stdout, stderr)."""
    done = subprocess.run([str(BUILD_DIR / "host" / "varbank"), *map(str, args)],
                          capture_output=True, text=True, check=False)
    return done.returncode, done.stdout, done.stderr


def cli_json(*args):
    """The JSON the varbank command prints for `--json ARGS`."""
    _, out, err = run_cli("--json", *args)
    assert out, err
    return json.loads(out)


def another_thread_runs_during(call):
    """Whether a second Python thread gets to run while call() runs, that is whether the call
    lets go of the GIL. The thread counts, sleeping between counts; with a switch interval far
    longer than the test, the GIL changes hands only when its holder lets go of it, so the
    count cannot move while the call holds the GIL."""
    count = [0]
    stop = threading.Event()

    def counter():
        while not stop.is_set():
            count[0] += 1
            time.sleep(0.0001)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    thread = threading.Thread(target=counter)
    try:
        thread.start()
        while count[0] == 0:
            time.sleep(0.001)
        before = count[0]
        call()
        after = count[0]
    finally:
        stop.set()
        thread.join()
        sys.setswitchinterval(interval)
    return after > before


@pytest.fixture(scope="session")
def example():
    import varbank

    return varbank.load(EXAMPLE)
