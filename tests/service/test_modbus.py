"""The service in front of a PLC over Modbus TCP (Debian's pymodbus as the PLC, on 127.0.0.1):
located names read and written through the registers, the others refused by name, and a PLC
that goes away reported as an error rather than a stale value."""
import pytest

from conftest import EXAMPLE, ModbusStandIn, Server

DICT = "api/dictionaries/production_line"
TOKEN = "modbus-test"


@pytest.fixture()
def plc():
    stand_in = ModbusStandIn(60)
    yield stand_in.process, stand_in.port
    stand_in.stop()


def read(server, *names):
    payload = server.get(DICT + "/values", item=list(names))[1]
    return {entry["name"]: entry for entry in payload["values"]}


def test_values_live_in_the_plc_registers(plc):
    process, port = plc
    served = Server([EXAMPLE], "--modbus", f"127.0.0.1:{port}", "--timeout", "300",
                    "--writable", "--token", TOKEN)
    try:
        assert served.get(DICT)[1]["memory"] == "modbus"
        status, payload = served.request(
            "PUT", DICT + "/values", body={"values": {"Status": 0x1234, "Counter": 70000}},
            headers={"Authorization": "Bearer " + TOKEN})
        assert status == 200 and all(entry["error"] is None for entry in payload["values"])
        got = read(served, "Status", "Status.2", "Counter", "Motor1.Speed")
        assert got["Status"]["value"] == 0x1234 and got["Status.2"]["value"] is True
        assert got["Counter"]["value"] == 70000
        assert got["Motor1.Speed"]["value"] is None
        assert "Motor1.Speed" in got["Motor1.Speed"]["error"]

        process.kill()
        process.wait(timeout=10)
        gone = read(served, "Status")["Status"]
        assert gone["value"] is None and gone["error"]
    finally:
        assert served.stop()[0] == 0
