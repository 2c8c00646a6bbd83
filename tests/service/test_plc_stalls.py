"""A PLC that accepts connections and never answers: requests waiting on it run on its own
worker, so the health check, the page and other requests keep answering at once; a request's
time is bounded as a whole; the PLC is then left alone for a back-off period; and past the
queue's capacity a client is told to come back (503 with Retry-After)."""
import concurrent.futures
import json
import time
import urllib.error
import urllib.request

from conftest import EXAMPLE, Server

TIMEOUT_MS = 1000


def timed(server, endpoint, **params):
    start = time.monotonic()
    status, payload = server.get(endpoint, **params)
    return status, payload, time.monotonic() - start


def test_a_silent_plc_stalls_nothing_else(silent_plc, two_programs):
    served = Server([two_programs], "--modbus", f"127.0.0.1:{silent_plc}",
                    "--timeout", str(TIMEOUT_MS), "--threads", "1")
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
            start = time.monotonic()
            reads = [pool.submit(timed, served, "api/dictionaries/line_a/values",
                                 item=["Status", "Counter"]) for _ in range(3)]
            time.sleep(0.2)  # the first read is waiting on the PLC now
            for endpoint, params in (("healthz", {}), ("", {}),
                                     ("api/dictionaries/line_b/resolve", {"item": "Status"}),
                                     ("api/dictionaries/line_b/browse", {})):
                status, _, elapsed = timed(served, endpoint, **params)
                assert status == 200, endpoint
                assert elapsed < 0.3, f"{endpoint or '/'} took {elapsed:.2f} s"
            answers = [read.result(timeout=10) for read in reads]
            took = time.monotonic() - start
        errors = [entry["error"] for status, payload, _ in answers for entry in payload["values"]]
        assert all(status == 200 for status, _, _ in answers)
        assert any("timed out" in error for error in errors), errors
        assert sum("not answering" in error for error in errors) >= 4, errors
        # One timeout for the three requests, not one per request or per register group.
        assert took < 2 * TIMEOUT_MS / 1000, f"the reads took {took:.2f} s"
        plc = served.get("api/dictionaries/line_a")[1]["plc"]
        assert plc["answering"] is False and plc["target"].startswith("127.0.0.1:")
        # During the back-off the PLC's requests fail at once.
        status, payload, elapsed = timed(served, "api/dictionaries/line_b/values", item="Status")
        assert elapsed < 0.3 and "not answering" in payload["values"][0]["error"]
    finally:
        assert served.stop()[0] == 0


def test_past_the_queue_a_client_is_told_to_retry(silent_plc):
    served = Server([EXAMPLE], "--modbus", f"127.0.0.1:{silent_plc}",
                    "--timeout", str(TIMEOUT_MS))
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=80) as pool:
            def read(_):
                url = served.url + "api/dictionaries/production_line/values?item=Status"
                try:
                    with urllib.request.urlopen(url, timeout=20) as response:
                        return response.status, None, json.load(response)
                except urllib.error.HTTPError as error:
                    return error.code, error.headers.get("Retry-After"), json.load(error)
            answers = list(pool.map(read, range(80), timeout=30))
        statuses = [status for status, _, _ in answers]
        assert statuses.count(503) >= 1, statuses
        assert set(statuses) <= {200, 503}, statuses
        _, retry, busy = next(answer for answer in answers if answer[0] == 503)
        assert retry == "1" and "busy" in busy["error"]
    finally:
        assert served.stop()[0] == 0
