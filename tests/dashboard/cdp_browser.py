"""A headless Debian chromium spoken to over its DevTools websocket (Debian's
python3-websocket): the browser of the page's test and of its latency benchmark."""
import json
import os
import shutil
import socket
import subprocess
import tempfile
import time
import urllib.request

try:
    import websocket  # Debian's python3-websocket
except ImportError:
    websocket = None


def lacking():
    """The Debian package this machine lacks for the browser, or None."""
    if shutil.which("chromium") is None:
        return "chromium"
    return "python3-websocket" if websocket is None else None


def available():
    return lacking() is None


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
