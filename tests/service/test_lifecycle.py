"""The service over time: reload of changed files, stateless paging across processes, start
errors and a clean stop while requests run."""
import http.client
import json
import os
import shutil
import signal
import subprocess
import threading
import time
import urllib.parse

import pytest

from conftest import EXAMPLE, ROOT, Server, wait_until

DICT = "api/dictionaries/line"


def stamp_of(server):
    return server.get(DICT + "/stamp")[1]["stamp"]


def listing_error(server):
    return server.get("api/dictionaries")[1][0]["error"]


def test_reload_swaps_a_changed_file_and_keeps_the_old_dictionary_when_it_breaks(tmp_path):
    program = tmp_path / "line.xml"
    shutil.copy(EXAMPLE, program)
    served = Server([tmp_path])
    try:
        first = stamp_of(served)
        program.write_text(EXAMPLE.read_text().replace("speed setpoint (rpm)", "speed setpoint"))
        wait_until(lambda: stamp_of(served) != first)
        second = stamp_of(served)
        # Only a comment changed: the old build still matches partly.
        assert served.post(DICT + "/stamp/compare", {"stamp": first})[1] == {"result": "PARTIAL"}
        assert served.get(DICT + "/resolve", item="Motor1.Speed")[1]["results"][0]["comment"] \
            == "speed setpoint"

        program.write_text("<project><broken")
        wait_until(lambda: listing_error(served) is not None)
        assert "line.xml" in listing_error(served)
        assert stamp_of(served) == second
        assert served.get(DICT + "/resolve", item="Motor1.Speed")[1]["results"][0]["resolved"]

        shutil.copy(EXAMPLE, program)
        wait_until(lambda: listing_error(served) is None)
        assert stamp_of(served) == first
    finally:
        assert served.stop()[0] == 0


def test_a_file_dropped_into_a_served_folder_is_picked_up(tmp_path):
    shutil.copy(EXAMPLE, tmp_path / "line.xml")
    served = Server([tmp_path])
    try:
        shutil.copy(EXAMPLE, tmp_path / "second.xml")
        wait_until(lambda: served.get("api/dictionaries/second")[0] == 200)
        assert sorted(e["name"] for e in served.get("api/dictionaries")[1]) == ["line", "second"]
    finally:
        status, log = served.stop()
    assert status == 0 and "new file" in log, log


def test_a_rewrite_of_the_same_size_within_one_second_is_reloaded(tmp_path):
    program = tmp_path / "line.xml"
    text = EXAMPLE.read_text()
    changed = text.replace("speed setpoint (rpm)", "speed setpoint (RPM)")
    assert len(changed) == len(text)
    second = 1700000000 * 10**9  # both versions carry this second, a fraction apart
    program.write_text(text)
    os.utime(program, ns=(second + 100000000, second + 100000000))
    served = Server([tmp_path])
    try:
        first = stamp_of(served)
        with open(program, "r+", encoding="utf-8") as rewritten:  # the same file, in place
            rewritten.write(changed)
        os.utime(program, ns=(second + 600000000, second + 600000000))
        wait_until(lambda: stamp_of(served) != first)
        assert served.get(DICT + "/resolve", item="Motor1.Speed")[1]["results"][0]["comment"] \
            == "speed setpoint (RPM)"
    finally:
        assert served.stop()[0] == 0


def test_a_stop_does_not_wait_for_the_next_look_at_the_files(tmp_path):
    shutil.copy(EXAMPLE, tmp_path / "line.xml")
    served = Server([tmp_path], watch_ms=3600000)
    assert stamp_of(served)
    status, log = served.stop(timeout=10)  # the next look would be an hour away
    assert status == 0, log


def test_a_program_that_never_imported_is_listed_with_its_error(tmp_path):
    (tmp_path / "line.xml").write_text("<project>")
    served = Server([tmp_path])
    try:
        assert "line.xml" in listing_error(served)
        status, payload = served.get(DICT + "/stamp")
        assert status == 503 and payload["error"]
        shutil.copy(EXAMPLE, tmp_path / "line.xml")
        wait_until(lambda: served.get(DICT + "/stamp")[0] == 200)
    finally:
        assert served.stop()[0] == 0


def test_pages_continue_on_another_process_serving_the_same_file(generated):
    servers = [Server([generated / "plant.xml"]), Server([generated / "plant.xml"])]
    try:
        endpoint = "api/dictionaries/plant/browse"
        whole = servers[0].get(endpoint, pageSize=10000)[1]["children"]
        children, continuation, turn = [], None, 0
        while True:
            params = {"pageSize": 333}
            if continuation is not None:
                params["continuation"] = continuation
            page = servers[turn % 2].get(endpoint, **params)[1]
            children += page["children"]
            continuation, turn = page["continuation"], turn + 1
            if continuation is None:
                break
        assert turn > 2 and children == whole
    finally:
        for served in servers:
            assert served.stop()[0] == 0


@pytest.mark.parametrize("arguments,message", [
    (["/nonexistent/plant.xml"], "no such file or folder"),
    ([EXAMPLE, EXAMPLE], "already served"),
    ([ROOT / "scripts"], "holds no PLCopen file"),
    ([], "or --config FILE"),
    ([EXAMPLE, "--config", ROOT / "examples/plant.toml"], "give no PATH with it"),
    (["--config", ROOT / "examples/plant.toml", "--writable"], "--writable is given in the"),
])
def test_start_errors(arguments, message):
    binary = os.environ.get("VARBANK_BIN", str(ROOT / "build" / "host" / "varbank"))
    run = subprocess.run([binary, "serve", *map(str, arguments), "--port", "0"],
                         capture_output=True, text=True, timeout=30, check=False)
    assert run.returncode == 2 and message in run.stderr


class Client(threading.Thread):
    """Posts resolve batches on one keep-alive connection until the server goes away; keeps
    (start, end, status, result count) of every answer it received."""

    def __init__(self, url, names):
        super().__init__()
        self.host, self.port = urllib.parse.urlsplit(url).netloc.split(":")
        self.body = json.dumps({"items": names})
        self.count = len(names)
        self.answers = []
        self.sent = None  # when the request now on its way was sent, or None between requests

    def run(self):
        connection = http.client.HTTPConnection(self.host, int(self.port), timeout=30)
        for _ in range(2000):
            start = self.sent = time.monotonic()
            try:
                connection.request("POST", "/api/dictionaries/plant/resolve", body=self.body)
                response = connection.getresponse()
                body = response.read()
                self.sent = None
                payload = json.loads(body)
            except (OSError, http.client.HTTPException):
                return  # the server stopped: nothing more is sent
            self.answers.append((start, time.monotonic(), response.status,
                                 len(payload.get("results", []))))


def test_stop_lets_requests_in_progress_finish(generated):
    served = Server([generated / "plant.xml"], "--threads", "4")
    names = [f"V{i:05d}" for i in range(2500)] * 2
    clients = [Client(served.url, names) for _ in range(4)]
    for client in clients:
        client.start()
    wait_until(lambda: all(client.answers for client in clients))
    # The signal goes while a request is on its way (the clients parse between requests).
    wait_until(lambda: any(client.sent is not None for client in clients))
    signalled = time.monotonic()
    served.process.send_signal(signal.SIGTERM)
    status, log = served.stop(timeout=20)
    stopped = time.monotonic()
    for client in clients:
        client.join(timeout=30)
    answers = [answer for client in clients for answer in client.answers]
    assert status == 0 and "stopping on SIGTERM" in log
    assert all(code == 200 and count == len(names) for _, _, code, count in answers)
    across = [a for a in answers if a[0] < signalled < a[1]]
    assert across, "no request was in progress at the signal"
    assert stopped - signalled < 15


def test_requests_racing_reloads_each_see_one_whole_program(tmp_path):
    """Readers meet a program being swapped many times; each answer comes from one version
    (run under ThreadSanitizer in CI, where an unguarded swap shows as a race)."""
    program = tmp_path / "line.xml"
    text = EXAMPLE.read_text()
    versions = {"Bottling line 1": text, "Bottling line 2": text.replace(
        "Bottling line 1", "Bottling line 2")}
    shutil.copy(EXAMPLE, program)
    served = Server([tmp_path], watch_ms=10)
    rewrites_done = threading.Event()
    seen, failures = set(), []

    def rewrite():
        for round_ in range(40):
            program.write_text(list(versions.values())[round_ % 2])
            time.sleep(0.02)
        rewrites_done.set()

    def read():
        for _ in range(400):
            status, body = served.get(DICT + "/values", item="LineName")
            if status != 200 or body["values"][0]["value"] not in versions:
                failures.append((status, body))
            else:
                seen.add(body["values"][0]["value"])
            if rewrites_done.is_set():
                return

    try:
        threads = [threading.Thread(target=rewrite)] + [threading.Thread(target=read)
                                                        for _ in range(3)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=120)
        assert failures == []
        assert seen == set(versions)
    finally:
        assert served.stop()[0] == 0
