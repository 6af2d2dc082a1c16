#!/usr/bin/env python3
"""The line's page in Debian's chromium, over a PostgreSQL 15 server of the test's own: three
stations' rows written as stations write them (a heartbeat each second, one let fall silent),
records made by real upgrades of virtual cameras. Their slots change on the page in step with
their rows, a failed slot is marked and counted, a silent station reads not heard from, the
counters and yields match `records --summary`, names stay text, eight stations of 32 slots fit
a 1920x1080 screen, a phone shows one station, and the page speaks Chinese.

usage: line_browser_test.py ORVANE_CLI [PICTURE]   (exit 77: no chromium or PostgreSQL, skipped;
under CI=true 1). PICTURE: where to save the wall's picture (docs/line.png)."""
import base64
import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

sys.dont_write_bytecode = True  # nothing left behind in the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "dashboard"))
from cdp_browser import Browser, free_port, lacking  # noqa: E402
from missing_package import missing_package  # noqa: E402
from postgres_server import PG_BIN, Server  # noqa: E402

SPEED = "115200"
HOSTILE = "<img src=x onerror=alert(1)>"
failures = []


def check(condition, text):
    if not condition:
        failures.append(text)


def state(slots):
    return {"image": "fw.bin", "sha256": "ab" * 32, "bytes": 3072, "retries": 0,
            "total": {"succeeded": 0, "notSucceeded": 0, "yield": None, "firstPassYield": None, "finalYield": None},
            "slots": [{"slot": "s%02d" % (i + 1), "port": "/dev/pts/%d" % i, "present": True, "state": s,
                       "unit": None, "attempt": 1, "step": "", "percent": 0, "resends": 0, "lastResult": "",
                       "lastReason": "", "tally": {"succeeded": 0, "notSucceeded": 0}} for i, s in enumerate(slots)]}


class Stations:
    """Rows written as stations write them, a heartbeat each second for those still alive."""

    def __init__(self, pg):
        self.pg, self.rows, self.alive, self.lock = pg, {}, set(), threading.Lock()
        self.stopping = threading.Event()
        threading.Thread(target=self.beat, daemon=True).start()

    def write(self, name, slots, alive=True):
        with self.lock:
            self.rows[name] = state(slots)
            (self.alive.add if alive else self.alive.discard)(name)
        self.publish(name)

    def publish(self, name):
        body = json.dumps(self.rows[name])
        self.pg.sql("WITH kept AS (INSERT INTO stations (name, host, process_id, state, started_at) VALUES "
                    "($n$%s$n$, 'line-host', 1, $j$%s$j$::jsonb, now() - interval '1 hour') ON CONFLICT (name) DO "
                    "UPDATE SET state = EXCLUDED.state, last_seen = now() RETURNING name) "
                    "SELECT pg_notify('orvane_stations', name) FROM kept" % (name, body))

    def beat(self):
        while not self.stopping.wait(1):
            with self.lock:
                names = list(self.alive)
            try:
                for name in names:
                    self.publish(name)
            except subprocess.CalledProcessError:
                return  # the server is gone: the test is ending


def upgrades(cli, tmp, uri):
    """Three attempts of station A's: two succeed, one fails (every block refused)."""
    image = os.path.join(tmp, "fw.bin")
    with open(image, "wb") as f:
        f.write(bytes(range(256)) * 12)
    for n, faults in enumerate([[], [], ["--nak-every", "1"]]):
        extra = ["--max-resends", "2"] if faults else []
        link = os.path.join(tmp, "cam%d" % n)
        camera = subprocess.Popen([cli, "simulate", "--bps", SPEED, "--upbps", SPEED, "--link", link] + faults,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while not os.path.exists(link) and time.time() < deadline:
            time.sleep(0.1)
        subprocess.run([cli, "upgrade", image, "--port", link, "--bps", SPEED, "--upbps", SPEED, "--records", uri,
                        "--station-name", "A"] + extra, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        camera.send_signal(signal.SIGINT)
        camera.wait(10)


def summary_text(cli, uri):
    """Station A's counters as records --summary gives them, in the page's words."""
    out = subprocess.run([cli, "records", "--summary", "--json", "--records", uri], capture_output=True, text=True).stdout
    for line in out.splitlines():
        event = json.loads(line)
        if event.get("event") == "recordSummary" and event.get("by") == "station" and event.get("station") == "A":
            y = lambda v: "–" if v is None else "%.1f %%" % (v * 100)  # noqa: E731
            not_ok = event["attempts"] - event["succeeded"] - event["running"]
            return "Succeeded\u00a0%d · Not succeeded\u00a0%d · First pass yield\u00a0%s · Final yield\u00a0%s" % (
                event["succeeded"], not_ok, y(event["firstPassYield"]), y(event["finalYield"]))
    return None


def matches_schema(port):
    """/api/line against docs/line-api.schema.json (python3-jsonschema)."""
    try:
        import jsonschema
    except ImportError:
        return missing_package("python3-jsonschema", "no jsonschema module") == 77 or "no python3-jsonschema"
    with open(os.path.join(HERE, "..", "..", "docs", "line-api.schema.json"), encoding="utf-8") as f:
        schema = json.load(f)
    with urllib.request.urlopen("http://127.0.0.1:%d/api/line" % port, timeout=10) as r:
        line = json.load(r)
    errors = [e.message for e in jsonschema.Draft202012Validator(schema).iter_errors(line)]
    return not errors or "/api/line breaks its schema: %r" % errors[:3]


def until(browser, expression, seconds=5):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if browser.evaluate(expression):
            return True
        time.sleep(0.1)
    return False


def cell(station, slot):
    return ("document.querySelector('article.station[data-station=\"%s\"] .cell[data-slot=\"%s\"]')"
            % (station, slot))


def in_step(browser, stations):
    """Three stations' slots as their rows change, a failed one marked and counted."""
    for name in ("A", "B", HOSTILE):
        stations.write(name, ["waiting"] * 4)
    check(until(browser, "document.querySelectorAll('.station').length === 3"), "not three stations shown")
    for states in (["flashing", "waiting", "succeeded", "waiting"], ["succeeded", "flashing", "failed", "waiting"]):
        started = time.time()
        stations.write("B", states)
        seen = until(browser, " && ".join("%s?.dataset.state === '%s'" % (cell("B", "s%02d" % (i + 1)), s)
                                          for i, s in enumerate(states)), 3)
        check(seen, "B's slots did not follow %r" % states)
        check(time.time() - started < 2, "B's slots followed %.1f s late" % (time.time() - started))
    check(browser.evaluate(cell("B", "s03") + ".classList.contains('attention')"), "the failed slot is not marked")
    strip = browser.evaluate("document.getElementById('attention').textContent")
    check(strip.startswith("Need a person: 1") and "failed 1" in strip, "the strip says %r" % strip)
    check(not browser.evaluate("document.querySelector('main img')") and not browser.dialogs,
          "a station's name became markup")
    check(until(browser, "Array.from(document.querySelectorAll('.station .name')).some(n => n.title === %s)"
                % json.dumps(HOSTILE)), "the hostile name is not shown as text")
    stations.write("A", ["waiting"] * 4, alive=False)  # falls silent: --stale-after 2
    check(until(browser, "document.querySelector('article.station[data-station=\"A\"]')"
                ".classList.contains('notHeardFrom')", 6), "a silent station is not marked")
    check("not heard from since" in browser.evaluate("document.querySelector('article.station[data-station=\"A\"]"
                                                     " .status').textContent"), "no 'not heard from since'")


def layouts(browser, stations, picture):
    """Eight stations of 32 slots on a wall screen without scrolling; one at a time on a phone."""
    browser.call("Emulation.setDeviceMetricsOverride", width=1920, height=1080, deviceScaleFactor=1, mobile=False)
    for n in range(8):
        stations.write("station-%d" % (n + 1), (["waiting", "flashing", "succeeded", "failed"] * 8))
    until(browser, "document.querySelectorAll('.station').length === 11")
    time.sleep(0.5)
    unseen = browser.evaluate("Array.from(document.querySelectorAll('.station[data-station^=\"station-\"] .cell'))"
                              ".filter(c => c.getBoundingClientRect().bottom > innerHeight).length")
    check(unseen == 0, "%s slots of 8 x 32 below a 1920x1080 screen" % unseen)
    if picture:
        for name in ("A", "B", HOSTILE):
            with stations.lock:
                stations.alive.discard(name)
            stations.pg.sql("DELETE FROM stations WHERE name = $n$%s$n$" % name)
        until(browser, "document.querySelectorAll('.station').length === 8")
        time.sleep(0.5)
        shot = browser.call("Page.captureScreenshot", format="png",
                            clip={"x": 0, "y": 0, "width": 1920, "height": 1080, "scale": 0.5})
        with open(picture, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
    browser.call("Emulation.setDeviceMetricsOverride", width=390, height=844, deviceScaleFactor=1, mobile=True)
    time.sleep(0.5)
    shown = browser.evaluate("Array.from(document.querySelectorAll('.station')).filter(s => s.offsetHeight > 0).length")
    check(shown == 1, "a phone shows %s stations" % shown)
    check(browser.evaluate("document.documentElement.scrollWidth <= innerWidth"), "wider than a phone")


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    if lacking():
        return missing_package(lacking(), "no browser to show the page in")
    if not os.path.exists(PG_BIN + "initdb"):
        return missing_package("postgresql-15", "PostgreSQL 15 is not installed")
    cli, picture = sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None
    pg = Server()
    try:
        with tempfile.TemporaryDirectory() as tmp:
            run(cli, picture, pg, tmp)
    finally:
        pg.stop(check=False)
    for failure in failures:
        print("FAIL:", failure)
    print("line browser test:", "failed" if failures else "passed")
    return 1 if failures else 0


def run(cli, picture, pg, tmp):
    os.environ["XDG_STATE_HOME"] = tmp  # the upgrades' own spool, not this desk's records
    subprocess.run([cli, "records", "--init", "--records", pg.uri], check=True, capture_output=True)
    upgrades(cli, tmp, pg.uri)
    stations = Stations(pg)
    port = free_port()
    line = subprocess.Popen([cli, "line", "--records", pg.uri, "--http", str(port), "--stale-after", "2"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    while "http://" not in (line.stderr.readline() or "http://"):
        pass
    browser = Browser(tmp, "en-US")
    try:
        browser.call("Emulation.setDeviceMetricsOverride", width=1920, height=1080, deviceScaleFactor=1,
                     mobile=False)
        browser.call("Page.navigate", url="http://127.0.0.1:%d/" % port)
        in_step(browser, stations)
        schema = matches_schema(port)
        check(schema is True, str(schema))
        wanted = summary_text(cli, pg.uri)
        check(until(browser, "document.querySelector('article.station[data-station=\"A\"] .counts:last-child')"
                    "?.textContent === %s" % json.dumps("Day: " + str(wanted)), 8),
              "A's day %r, records --summary %r" % (browser.evaluate(
                  "document.querySelector('article.station[data-station=\"A\"] .counts:last-child')?.textContent"),
                  wanted))
        layouts(browser, stations, picture)
        browser.evaluate("document.getElementById('lang').click()")
        check(browser.evaluate("document.querySelector('h1').textContent") == "Orvane 产线", "no Chinese title")
        words = browser.evaluate("Array.from(document.querySelectorAll('.cell .word'), w => w.textContent)")
        check({"失败", "成功", "升级中"} <= set(words), "no Chinese slot words: %r" % sorted(set(words)))
    finally:
        browser.close()
        stations.stopping.set()
        line.send_signal(signal.SIGINT)
        line.wait(20)


if __name__ == "__main__":
    sys.exit(main())
