#!/usr/bin/env python3
"""The station's page in a real browser (Debian's chromium, headless, driven over its DevTools
protocol): a station over four virtual cameras shows waiting, flashing, succeeded, failed and
unplugged tiles; a slot named like a script stays text and runs nothing; a lost connection is
shown and made again; the page speaks Chinese for a Chinese browser and through its switch.
Then the page's layouts over a made-up station of 32 slots (page_layouts). Saves the guide's
pictures (dashboard.png, dashboard-phone.png, dashboard-wall.png) into a folder when asked.

usage: browser_test.py ORVANE_CLI [PICTURES_DIR]   (exit 77: no chromium, skipped; under CI=true 1)"""
import base64
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

from cdp_browser import Browser, free_port, lacking
from page_layouts import check_layouts

sys.dont_write_bytecode = True  # nothing left behind in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from missing_package import missing_package  # noqa: E402

SPEED = "115200"
XSS = "<script>alert(1)</script>"


def tiles(browser):
    return browser.evaluate("Array.from(document.querySelectorAll('.tile')).map(t => ["
                            "t.querySelector('.name').textContent, t.dataset.state,"
                            "t.querySelector('.state').textContent, t.querySelector('.percent').textContent])") or []


def start_station(cli, tmp):
    """Four virtual cameras on fixed slots (links in a temporary folder), one at a time."""
    image = os.path.join(tmp, "fw.bin")
    with open(image, "wb") as f:
        f.write(bytes(range(256)) * 12)
    links = {name: os.path.join(tmp, "ports", name) for name in ("left", "bad", "slow", "xss")}
    os.mkdir(os.path.join(tmp, "ports"))
    faults = {"left": [], "bad": ["--nak-every", "1"], "slow": ["--flash-ms", "4000"], "xss": []}
    cameras = {name: subprocess.Popen([cli, "simulate", "--bps", SPEED, "--upbps", SPEED, "--link", links[name]]
                                      + faults[name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
               for name in links}
    ports_file = os.path.join(tmp, "slots.txt")
    with open(ports_file, "w") as f:
        for name, link in links.items():
            f.write("%s  %s\n" % (link, XSS if name == "xss" else name))
    deadline = time.time() + 10
    while not all(os.path.exists(p) for p in links.values()) and time.time() < deadline:
        time.sleep(0.1)
    port = free_port()
    return run_station(cli, tmp, port), cameras, links, "http://127.0.0.1:%d/" % port


def run_station(cli, tmp, port):
    station = subprocess.Popen([cli, "station", os.path.join(tmp, "fw.bin"), "--ports-from",
                                os.path.join(tmp, "slots.txt"), "--parallel", "1", "--max-resends", "2",
                                "--records", os.path.join(tmp, "records.sqlite"), "--bps", SPEED,
                                "--upbps", SPEED, "--http", str(port)],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    while "http://" not in (station.stderr.readline() or "http://"):
        pass
    return station


def link_lost(browser):
    return browser.evaluate("document.getElementById('link').classList.contains('lost')")


def reconnects(cli, tmp, url, station, browser, failures):
    """The station goes and comes back on the same port: the page says the connection is lost,
    then makes it again by itself. Answers the new station."""
    station.send_signal(signal.SIGTERM)
    station.wait(20)
    deadline = time.time() + 5
    while not link_lost(browser) and time.time() < deadline:
        time.sleep(0.1)
    check(failures, link_lost(browser), "a lost connection is not shown")
    station = run_station(cli, tmp, int(url.rsplit(":", 1)[1].strip("/")))
    deadline = time.time() + 10
    while link_lost(browser) and time.time() < deadline:
        time.sleep(0.1)
    check(failures, not link_lost(browser), "the page did not connect again")
    return station


def watch_states(browser, links, cameras):
    """Every state the tiles show until each of the five was seen; the fast camera is pulled
    out once it succeeded."""
    seen = {}
    deadline = time.time() + 60
    while time.time() < deadline and len(set(seen)) < 5:
        for name, state, word, _ in tiles(browser):
            seen.setdefault(state, (name, word))
            if name == "left" and state == "succeeded" and cameras["left"].poll() is None:
                cameras["left"].send_signal(signal.SIGINT)
                cameras["left"].wait(10)
                if os.path.lexists(links["left"]):
                    os.unlink(links["left"])
        time.sleep(0.05)
    return seen


def percent_rises(browser):
    """Whether a flashing tile's percentage goes up as its camera takes blocks (the slow camera
    takes 4 s a block)."""
    first = {}
    deadline = time.time() + 20
    while time.time() < deadline:
        for name, state, _, percent in tiles(browser):
            if state == "flashing" and percent.rstrip("%").isdigit():
                value = int(percent.rstrip("%"))
                if value > first.setdefault(name, value):
                    return True
        time.sleep(0.1)
    return False


def records_match(cli, tmp, browser):
    """What the page's records table and shift counters say against records --json, waited for
    until they agree (the page looks again at each ending and every 5 s). Empty when they do."""
    deadline = time.time() + 15
    while True:
        out = subprocess.run([cli, "records", "--records", os.path.join(tmp, "records.sqlite"), "--json",
                              "--limit", "50"], capture_output=True, text=True).stdout
        kept = [e for e in map(json.loads, out.splitlines()) if e.get("event") == "record"]
        wanted = [[r["started"], r["ending"]] for r in kept]
        rows = browser.evaluate("Array.from(document.querySelectorAll('#records tbody tr'))"
                                ".map(r => [r.cells[0].textContent, r.cells[2].className])")
        counted = [sum(r["ending"] == "succeeded" for r in kept),
                   sum(r["ending"] not in ("succeeded", "running") for r in kept)]
        shift = [int(n) for n in re.findall(r"\d+", browser.evaluate("document.getElementById('shift').textContent"))]
        if rows == wanted and shift[:2] == counted and kept:
            return ""
        if time.time() > deadline:
            return "page rows %r, shift %r; records --json %r, counted %r" % (rows, shift, wanted, counted)
        time.sleep(0.5)


def check(failures, condition, text):
    if not condition:
        failures.append(text)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    if lacking():
        return missing_package(lacking(), "no browser to show the page in")
    cli, pictures = sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        station, cameras, links, url = start_station(cli, tmp)
        browser = Browser(tmp, "en-US")
        try:
            browser.call("Page.navigate", url=url)
            seen = watch_states(browser, links, cameras)
            for state in ("waiting", "flashing", "succeeded", "failed", "unplugged"):
                check(failures, state in seen, "no tile was ever " + state + ": " + repr(seen))
                if state in seen:
                    check(failures, seen[state][1] == state, "%s shown as %r" % (state, seen[state][1]))
            names = [t[0] for t in tiles(browser)]
            check(failures, XSS in names, "the script's name is not shown as text: %r" % names)
            check(failures, browser.evaluate("document.scripts.length") == 1, "a script was added to the page")
            check(failures, not browser.dialogs, "a script ran: " + repr(browser.dialogs))
            size = browser.evaluate("parseFloat(getComputedStyle(document.querySelector('.tile .name')).fontSize)")
            check(failures, size and size >= 32, "the slot's name is %s px" % size)
            check(failures, percent_rises(browser), "no tile's percentage went up")
            mismatch = records_match(cli, tmp, browser)
            check(failures, not mismatch, "the page and records --json differ: " + mismatch)
            if pictures:
                time.sleep(5.5)  # the page's next look at the records: the failed one completed
                shot = browser.call("Page.captureScreenshot", format="png", captureBeyondViewport=True)
                with open(os.path.join(pictures, "dashboard.png"), "wb") as f:
                    f.write(base64.b64decode(shot["data"]))
            station = reconnects(cli, tmp, url, station, browser, failures)
            browser.evaluate("document.getElementById('lang').click()")
            check(failures, browser.evaluate("document.querySelector('h1').textContent") == "Orvane 升级工位",
                  "the switch does not turn the page Chinese")
        finally:
            browser.close()
        chinese = Browser(tmp, "zh-CN")
        try:
            chinese.call("Page.navigate", url=url)
            time.sleep(1.5)
            heading = chinese.evaluate("document.querySelector('h1').textContent")
            check(failures, heading == "Orvane 升级工位", "a Chinese browser gets %r" % heading)
            words = {t[2] for t in tiles(chinese)}
            check(failures, words & {"成功", "失败", "已拔出"}, "no Chinese state words: %r" % words)
        finally:
            chinese.close()
        layouts = Browser(tmp, "en-US")
        try:
            check_layouts(layouts, failures, pictures)
        finally:
            layouts.close()
        station.send_signal(signal.SIGTERM)
        station.wait(20)
        for camera in cameras.values():
            if camera.poll() is None:
                camera.send_signal(signal.SIGINT)
                camera.wait(10)
    for failure in failures:
        print("FAIL:", failure)
    print("browser test:", "failed" if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
