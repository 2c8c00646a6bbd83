"""The HTTP front against hostile clients: Host and Origin checks, protocol details refused
with their status, the connection cap and the descriptor limit, and the stop serving what the
kernel already queued."""
import os
import resource
import signal
import socket
import time

import pytest

from conftest import EXAMPLE, Server

DICT = "/api/dictionaries/production_line"
RESOLVE = b'{"items": ["Motor1.Speed"]}'


@pytest.fixture(scope="module")
def front():
    served = Server([EXAMPLE], "--allowed-host", "Plant.Example")
    yield served
    status, log = served.stop()
    assert status == 0, log


def connect(server, timeout=10):
    return socket.create_connection((server.host, server.port), timeout=timeout)


def read_answer(connection):
    """(status, headers in lower case, body) of one answer, or (None, {}, b"") when the
    connection closes first."""
    data = b""
    while b"\r\n\r\n" not in data:
        part = connection.recv(65536)
        if not part:
            return None, {}, b""
        data += part
    head, body = data.split(b"\r\n\r\n", 1)
    lines = head.decode("latin-1").split("\r\n")
    headers = dict((name.strip().lower(), value.strip()) for name, value in
                   (line.split(":", 1) for line in lines[1:]))
    length = int(headers.get("content-length", "0"))
    while len(body) < length:
        part = connection.recv(65536)
        if not part:
            break
        body += part
    return int(lines[0].split()[1]), headers, body


def exchange(server, request):
    with connect(server) as connection:
        connection.sendall(request)
        return read_answer(connection)


def request_bytes(method, target, fields, body=b""):
    text = f"{method} {target} HTTP/1.1\r\n" + "".join(f"{name}: {value}\r\n"
                                                      for name, value in fields)
    return text.encode() + b"\r\n" + body


SAME = "127.0.0.1:{port}"
HEADER_CASES = [
    ("address", "GET", "/healthz", [("Host", SAME)], b"", 200),
    ("localhost", "GET", "/healthz", [("Host", "localhost:{port}")], b"", 200),
    ("allowed name", "GET", "/healthz", [("Host", "PLANT.example:{port}")], b"", 200),
    ("rebound name", "GET", "/api/dictionaries", [("Host", "attacker.example:{port}")], b"", 421),
    ("no Host", "GET", "/healthz", [], b"", 400),
    ("same origin", "POST", DICT + "/resolve",
     [("Host", SAME), ("Origin", "http://" + SAME), ("Content-Length", str(len(RESOLVE)))],
     RESOLVE, 200),
    ("cross-origin text POST", "POST", DICT + "/resolve",
     [("Host", SAME), ("Origin", "http://attacker.example"), ("Content-Type", "text/plain"),
      ("Content-Length", str(len(RESOLVE)))], RESOLVE, 403),
    ("cross-origin read", "GET", DICT + "/values?item=Motor1.Speed",
     [("Host", SAME), ("Origin", "http://127.0.0.1:1")], b"", 403),
    ("other expectation", "POST", DICT + "/resolve",
     [("Host", SAME), ("Expect", "200-ok"), ("Content-Length", str(len(RESOLVE)))], b"", 417),
    ("announced body too large", "POST", DICT + "/resolve",
     [("Host", SAME), ("Expect", "100-continue"), ("Content-Length", "2000000")], b"", 413),
    ("gzip then chunked", "POST", DICT + "/resolve",
     [("Host", SAME), ("Transfer-Encoding", "gzip, chunked")], b"0\r\n\r\n", 501),
    ("chunked", "POST", DICT + "/resolve", [("Host", SAME), ("Transfer-Encoding", "chunked")],
     b"%x\r\n%s\r\n0\r\n\r\n" % (len(RESOLVE), RESOLVE), 200),
    ("encoded slash", "GET", DICT + "%2Fstamp", [("Host", SAME)], b"", 404),
]


@pytest.mark.parametrize("method,target,fields,body,status",
                         [case[1:] for case in HEADER_CASES],
                         ids=[case[0] for case in HEADER_CASES])
def test_headers_are_checked_before_the_request_is_served(front, method, target, fields, body,
                                                           status):
    fields = [(name, value.format(port=front.port)) for name, value in fields]
    got, headers, payload = exchange(front, request_bytes(method, target, fields, body))
    assert got == status, payload
    if status >= 400:
        assert b'"error"' in payload
    assert headers["x-content-type-options"] == "nosniff"
    assert headers["x-frame-options"] == "DENY"
    assert "frame-ancestors 'none'" in headers["content-security-policy"]


def test_the_page_has_a_policy_that_allows_no_inline_code(front):
    _, headers, page = exchange(front, request_bytes("GET", "/", [("Host", SAME.format(
        port=front.port))]))
    policy = headers["content-security-policy"]
    assert "script-src 'self'" in policy and "unsafe-inline" not in policy
    assert b"<script>" not in page and b" style=" not in page


def test_a_client_that_expects_100_continue_gets_it_before_sending_the_body(front):
    with connect(front, timeout=0.5) as connection:  # clients give up waiting after 1 s
        connection.sendall(request_bytes("POST", DICT + "/resolve", [
            ("Host", SAME.format(port=front.port)), ("Expect", "100-continue"),
            ("Content-Length", str(len(RESOLVE)))]))
        interim = connection.recv(65536)
        assert interim.startswith(b"HTTP/1.1 100 Continue\r\n")
        connection.settimeout(10)
        connection.sendall(RESOLVE)
        status, _, payload = read_answer(connection)
    assert status == 200 and b'"resolved":true' in payload


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat", encoding="ascii") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def descriptor_limit(count):
    def limit():
        resource.setrlimit(resource.RLIMIT_NOFILE, (count, count))
    return limit


@pytest.mark.parametrize("descriptors,options", [
    (128, []),  # the connection cap derived from the limit
    (64, ["--max-connections", "1000"]),  # a cap above the limit: accepting runs out
], ids=["default cap", "out of descriptors"])
def test_more_idle_clients_than_descriptors_neither_spin_nor_lock_out_new_clients(
        descriptors, options):
    served = Server([EXAMPLE], *options, preexec_fn=descriptor_limit(descriptors))
    idle = []
    try:
        for _ in range(150):
            idle.append(connect(served))
        time.sleep(0.5)  # the service takes what it can
        before = cpu_seconds(served.process.pid)
        time.sleep(1.5)
        spent = cpu_seconds(served.process.pid) - before
        assert spent < 0.5, f"the service used {spent:.2f} s of CPU in 1.5 s while idle"
        start = time.monotonic()
        with connect(served, timeout=5) as fresh:
            fresh.sendall(request_bytes("GET", "/healthz", [("Host", "127.0.0.1")]))
            status, _, _ = read_answer(fresh)
        assert status == 200 and time.monotonic() - start < 5
    finally:
        for connection in idle:
            connection.close()
        status, log = served.stop()
    assert status == 0, log


def test_at_the_cap_the_longest_idle_client_goes_and_busy_ones_get_503():
    served = Server([EXAMPLE], "--max-connections", "2")
    try:
        oldest, newer = connect(served), connect(served)
        time.sleep(0.2)
        status, _, _ = exchange(served, request_bytes("GET", "/healthz", [("Host", "127.0.0.1")]))
        assert status == 200
        oldest.settimeout(5)
        assert oldest.recv(100) == b""  # closed to make room
        # Two clients in the middle of a request are not idle: a third one is turned away.
        busy = [connect(served) for _ in range(2)]
        newer.close()
        for connection in busy:
            connection.sendall(b"GET /healthz HTTP/1.1\r\n")
        time.sleep(0.3)
        status, headers, payload = exchange(
            served, request_bytes("GET", "/healthz", [("Host", "127.0.0.1")]))
        assert status == 503 and headers["retry-after"] == "1" and b"error" in payload
        for connection in busy:
            connection.close()
    finally:
        status, log = served.stop()
    assert status == 0 and "limit of 2 connections" in log, log


def test_a_stop_serves_the_connections_already_queued():
    served = Server([EXAMPLE], "--threads", "1")
    clients = []
    try:
        served.process.send_signal(signal.SIGSTOP)  # connections now wait in the kernel's queue
        for _ in range(6):
            connection = connect(served)
            connection.sendall(request_bytes("GET", "/healthz",
                                             [("Host", "127.0.0.1"), ("Connection", "close")]))
            clients.append(connection)
        served.process.send_signal(signal.SIGTERM)
        served.process.send_signal(signal.SIGCONT)
        answers = [read_answer(connection)[0] for connection in clients]
    finally:
        for connection in clients:
            connection.close()
        status, log = served.stop()
    assert answers == [200] * 6
    assert status == 0, log
