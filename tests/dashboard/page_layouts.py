"""The station's page, served from its source folder over a made-up station of 32 slots in every
state with hostile names, at a phone's, a desk's and a wall's size: what a person must see is on
the screen, nothing is wider than it, no word is split over lines, names stay one isolated line,
Chinese is Chinese. Also takes the guide's wall and phone pictures."""
import base64
import functools
import http.server
import json
import os
import re
import threading
import time

PAGE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "dashboard", "page")
LONG, OVERRIDE = "cam-" + "x" * 2996, "\u202eevil-cam"
STATES = ["waiting", "flashing", "succeeded", "failed", "unusable", "cancelled", "unplugged", "waitingForLabel"]
REASON = {"en": "Block 2 of 64 unanswered for 10 s: the camera stopped answering", "zh": "第 2 块 10 秒无应答"}
PERSON = ("failed", "unusable", "waitingForLabel")


def station(lang, hostile):
    names = {4: LONG, 8: "<b>bold</b>", 11: OVERRIDE} if hostile else {}
    slots = [{"slot": names.get(i, "line-%02d" % (i + 1)), "state": s, "present": s != "unplugged",
              "attempt": 2 if i == 3 else 1, "step": "block" if s == "flashing" else "done", "percent": {"flashing": 42, "succeeded": 100}.get(s, 0),
              "bytesPerSecond": 11520.0, "etaSeconds": 12.0, "resends": 1, "lastResult": "failed",
              "lastReason": REASON[lang], "tally": {"succeeded": 3, "notSucceeded": 1, "yield": 75,
                        "firstPassYield": 75, "finalYield": 100},
              "paused": i == 16, "unit": "SN-%04d" % i if i % 3 == 0 else None}
             for i, s in enumerate(STATES * 4)]
    records = [{"started": "2026-12-10T04:00:00.000Z", "slot": OVERRIDE if hostile else "line-01", "seconds": 2.5,
                "ending": e, "reason": REASON[lang], "sha256": "ab" * 32} for e in STATES[2:6] + ["running"]]
    return {"image": "fw.bin", "sha256": "ab" * 32, "retries": 2, "pause": True, "control": True,
            "total": {"succeeded": 0, "notSucceeded": 0, "yield": None, "firstPassYield": None,
                      "finalYield": None}, "slots": slots}, records


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        snapshot, records = station(*self.server.made_up)
        if not self.path.startswith("/api/"):
            return super().do_GET()
        self.send_response(200)
        self.send_header("Content-Type", "text/event-stream" if "events" in self.path else "application/json")
        self.end_headers()
        if "events" not in self.path:
            return self.wfile.write(json.dumps(records).encode())
        self.wfile.write(("event: snapshot\ndata: %s\n\n" % json.dumps(snapshot)).encode())
        self.wfile.flush()
        self.server.closing.wait()  # the page follows until the test is done


def served(browser, lang, hostile=True):
    """The page over the made-up station, open in browser; close() it when done."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=PAGE))
    server.made_up, server.closing, server.daemon_threads = (lang, hostile), threading.Event(), True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    browser.call("Page.navigate", url="http://127.0.0.1:%d/" % server.server_address[1])
    deadline = time.time() + 10
    while time.time() < deadline and browser.evaluate("document.querySelectorAll('#records tr').length") < 2:
        time.sleep(0.1)
    server.close = lambda: (server.closing.set(), server.shutdown(), server.server_close())
    return server


JS = {
    # Each tile: name, state word, notes and details; name, state and percent on the screen and
    # apart; the smaller font of name and state; height; marked for a person; name cut.
    "tiles": r"""Array.from(document.querySelectorAll('.tile')).map((t) => {
  const [n, s, p] = ['.name', '.state', '.percent'].map((q) => t.querySelector(q)), b = (e) => e.getBoundingClientRect();
  return {name: n.title || n.textContent, word: s.textContent, notes: t.querySelector('.notes')?.textContent || '',
    dd: Array.from(t.querySelectorAll('dd'), (d) => d.textContent).join(' '), height: b(t).height,
    seen: !!p && [n, s, p].every((e) => b(e).height > 0 && b(e).bottom <= innerHeight && b(e).right <= innerWidth),
    apart: !!p && s.scrollWidth <= s.clientWidth && (b(s).right <= b(p).left || b(s).bottom <= b(p).top),
    px: Math.min(...[n, s].map((e) => parseFloat(getComputedStyle(e).fontSize))),
    marked: t.classList.contains('attention'), cut: n.scrollWidth > n.clientWidth &&
      getComputedStyle(n).textOverflow === 'ellipsis'}; })""",
    # Per text node shown (outside names): words split over lines, letters set right to left, its text.
    "texts": r"""(() => { const out = [], walk = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
  const rects = (n, i, j) => { const r = document.createRange(); r.setStart(n, i); r.setEnd(n, j);
    return Array.from(r.getClientRects()).filter((b) => b.width > 0); };
  for (let n; (n = walk.nextNode());) if (rects(n, 0, n.length).length && !n.parentElement.closest('bdi')) {
    const at = n.data.search(/\w\w/), x = (i) => rects(n, i, i + 1)[0]?.left;
    out.push({text: n.data, backwards: at >= 0 && x(at + 1) < x(at), broken: Array.from(n.data.matchAll(/\S{2,}/g))
      .filter((m) => new Set(rects(n, m.index, m.index + m[0].length).map((b) => b.top)).size > 1).map((m) => m[0])});
  } return out; })()""",
}


def show(browser, width, height):
    browser.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=1,
                 mobile=width < 600)
    time.sleep(0.4)
    return browser.evaluate(JS["tiles"]) or [], browser.evaluate(JS["texts"]) or []


def check_layouts(browser, failures, pictures=None):
    """Every check on the made-up station; pictures: a folder for the wall and phone pictures."""
    def check(condition, text):
        if not condition:
            failures.append(text)
    server = served(browser, "en")
    try:
        tiles, texts = show(browser, 1920, 1080)
        slots = station("en", True)[0]["slots"]
        check([t["name"] for t in tiles] == [s["slot"] for s in slots], "the tiles are not in fixture order")
        check(all(t["seen"] and t["apart"] for t in tiles), "not all on a wall: %r" %
              [t["name"][:20] for t in tiles if not (t["seen"] and t["apart"])])
        check(min(t["px"] for t in tiles) >= 24, "a name or state below 24 px")
        person = [s["slot"] for s in slots if s["state"] in PERSON or s["paused"]]
        check([t["name"] for t in tiles if t["marked"]] == person, "others marked for a person")
        strip = browser.evaluate("document.getElementById('attention')?.textContent") or ""
        check(strip.startswith("Need a person: %d" % len(person)), "the strip says %r" % strip[:40])
        for at, text, where in [(3, "retry 1 of 2", "notes"), (0, "SN-0000", "notes"), (0, "75.0 %", "dd"),
                                (7, "waiting for its label", "word"), (16, "paused", "notes")]:
            check(text in tiles[at][where], "tile %d shows %r, not %r" % (at, tiles[at][where], text))
        check(browser.evaluate("document.getElementById('shift').textContent").endswith("Final yield\u00a0–"), "final yield not –")
        check(next(t for t in tiles if t["name"] == LONG)["cut"], "the long name is not cut with an ellipsis")
        check(not [t for t in texts if t["backwards"]], "%r turned text around" % OVERRIDE)
        check(not browser.evaluate("document.querySelector('main b, #records b')"), "a name became markup")
        tiles, texts = show(browser, 1280, 900)
        check(max(t["height"] for t in tiles) < 250, "a tile %d px tall at 1280x900" % max(t["height"] for t in tiles))
        tiles, texts = show(browser, 390, 844)
        check(browser.evaluate("document.documentElement.scrollWidth <= innerWidth"), "wider than a phone")
        check(not sum((t["broken"] for t in texts), []), "words split on a phone: %r" % sum((t["broken"] for t in texts), [])[:4])
    finally:
        server.close()
    server = served(browser, "zh")  # a Chinese station's reasons are Chinese
    try:
        browser.evaluate("document.getElementById('lang').click()")
        shown = " ".join(t["text"] for t in show(browser, 1280, 900)[1])
        english = set(re.findall(r"[A-Za-z]+", re.sub(r"\S*\d\S*|\b[0-9a-f]{12,}\b", "", shown)))
        check(english <= {"Orvane", "SHA", "KiB", "s", "English"}, "English in the Chinese page: %r" % english)
    finally:
        server.close()
    for name, size, scale in [("wall", (1920, 1080), 0.5), ("phone", (390, 844), 1)] if pictures else []:
        server = served(browser, "en", hostile=False)
        show(browser, *size)
        clip = {"x": 0, "y": 0, "width": size[0], "height": size[1], "scale": scale}
        with open(os.path.join(pictures, "dashboard-%s.png" % name), "wb") as f:
            f.write(base64.b64decode(browser.call("Page.captureScreenshot", format="png", clip=clip)["data"]))
        server.close()
