"""Subscriptions: values that arrive when they change, on the memory image."""

import datetime as dt
import gc
import os
import signal
import threading
import time

import pytest
import varbank

from conftest import EXAMPLE, another_thread_runs_during

TIMEOUT = 5.0  # seconds any expected change may take to arrive; no test waits longer


@pytest.fixture
def line():
    return varbank.load(EXAMPLE)


def take(changes, count):
    """count changes, each within TIMEOUT; fails rather than hangs."""
    taken = []
    for _ in range(count):
        change = changes.next(timeout=TIMEOUT)
        assert change is not None, f"only {taken} arrived"
        taken.append(change)
    return taken


def values(taken):
    return [(change.name, change.value) for change in taken]


@pytest.mark.parametrize("names, expected", [
    ("Motor1.Speed", [("Motor1.Speed", 0)]),
    (["LineName", "Line.ActiveRecipe", "Status.3"],
     [("LineName", "Bottling line 1"), ("Line.ActiveRecipe", 1), ("Status.3", False)]),
    (iter(["Motor1"]), [("Motor1.Running", False), ("Motor1.Speed", 0), ("Motor1.Current", 0.0),
                        ("Motor1.State", 0), ("Motor1.Label", "")]),
    (["Line.Recipes[2]", "Line.Recipes[2]"],
     [("Line.Recipes[2][1]", 0.0), ("Line.Recipes[2][2]", 0.0), ("Line.Recipes[2][3]", 0.0)]),
])
def test_first_values_in_order_then_nothing(line, names, expected):
    with line.subscribe(names, interval=0.01) as changes:
        taken = take(changes, len(expected))
        assert values(taken) == expected
        assert changes.next(timeout=0.1) is None  # nothing changed
    now = dt.datetime.now(dt.timezone.utc)
    for change in taken:
        assert change.error is None
        assert change.time.tzinfo is not None and change.time.utcoffset() == dt.timedelta(0)
        assert abs(now - change.time) < dt.timedelta(seconds=TIMEOUT + 1)


def test_a_structure_arrives_as_typed_leaves(line):
    with line.subscribe("Line.Filler", interval=0.01) as changes:
        taken = {change.name: change for change in take(changes, 6)}
    assert sorted(taken) == sorted(f"Line.Filler.{member}" for member in
                                   ["Enable", "Volume", "Done", "Bottles", "Level", "Steps"])
    assert taken["Line.Filler.Enable"].type == "BOOL"
    assert taken["Line.Filler.Volume"].value == 0.0


def test_a_write_is_a_change(line):
    with line.subscribe(["Motor1.Speed", "Motor1.State", "Status"], interval=0.01) as changes:
        take(changes, 3)
        line.write_many({"Motor1.Speed": 1500, "Motor1.State": "Running"})
        assert sorted(values(take(changes, 2))) == [("Motor1.Speed", 1500), ("Motor1.State", 1)]
        line.write("Status.3", True)
        assert values(take(changes, 1)) == [("Status", 8)]
        assert changes.next(timeout=0.1) is None


@pytest.mark.parametrize("deadband, writes, expected", [
    (0, [1.0, 1.5, 1.75], [1.0, 1.5, 1.75]),  # exact in a REAL
    (1.0, [0.5, 1.0, 1.5, 2.75], [1.5, 2.75]),  # each against the last value sent
    (10, [5.0, -5.0], []),
])
def test_deadband(line, deadband, writes, expected):
    with line.subscribe("Motor1.Current", interval=0.01, deadband=deadband) as changes:
        assert values(take(changes, 1)) == [("Motor1.Current", 0.0)]
        seen = []
        for value in writes:
            line.write("Motor1.Current", value)
            change = changes.next(timeout=0.3)  # several ticks: a change is not missed
            if change is not None:
                seen.append(change.value)
        assert seen == expected


def test_closing_ends_iteration(line):
    changes = line.subscribe(["Counter", "Motor1.Speed"], interval=0.01)
    assert not changes.closed
    assert changes.next(timeout=TIMEOUT) is not None
    changes.close()
    changes.close()  # twice is fine
    assert changes.closed
    assert changes.next(timeout=TIMEOUT) is None  # at once, not after the timeout
    assert list(changes) == []
    with line.subscribe("Counter", interval=0.01) as changes:
        pass
    assert changes.closed


def test_iteration_stops_when_another_thread_closes(line):
    changes = line.subscribe("Counter", interval=0.01)
    threading.Timer(0.3, changes.close).start()
    started = time.monotonic()
    assert [change.name for change in changes] == ["Counter"]
    assert time.monotonic() - started < TIMEOUT


def test_waiting_releases_the_gil(line):
    with line.subscribe("Counter", interval=0.01) as changes:
        take(changes, 1)
        assert another_thread_runs_during(lambda: changes.next(timeout=0.3))


def test_a_collected_subscription_ends(line):
    changes = line.subscribe("Counter", interval=0.01)
    assert changes.next(timeout=TIMEOUT) is not None
    del changes
    gc.collect()
    with line.subscribe("Counter", interval=0.01) as again:  # still served after it
        assert again.next(timeout=TIMEOUT).name == "Counter"


def test_keyboard_interrupt_while_waiting(line):
    with line.subscribe("Counter", interval=0.01) as changes:
        take(changes, 1)
        threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
        started = time.monotonic()
        with pytest.raises(KeyboardInterrupt):
            changes.next(timeout=TIMEOUT)
        assert time.monotonic() - started < TIMEOUT - 1


@pytest.mark.parametrize("interval, granted, note", [
    (0.001, 0.01, "the interval was raised to the minimum of 10 ms"),
    (7200, 3600.0, "the interval was lowered to the maximum of 3600000 ms"),
    (0.25, 0.25, ""),
])
def test_interval_moved_into_range_warns(line, interval, granted, note):
    if note:
        with pytest.warns(RuntimeWarning, match=note):
            changes = line.subscribe("Counter", interval=interval)
    else:
        changes = line.subscribe("Counter", interval=interval)
    with changes:
        assert changes.interval == granted
        assert changes.note == note
        assert changes.names == ["Counter"]


@pytest.mark.parametrize("kwargs, error, text", [
    ({"names": "Motor1..Speed"}, ValueError, "Motor1..Speed"),
    ({"names": []}, ValueError, "name at least one item"),
    ({"names": "Counter", "interval": 0}, ValueError, "interval must be"),
    ({"names": "Counter", "interval": -1}, ValueError, "interval must be"),
    ({"names": "Counter", "interval": float("nan")}, ValueError, "interval must be"),
    ({"names": "Counter", "interval": float("inf")}, ValueError, "interval must be"),
    ({"names": "Counter", "deadband": -0.5}, ValueError, "deadband must be"),
    ({"names": "Counter", "deadband": float("nan")}, ValueError, "deadband must be"),
    ({"names": ["Counter", "Nope"]}, varbank.UnknownItem, "Nope: unknown variable"),
    ({"names": ["Counter", 3]}, TypeError, "not int"),
    ({"names": 3}, TypeError, "not int"),
])
def test_bad_arguments(line, kwargs, error, text):
    with pytest.raises(error, match=text):
        line.subscribe(**kwargs)


@pytest.mark.parametrize("timeout", [-1, float("nan")])
def test_bad_timeout(line, timeout):
    with line.subscribe("Counter") as changes, pytest.raises(ValueError, match="timeout"):
        changes.next(timeout=timeout)
