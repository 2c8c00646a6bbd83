"""Runs `varbank serve` on 127.0.0.1 with a free port for the service tests."""
import json
import os
import pathlib
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.parse
import urllib.request

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "scripts"))
EXAMPLE = ROOT / "examples" / "production_line.xml"


class Server:
    """One `varbank serve` process; stopped with SIGTERM."""

    def __init__(self, paths, *options, watch_ms=50, preexec_fn=None):
        binary = os.environ.get("VARBANK_BIN", str(ROOT / "build" / "host" / "varbank"))
        command = [binary, "serve", *map(str, paths), "--port", "0", "--bind", "127.0.0.1",
                   "--watch-ms", str(watch_ms), *options]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True, preexec_fn=preexec_fn)
        line = self.process.stdout.readline()
        if "http://" not in line:
            self.process.kill()
            raise RuntimeError("serve did not start: " + line + self.process.stderr.read())
        self.url = line.split(" at ")[1].strip()
        self.host, port = urllib.parse.urlsplit(self.url).netloc.rsplit(":", 1)
        self.port = int(port)

    def request(self, method, endpoint, params=None, body=None, headers=None):
        """(status, decoded JSON or text) of one request."""
        url = self.url + endpoint.lstrip("/")
        if params:
            url += "?" + urllib.parse.urlencode(params, doseq=True)
        data = body if isinstance(body, (bytes, type(None))) else json.dumps(body).encode()
        request = urllib.request.Request(url, data=data, method=method, headers=headers or {})
        try:
            with urllib.request.urlopen(request, timeout=30) as response:
                return response.status, decode(response)
        except urllib.error.HTTPError as error:
            return error.code, decode(error)

    def get(self, endpoint, **params):
        return self.request("GET", endpoint, params)

    def post(self, endpoint, body):
        return self.request("POST", endpoint, body=body)

    def stop(self, timeout=20):
        """SIGTERM, then the exit status and what the service logged."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise
        return self.process.returncode, self.process.stderr.read()


class ModbusStandIn:
    """A PLC for the tests: tests/support/modbus_server.py (Debian's pymodbus) on 127.0.0.1,
    whose registers the test reads directly and which it can make silent (SIGSTOP: connections
    are taken, nothing answers)."""

    def __init__(self, seconds=120):
        self.process = subprocess.Popen(
            ["/usr/bin/python3", str(ROOT / "tests/support/modbus_server.py"), str(seconds)],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        port = self.process.stdout.readline().strip()
        if not port.isdigit():
            self.process.kill()
            pytest.skip("pymodbus is not available: " + self.process.stderr.read()[-300:])
        self.port = int(port)

    def holding_registers(self, address, count):
        from pymodbus.client import ModbusTcpClient
        client = ModbusTcpClient("127.0.0.1", port=self.port, timeout=5)
        try:
            return list(client.read_holding_registers(address, count, slave=1).registers)
        finally:
            client.close()

    def silence(self, silent=True):
        self.process.send_signal(signal.SIGSTOP if silent else signal.SIGCONT)

    def stop(self):
        self.process.send_signal(signal.SIGCONT)
        self.process.kill()
        self.process.wait(timeout=10)


def decode(response):
    text = response.read().decode("utf-8")
    kind = response.headers.get("Content-Type", "")
    return json.loads(text) if kind.startswith("application/json") else text


def wait_until(check, timeout=15.0):
    """Polls check() until it is true; fails the test after timeout seconds."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if check():
            return
        time.sleep(0.05)
    pytest.fail("condition not met within %.0f s" % timeout)


@pytest.fixture(scope="session")
def generated(tmp_path_factory):
    """A folder with the example and a generated program of 2,500 variables."""
    from generate_program import write_program
    folder = tmp_path_factory.mktemp("programs")
    shutil.copy(EXAMPLE, folder / "production_line.xml")
    write_program(folder / "plant.xml", 2500, "plant")
    return folder


@pytest.fixture(scope="module")
def server(generated):
    served = Server([generated])
    yield served
    status, log = served.stop()
    assert status == 0, log


@pytest.fixture()
def two_programs(tmp_path):
    """A folder of two copies of the example: line_a and line_b."""
    for name in ("line_a", "line_b"):
        shutil.copy(EXAMPLE, tmp_path / (name + ".xml"))
    return tmp_path


def socket_stand_in(keep):
    """A PLC on 127.0.0.1 that takes connections and never answers: each one is kept open
    (keep) or closed at once. Yields its port; closes everything after."""
    listener = socket.create_server(("127.0.0.1", 0))
    listener.settimeout(0.1)
    stop = threading.Event()
    clients = []

    def serve():
        while not stop.is_set():
            try:
                client, _ = listener.accept()
            except OSError:
                continue
            if keep:
                client.setblocking(False)
                clients.append(client)
            else:
                client.close()

    thread = threading.Thread(target=serve, daemon=True)
    thread.start()
    yield listener.getsockname()[1]
    stop.set()
    thread.join(timeout=5)
    for client in clients:
        client.close()
    listener.close()


@pytest.fixture()
def silent_plc():
    """A Modbus stand-in that reads every request and answers none."""
    yield from socket_stand_in(keep=True)


@pytest.fixture()
def dropping_plc():
    """A stand-in that takes each connection and closes it at once: every request fails."""
    yield from socket_stand_in(keep=False)
