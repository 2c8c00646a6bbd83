"""Values: reads and writes on the memory image and on a Modbus TCP server the test starts."""

import datetime as dt
import pathlib
import re
import socket
import subprocess
import sys
import threading
import time

import pytest
import varbank

from conftest import EXAMPLE, another_thread_runs_during, cli_json

MOTOR = {"Running": False, "Speed": 0, "Current": 0.0, "State": 0, "Label": ""}
# The example's initial values, read from its file: only LineName and Line.ActiveRecipe are
# given one, everything else starts at zero.
INITIAL = [
    ("Motor1.Speed", 0),
    ("LineName", "Bottling line 1"),
    ("Line.ActiveRecipe", 1),
    ("Status.3", False),
    ("Line.Recipes[2]", [0.0, 0.0, 0.0]),
    ("Motor1", MOTOR),
    ("Line.Conveyors", [{"Belt": MOTOR, "Length": 0.0, "Load": 0}] * 3),
    ("Line.Filler", {"Enable": False, "Volume": 0.0, "Done": False, "Bottles": 0, "Level": 0.0,
                     "Steps": 0}),
    ("Counter", 0),
    ("InletSensor", False),
]
NAMES = [name for name, _ in INITIAL]

TIMED_TYPES = """
<dataType name="Stage"><baseType><struct>
  <variable name="Wait"><type><TIME/></type><initialValue><simpleValue value="T#250ms"/></initialValue></variable>
  <variable name="Note"><type><string length="8"/></type><initialValue><simpleValue value="'T#1s'"/></initialValue></variable>
</struct></baseType></dataType>
<dataType name="Pause"><baseType><TIME/></baseType></dataType>
"""
TIMED_VARIABLES = [
    ("Wait", "<TIME/>", "T#1s500ms", dt.timedelta(seconds=1.5)),
    ("Long", "<LTIME/>", "LTIME#-2d3us", -dt.timedelta(days=2, microseconds=3)),
    ("Alias", '<derived name="Pause"/>', "T#1m", dt.timedelta(minutes=1)),
    ("Day", "<DATE/>", "D#2024-01-15", dt.date(2024, 1, 15)),
    ("Clock", "<TOD/>", "TOD#08:30:00.5", dt.time(8, 30, 0, 500000)),
    ("Stamp", "<DT/>", "DT#2024-01-15-08:00:00", dt.datetime(2024, 1, 15, 8)),
    ("Fine", "<LDT/>", "LDT#1999-12-31-23:59:59.123456", dt.datetime(1999, 12, 31, 23, 59, 59, 123456)),
    ("Text", '<string length="16"/>', "'D#2024-01-15'", "D#2024-01-15"),
    ("Tiny", '<string length="2"/>', "'abc'", ""),  # does not fit: a warning
    ("Stages", '<array><dimension lower="3" upper="4"/><baseType><derived name="Stage"/></baseType></array>',
     "", [{"Wait": dt.timedelta(milliseconds=250), "Note": "T#1s"}] * 2),
]


def variable(name, type_, value):
    initial = f'<initialValue><simpleValue value="{value}"/></initialValue>' if value else ""
    return f'<variable name="{name}"><type>{type_}</type>{initial}</variable>\n'


@pytest.fixture(scope="module")
def timed_path(tmp_path_factory):
    path = tmp_path_factory.mktemp("values") / "timed.xml"
    globals_ = "".join(variable(n, t, v) for n, t, v, _ in TIMED_VARIABLES)
    path.write_text(
        '<?xml version="1.0"?>\n<project xmlns="http://www.plcopen.org/xml/tc6_0201">'
        f'<contentHeader name="Test"/><types><dataTypes>{TIMED_TYPES}</dataTypes><pous/></types>'
        '<instances><configurations><configuration name="C"><resource name="R"/>'
        f'<globalVars>{globals_}</globalVars></configuration></configurations></instances>'
        '</project>\n')
    return path


def typed(value):
    """value with the type of every part beside it."""
    if isinstance(value, dict):
        return {key: typed(part) for key, part in value.items()}
    if isinstance(value, list):
        return [typed(part) for part in value]
    return type(value).__name__, value


@pytest.fixture
def line():
    return varbank.load(EXAMPLE)


def test_the_memory_image_reads_what_the_command_reads(line):
    expected = [v["value"] for v in cli_json("read", EXAMPLE, *NAMES)["values"]]
    assert line.read_many(iter(NAMES)) == expected
    assert [line.read(name) for name in NAMES] == expected
    # By hand too, with the type of each part (False == 0 == 0.0 in Python).
    assert typed(line.read_many(NAMES)) == typed([value for _, value in INITIAL])
    assert line.read("Line.Recipes") == [[0.0] * 3] * 4


def test_durations_dates_and_times_are_python_objects(timed_path):
    values = varbank.load(timed_path)
    assert values.warnings == [f"{timed_path}: Tiny: 'abc' is longer than STRING[2] holds (2 bytes)"]
    names = [name for name, *_ in TIMED_VARIABLES]
    assert values.read_many(names) == [expected for *_, expected in TIMED_VARIABLES]
    # Written back as read, they read the same.
    values.write_many({name: expected for name, _, _, expected in TIMED_VARIABLES[:7]})
    assert values.read_many(names) == [expected for *_, expected in TIMED_VARIABLES]


@pytest.mark.parametrize("name, value, expected", [
    ("Wait", 2500, dt.timedelta(seconds=2.5)),
    ("Long", 0.5, dt.timedelta(microseconds=500)),
    ("Wait", "T#-3s", dt.timedelta(seconds=-3)),
    ("Wait", dt.timedelta(days=-1, seconds=1), dt.timedelta(days=-1, seconds=1)),
    ("Long", dt.timedelta(days=3000, microseconds=7), dt.timedelta(days=3000, microseconds=7)),
    ("Day", dt.date(2106, 2, 7), dt.date(2106, 2, 7)),
    ("Day", "DATE#1970-01-01", dt.date(1970, 1, 1)),
    ("Clock", dt.time(23, 59, 59, 999000), dt.time(23, 59, 59, 999000)),
    ("Stamp", dt.datetime(1900, 1, 1), dt.datetime(1900, 1, 1)),
    ("Stages[4].Wait", dt.timedelta(hours=1), dt.timedelta(hours=1)),
])
def test_time_values_written_and_read_back(timed_path, name, value, expected):
    values = varbank.load(timed_path)
    values.write(name, value)
    assert values.read(name) == expected


WRITE_REFUSALS = [
    ("Motor1.Speed", 40000, ValueError, "40000 is out of range for INT (-32768..32767)"),
    ("Motor1.Speed", 2**70, ValueError, "out of range"),
    ("Motor1.Current", "abc", ValueError, "'abc' is not a REAL"),
    ("Motor1.Label", "a label too long", ValueError, "is longer than STRING[12] holds"),
    ("Motor1.Label", dt.timedelta(1), ValueError, "timedelta is not written to a text"),
    ("Motor1.Speed", dt.date(2024, 1, 1), ValueError, "'D#2024-01-01' is not a INT"),
    ("Motor1", 1, ValueError, "written member by member"),
    ("Motor1.Speed", None, TypeError, "not NoneType"),
    ("Motor1.Speed", [1], TypeError, "not list"),
    ("Nope", 1, varbank.UnknownItem, "unknown variable"),
]


@pytest.mark.parametrize("name, value, error, text", WRITE_REFUSALS)
def test_write_refusals_write_nothing(line, name, value, error, text):
    before = line.read("Motor1")
    with pytest.raises(error, match=re.escape(text)):
        line.write(name, value)
    # One bad value among good ones: nothing of the mapping is written.
    with pytest.raises(error, match=re.escape(text)):
        line.write_many({"Motor1.Running": True, name: value, "Motor1.State": 2})
    assert line.read("Motor1") == before


def test_writes_on_the_image_last_as_long_as_the_dictionary(line):
    line.write_many({"Motor1.Speed": "16#10", "Motor1.State": "Fault", "Status.15": True,
                     "Line.Recipes[2][3]": 1.25, "Motor1.Label": "drive"})
    assert line.read("Motor1") == {"Current": 0.0, "Label": "drive", "Running": False,
                                   "Speed": 16, "State": 2}
    assert line.read_many(["Status", "Line.Recipes[2]"]) == [0x8000, [0.0, 0.0, 1.25]]
    assert varbank.load(EXAMPLE).read("Motor1.Speed") == 0


@pytest.mark.parametrize("call, error", [
    (lambda d: d.read("Nope"), varbank.UnknownItem),
    (lambda d: d.read_many(["Motor1.Speed", "Counter.16"]), varbank.UnknownItem),
    (lambda d: d.read_many(["Motor1.Speed", 3]), TypeError),
    (lambda d: d.write_many([("Motor1.Speed", 1)]), TypeError),
    (lambda d: d.write_many({1: 1}), TypeError),
])
def test_read_refusals(line, call, error):
    with pytest.raises(error):
        call(line)


@pytest.mark.parametrize("options, text", [
    ({"modbus": "127.0.0.1:99999"}, "modbus"),
    ({"modbus": ""}, "modbus"),
    ({"word_order": "middle"}, "word_order"),
    ({"map": "flatter"}, "map"),
    ({"timeout": 0}, "timeout"),
    ({"timeout": 601}, "timeout"),
])
def test_malformed_memory_options(options, text):
    with pytest.raises(ValueError, match=text):
        varbank.load(EXAMPLE, **options)


def test_bits_of_one_word_written_from_threads_all_land(line):
    def work(bit):
        for round_ in range(200):
            line.write(f"Status.{bit}", round_ % 2 == 1)  # ends on True

    threads = [threading.Thread(target=work, args=(bit,)) for bit in range(16)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert line.read("Status") == 0xFFFF


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


@pytest.fixture(scope="module")
def server():
    """A pymodbus server on 127.0.0.1 for at most 60 s, and a client to look into it."""
    client_module = pytest.importorskip("pymodbus.client")
    port = free_port()
    script = pathlib.Path(__file__).parents[2] / "tests" / "support" / "modbus_server.py"
    process = subprocess.Popen([sys.executable, str(script), "60", str(port)],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    client = client_module.ModbusTcpClient("127.0.0.1", port=port, timeout=2)
    deadline = time.monotonic() + 10
    while not client.connect():
        assert time.monotonic() < deadline and process.poll() is None, "no Modbus server"
        time.sleep(0.1)
    yield port, client
    client.close()
    process.kill()
    process.wait()


def registers(client, address, count):
    return client.read_holding_registers(address, count, slave=1).registers


@pytest.mark.parametrize("word_order, counter_words", [
    ("high-first", [0x0001, 0x0002]), ("low-first", [0x0002, 0x0001])])
def test_values_over_modbus_land_in_their_registers(server, word_order, counter_words):
    port, client = server
    plc = varbank.load(EXAMPLE, modbus=f"127.0.0.1:{port}/1", word_order=word_order)
    plc.write_many({"Status": 0x1234, "Counter": 0x00010002, "ValveCommand": 0xFFFF})
    assert registers(client, 1034, 1) == [0x1234]  # %MW10
    assert registers(client, 2060, 2) == counter_words  # %MD6
    assert registers(client, 4, 1) == [0xFFFF]  # %QW4
    client.write_register(1034, 0x0008, slave=1)
    assert plc.read_many(["Status", "Status.3", "Counter", "ValveCommand", "InletSensor"]) == \
        [8, True, 0x00010002, 0xFFFF, False]
    plc.write("Status.0", True)
    assert registers(client, 1034, 1) == [0x0009]


def test_modbus_failures(server):
    port, _ = server
    plc = varbank.load(EXAMPLE, modbus=f"127.0.0.1:{port}", timeout=0.5)
    with pytest.raises(varbank.ValueReadError, match="Motor1.Speed") as raised:
        plc.read("Motor1.Speed")  # not located: no Modbus place
    assert isinstance(raised.value, OSError) and raised.value.name == "Motor1.Speed"
    with pytest.raises(varbank.ValueWriteError) as raised:
        plc.write_many({"Status": 1, "Counter": 2, "Motor1.Speed": 3, "Status.1": True})
    assert (raised.value.name, raised.value.written) == ("Motor1.Speed", ["Status", "Counter"])
    with pytest.raises(ValueError):  # checked before anything goes to the PLC
        plc.write_many({"Status": 5, "Motor1.Speed": 40000})
    assert plc.read("Status") == 1

    closed = varbank.load(EXAMPLE, modbus=f"127.0.0.1:{free_port()}", timeout=0.5)
    with pytest.raises(varbank.ValueReadError):
        closed.read("Status")
    with pytest.raises(varbank.ValueWriteError):
        closed.write("Status", 1)


def test_a_read_waiting_for_the_plc_releases_the_gil():
    """A server that accepts and never answers: the read waits its timeout, Python runs on."""
    with socket.socket() as silent:
        silent.bind(("127.0.0.1", 0))
        silent.listen()
        plc = varbank.load(EXAMPLE, modbus=f"127.0.0.1:{silent.getsockname()[1]}", timeout=0.5)

        def read():
            with pytest.raises(varbank.ValueReadError, match="timed out"):
                plc.read("Status")

        assert another_thread_runs_during(read)


def test_flat_map_puts_memory_at_its_own_numbers(server):
    port, client = server
    plc = varbank.load(EXAMPLE, modbus=f"127.0.0.1:{port}/1", map="flat")
    plc.write_many({"Status": 0x0102, "Counter": 0x00030004, "AlarmLamp": True,
                    "StartButton": True})
    assert registers(client, 10, 1) == [0x0102]  # %MW10
    assert registers(client, 12, 2) == [0x0003, 0x0004]  # %MD6
    assert registers(client, 15, 1) == [0x0004]  # %MX30.2: bit 2 of register 15
    assert client.read_coils(5, 1, slave=1).bits[0]  # %M5
    client.write_register(10, 7, slave=1)
    assert plc.read_many(["Status", "AlarmLamp", "StartButton"]) == [7, True, True]
    with pytest.raises(varbank.ValueReadError, match="no Modbus place in the flat register map"):
        plc.read("ValveCommand")  # %QW4
