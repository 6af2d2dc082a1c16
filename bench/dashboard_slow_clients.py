#!/usr/bin/env python3
"""Whether slow clients take a station's page down or slow its cameras: the built
`orvane-cli station --http` over virtual cameras (`simulate`), attacked by Debian's slowhttptest
in slow-headers, slow-body and slow-read modes, 500 connections from 127.0.0.1 for 30 s each,
while a probe from 127.0.0.2 asks for /api/station every 500 ms (curl -m 5). Before each
attack the cameras are upgraded with the page quiet, then again under the attack, so both
times come from the same run. Goals: every probe answered within 1 s, and the attacked
upgrade's median within 5 % of the quiet one. Loopback only; every attack bounded in
connections and time. Prints one table; exit 0 when met, 1 when not, 77 without slowhttptest
or curl.

usage: dashboard_slow_clients.py ORVANE_CLI [--quick]
  (4 cameras, 32 KiB, 30 s a mode, about 2 minutes; --quick: 3 cameras, 4 KiB, 3 s a mode)"""
import datetime
import json
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SPEED = "115200"
ATTACKS = {
    "slow headers": ["-H", "-c", "500", "-i", "3", "-r", "200"],
    # A POST to the page is refused on its head, so a GET whose body, under the size limit, the
    # server has to wait for; follow-up data every 10 s, longer than a read time-out.
    "slow body": ["-B", "-t", "GET", "-c", "500", "-i", "10", "-r", "200", "-s", "4000"],
    "slow read": ["-X", "-c", "500", "-r", "200", "-w", "512", "-y", "1024", "-n", "5", "-z", "32", "-k", "3"],
}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def moment(event):
    return datetime.datetime.fromisoformat(event["time"].replace("Z", "+00:00")).timestamp()


class Station:
    """The station with its page, its JSON events gathered as they come."""

    def __init__(self, cli, tmp, links, image):
        slots = os.path.join(tmp, "slots.txt")
        with open(slots, "w") as f:
            f.write("".join(link + "\n" for link in links))
        self.port = free_port()
        self.events, self.changed = [], threading.Condition()
        self.process = subprocess.Popen([cli, "station", image, "--ports-from", slots, "--records", "none", "--bps",
                                         SPEED, "--upbps", SPEED, "--http", "127.0.0.1:%d" % self.port, "--json"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        threading.Thread(target=self.gather, daemon=True).start()
        self.wait_for(lambda e: e["event"] == "station", 0, 10)

    def gather(self):
        for line in self.process.stdout:
            with self.changed:
                self.events.append(json.loads(line))
                self.changed.notify_all()

    def wait_for(self, wanted, since, seconds):
        """The events from index `since` on once one of them is wanted, None past the time."""
        with self.changed:
            found = self.changed.wait_for(lambda: any(wanted(e) for e in self.events[since:]), seconds)
            return list(self.events[since:]) if found else None

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(20)


def upgrade(cli, station, links):
    """Plugs a camera into every slot at once and unplugs them when done: each camera's time
    from its "Start" to its result (None for a camera that failed or never ended)."""
    since = len(station.events)
    cameras = [subprocess.Popen([cli, "simulate", "--bps", SPEED, "--upbps", SPEED, "--link", link],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for link in links]
    ended = lambda link: lambda e: e["event"] == "result" and e["port"] == link  # noqa: E731
    events = [station.wait_for(ended(link), since, 120) or [] for link in links]
    times = []
    for link, seen in zip(links, events):
        start = next((e for e in seen if e["event"] == "log" and e["port"] == link and e["text"] == "Start"), None)
        result = next((e for e in seen if ended(link)(e)), None)
        times.append(moment(result) - moment(start) if start and result and result["ok"] else None)
    since = len(station.events)
    for camera in cameras:
        camera.send_signal(signal.SIGINT)
        camera.wait(10)
    gone = lambda link: lambda e: e["event"] == "slot" and e["port"] == link and not e["present"]  # noqa: E731
    for link in links:  # the station sees the slot empty before the next plug
        station.wait_for(gone(link), since, 10)
    return times


def probes(port, until, answers):
    """One request every 500 ms from 127.0.0.2 until the time given: (status, seconds) each."""
    tick = time.monotonic()
    while tick < until:
        out = subprocess.run(["curl", "--interface", "127.0.0.2", "-m", "5", "-s", "-o", "/dev/null", "-w",
                              "%{http_code} %{time_total}", "http://127.0.0.1:%d/api/station" % port],
                             capture_output=True, text=True).stdout.split()
        answers.append((out[0], float(out[1])) if len(out) == 2 else ("000", 5.0))
        tick += 0.5
        time.sleep(max(0.0, tick - time.monotonic()))


def attack(port, mode, until, waves):
    """slowhttptest again and again until the time given: it ends once the server has closed
    all its connections, which the deadlines do within seconds."""
    while until - time.monotonic() >= 1:
        left = int(until - time.monotonic())
        subprocess.run(["slowhttptest", *ATTACKS[mode], "-l", str(left), "-u", "http://127.0.0.1:%d/" % port],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=left + 5)
        waves.append(left)
        time.sleep(0.2)


def attacked_round(cli, station, links, mode, length):
    answers, waves, until = [], [], time.monotonic() + length
    threads = [threading.Thread(target=attack, args=(station.port, mode, until, waves)),
               threading.Thread(target=probes, args=(station.port, until, answers))]
    for thread in threads:
        thread.start()
    time.sleep(min(3.0, length / 6))  # most of its connections made
    loaded = upgrade(cli, station, links)
    for thread in threads:
        thread.join()
    return loaded, answers, len(waves)


def median_time(times):
    return statistics.median(times) if times and None not in times else None


def row(mode, quiet, loaded, answers, waves):
    seconds = [s for _, s in answers]
    within = sum(1 for code, s in answers if code == "200" and s < 1.0)
    before, after = median_time(quiet), median_time(loaded)
    change = (after / before - 1.0) * 100.0 if before and after else None
    met = within == len(answers) > 0 and change is not None and change <= 5.0
    return met, (mode, "%d" % waves, "%d" % len(answers), "%d" % within, "%.1f" % (statistics.median(seconds) * 1000),
                 "%.1f" % (max(seconds) * 1000), "%.2f" % before if before else "failed",
                 "%.2f" % after if after else "failed", "%+.1f %%" % change if change is not None else "-",
                 "met" if met else "MISSED")


def print_table(rows):
    head = ("attack", "waves of 500", "probes", "answered < 1 s", "probe median ms", "probe max ms",
            "upgrade quiet s", "upgrade attacked s", "change", "goals")
    widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
    for cells in [head, tuple("-" * w for w in widths)] + rows:
        print("| " + " | ".join(cell.rjust(widths[i]) for i, cell in enumerate(cells)) + " |")


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    if shutil.which("slowhttptest") is None or shutil.which("curl") is None:
        print("SKIP: needs slowhttptest and curl")
        return 77
    cli, quick = sys.argv[1], "--quick" in sys.argv[2:]
    rows, all_met = [], True
    with tempfile.TemporaryDirectory() as tmp:
        image = os.path.join(tmp, "fw.bin")
        with open(image, "wb") as f:
            f.write(os.urandom(4096 if quick else 32768))
        links = [os.path.join(tmp, "cam%d" % i) for i in range(3 if quick else 4)]
        station = Station(cli, tmp, links, image)
        try:
            quiet = None
            for mode in ATTACKS:  # quiet and attacked take turns; --quick times the quiet once
                if quiet is None or not quick:
                    quiet = upgrade(cli, station, links)
                met, cells = row(mode, quiet, *attacked_round(cli, station, links, mode, 3 if quick else 30))
                rows.append(cells)
                all_met = all_met and met
        finally:
            station.stop()
    print_table(rows)
    return 0 if all_met else 1


if __name__ == "__main__":
    sys.exit(main())
