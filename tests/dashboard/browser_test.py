#!/usr/bin/env python3
"""The station's page in a real browser (Debian's chromium, headless, driven over its DevTools
protocol): a station over four virtual cameras shows waiting, flashing, succeeded, failed and
unplugged tiles; a slot named like a script stays text and runs nothing; a lost connection is
shown and made again; the page speaks Chinese for a Chinese browser and through its switch.
Saves a screenshot when asked.

usage: browser_test.py ORVANE_CLI [SCREENSHOT.png]   (exit 77: no chromium, skipped)"""
import base64
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

try:
    import websocket  # Debian's python3-websocket
except ImportError:
    websocket = None

SKIP = 77
SPEED = "115200"
XSS = "<script>alert(1)</script>"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Browser:
    """One headless chromium with a page, spoken to over the DevTools websocket."""

    def __init__(self, tmp, lang):
        self.port = free_port()
        profile = tempfile.mkdtemp(dir=tmp, prefix="profile-")
        flags = ["--headless", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--user-data-dir=" + profile,
                 "--remote-debugging-port=%d" % self.port, "--window-size=1280,900", "--lang=" + lang, "--accept-lang=" + lang]
        if os.geteuid() == 0:
            flags.append("--no-sandbox")
        env = dict(os.environ, LANGUAGE=lang.replace("-", "_"))
        self.process = subprocess.Popen([shutil.which("chromium")] + flags + ["about:blank"], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.ws = websocket.create_connection(self.page_socket(), timeout=20)
        self.next_id = 0
        self.dialogs = []
        self.call("Page.enable")
        self.call("Runtime.enable")

    def page_socket(self):
        deadline = time.time() + 20
        while time.time() < deadline:
            try:
                with urllib.request.urlopen("http://127.0.0.1:%d/json/list" % self.port, timeout=2) as r:
                    pages = [t for t in json.load(r) if t["type"] == "page"]
                if pages:
                    return pages[0]["webSocketDebuggerUrl"]
            except OSError:
                pass
            time.sleep(0.2)
        raise RuntimeError("chromium gave no DevTools page")

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.ws.recv())
            if message.get("method") == "Page.javascriptDialogOpening":
                self.dialogs.append(message["params"]["message"])
                self.ws.send(json.dumps({"id": 0, "method": "Page.handleJavaScriptDialog",
                                         "params": {"accept": True}}))
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message.get("result", {})

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        return result["result"].get("value")

    def close(self):
        self.ws.close()
        self.process.terminate()
        self.process.wait(10)


def tiles(browser):
    return browser.evaluate("Array.from(document.querySelectorAll('.tile')).map(t => ["
                            "t.querySelector('.name').textContent, t.dataset.state,"
                            "t.querySelector('.state').textContent])") or []


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
        for name, state, word in tiles(browser):
            seen.setdefault(state, (name, word))
            if name == "left" and state == "succeeded" and cameras["left"].poll() is None:
                cameras["left"].send_signal(signal.SIGINT)
                cameras["left"].wait(10)
                if os.path.lexists(links["left"]):
                    os.unlink(links["left"])
        time.sleep(0.05)
    return seen


def check(failures, condition, text):
    if not condition:
        failures.append(text)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    if not shutil.which("chromium") or websocket is None:
        print("SKIP: no chromium or no python3-websocket (scripts/install-deps --test installs them)")
        return SKIP
    cli, screenshot = sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None
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
            check(failures, browser.evaluate("document.querySelectorAll('#records tbody tr').length") > 0,
                  "no records listed")
            if screenshot:
                time.sleep(5.5)  # the page's next look at the records: the failed one completed
                shot = browser.call("Page.captureScreenshot", format="png", captureBeyondViewport=True)
                with open(screenshot, "wb") as f:
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
