#!/usr/bin/env python3
"""How far behind the station a browser shows it: a station over virtual cameras with its page
open in Debian's headless chromium, and for each "state" message of the live events the time
from the station sending it (the message's own "time") to the page's next frame after it has
been applied. Goals: median and 95th percentile under 200 ms. Prints one table; exit 0 when
met, 1 when not, 77 without chromium.

usage: dashboard_latency.py ORVANE_CLI [--quick]   (4 cameras; --quick: 2, smaller image)"""
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "dashboard"))
from cdp_browser import Browser, available, free_port  # noqa: E402

SPEED = "115200"
# Each "state" message the page takes: when it was sent against the frame that shows it. The
# page's own listener runs first, so the frame after it holds the change.
MEASURE = """
window.lags = [];
const add = EventTarget.prototype.addEventListener;
EventTarget.prototype.addEventListener = function (type, listener, options) {
  if (this instanceof EventSource && type === "state") {
    const page = listener;
    listener = function (event) {
      page.call(this, event);
      const sent = Date.parse(JSON.parse(event.data).time);
      requestAnimationFrame(() => window.lags.push(Date.now() - sent));
    };
  }
  return add.call(this, type, listener, options);
};
"""


def cameras_and_slots(cli, tmp, count):
    links = [os.path.join(tmp, "cam%d" % i) for i in range(count)]
    cameras = [subprocess.Popen([cli, "simulate", "--bps", SPEED, "--upbps", SPEED, "--link", link],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for link in links]
    deadline = time.time() + 10
    while not all(os.path.exists(link) for link in links) and time.time() < deadline:
        time.sleep(0.05)
    slots = os.path.join(tmp, "slots.txt")
    with open(slots, "w") as f:
        f.write("".join(link + "\n" for link in links))
    return cameras, slots


def percentile(samples, share):
    ordered = sorted(samples)
    return ordered[min(len(ordered) - 1, max(0, int(share * len(ordered) + 0.999999) - 1))]


def measure(cli, tmp, quick):
    count = 2 if quick else 4
    image = os.path.join(tmp, "fw.bin")
    with open(image, "wb") as f:
        f.write(os.urandom(8192 if quick else 32768))
    cameras, slots = cameras_and_slots(cli, tmp, count)
    port = free_port()
    station = subprocess.Popen([cli, "station", image, "--ports-from", slots, "--records", "none", "--bps", SPEED,
                                "--upbps", SPEED, "--http", str(port)],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    while "http://" not in (station.stderr.readline() or "http://"):
        pass
    browser = Browser(tmp, "en-US")
    try:
        browser.call("Page.addScriptToEvaluateOnNewDocument", source=MEASURE)
        # Navigated before the cameras finish their first exchange: the whole upgrade is seen.
        browser.call("Page.navigate", url="http://127.0.0.1:%d/" % port)
        deadline = time.time() + 120
        while time.time() < deadline:
            states = browser.evaluate("Array.from(document.querySelectorAll('.tile')).map(t => t.dataset.state)")
            if states and len(states) == count and all(s == "succeeded" for s in states):
                break
            time.sleep(0.2)
        time.sleep(0.2)
        return browser.evaluate("window.lags") or []
    finally:
        browser.close()
        station.send_signal(signal.SIGTERM)
        station.wait(20)
        for camera in cameras:
            camera.send_signal(signal.SIGINT)
            camera.wait(10)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    if not available():
        print("SKIP: no chromium or no python3-websocket (scripts/install-deps --test installs them)")
        return 77
    with tempfile.TemporaryDirectory() as tmp:
        lags = measure(sys.argv[1], tmp, "--quick" in sys.argv[2:])
    if not lags:
        print("no state message reached the page")
        return 1
    middle, p95 = statistics.median(lags), percentile(lags, 0.95)
    rows = [("state messages shown", "%d" % len(lags), ""),
            ("event to page, median", "%.0f ms" % middle, "met (< 200 ms)" if middle < 200 else "MISSED"),
            ("event to page, p95", "%.0f ms" % p95, "met (< 200 ms)" if p95 < 200 else "MISSED"),
            ("event to page, worst", "%.0f ms" % max(lags), "")]
    widths = [max(len(r[i]) for r in rows + [("measure", "value", "goal")]) for i in range(3)]
    for row in [("measure", "value", "goal"), tuple("-" * w for w in widths)] + rows:
        print("| " + " | ".join(cell.rjust(widths[i]) for i, cell in enumerate(row)) + " |")
    return 0 if middle < 200 and p95 < 200 else 1


if __name__ == "__main__":
    sys.exit(main())
