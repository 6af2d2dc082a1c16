#!/usr/bin/env python3
"""Upgrade records through the faults a station meets, with the real orvane-cli:

  kills   50 upgrades killed with SIGKILL at random moments of their blocks: the file passes
          PRAGMA integrity_check every time and each killed attempt reads interrupted.
  space   a full file system and a read-only one (tmpfs mounts in a mount namespace of the
          test's own): the upgrade still succeeds and says once why no record was kept;
          --records-required refuses to begin (exit 3); a file on the read-only one is listed.
  server  a line's PostgreSQL 15 server (the test's own, as an unprivileged user, on a Unix
          socket) stopped for three of nine runs of three cameras and started again: every
          record arrives exactly once, and each run without it says so once.

usage: record_faults.py ORVANE_CLI kills|space|server
Prints SKIP and passes where the machine cannot give a part (no mount namespace); without
PostgreSQL 15 it is skipped, or fails under CI=true (tests/support/missing_package.py).
"""
import hashlib
import json
import os
import random
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing left behind in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from missing_package import missing_package  # noqa: E402
from postgres_server import PG_BIN, Server  # noqa: E402

CLI = os.path.abspath(sys.argv[1])


def fail(why):
    print("FAIL", why)
    sys.exit(1)


def skip(why):
    print("SKIP", why)
    sys.exit(0)


def wait_until(check, seconds, why):
    until = time.monotonic() + seconds
    while not check():
        if time.monotonic() > until:
            fail(why)
        time.sleep(0.01)


class Cameras:
    """Virtual cameras on pseudo-terminals, reached through links in folder."""

    def __init__(self, folder, count=1, extra=()):
        # One camera is the link itself; several are the link with 1, 2, ... after it.
        self.link = os.path.join(folder, "cam")
        self.links = [self.link] if count == 1 else [f"{self.link}{i}" for i in range(1, count + 1)]
        self.extra = list(extra)
        self.start()

    def start(self):
        self.process = subprocess.Popen([CLI, "simulate", "--count", str(len(self.links)), "--link", self.link,
                                         *self.extra], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: all(os.path.islink(link) for link in self.links), 10, "the cameras did not start")

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        self.process.wait(10)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()


def image(folder, size):
    path = os.path.join(folder, "image.bin")
    with open(path, "wb") as out:
        out.write(random.randbytes(size))
    return path


def upgrade(img, ports, records, *extra):
    args = [CLI, "upgrade", img, "--records", records, *extra]
    for port in ports:
        args += ["--port", port]
    return subprocess.run(args, capture_output=True, text=True, timeout=60)


def read_records(records):
    listed = subprocess.run([CLI, "records", "--records", records, "--json"], capture_output=True, text=True,
                            timeout=60)
    if listed.returncode != 0:
        fail(f"records --json ended {listed.returncode}: {listed.stderr}")
    events = [json.loads(line) for line in listed.stdout.splitlines() if line.strip()]
    return [e for e in events if e.get("event") == "record"]


def running_id(db):
    try:
        with sqlite3.connect(f"file:{db}?mode=ro", uri=True, timeout=5) as connection:
            row = connection.execute("SELECT id FROM records WHERE ending = 'running'").fetchone()
            return row[0] if row else None
    except sqlite3.Error:
        return None


def integrity(db):
    with sqlite3.connect(db, timeout=5) as connection:
        return connection.execute("PRAGMA integrity_check").fetchone()[0]


def kills():
    folder = tempfile.mkdtemp(prefix="orvane-kills-")
    db = os.path.join(folder, "records.sqlite")
    img = image(folder, 8 * 1024)  # eight blocks of 40 ms each: about a third of a second
    killed, finished_first = [], 0
    with Cameras(folder, extra=["--flash-ms", "40"]) as cameras:
        for attempt in range(50):
            job = subprocess.Popen([CLI, "upgrade", img, "--port", cameras.links[0], "--records", db],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_until(lambda: running_id(db) is not None or job.poll() is not None, 20,
                       f"attempt {attempt}: no running record")
            record = running_id(db)
            time.sleep(random.uniform(0, 0.35))
            if record is None or job.poll() is not None:
                finished_first += 1
                job.wait()
            else:
                job.kill()
                job.wait()
                killed.append(record)
            verdict = integrity(db)
            if verdict != "ok":
                fail(f"attempt {attempt}: integrity_check says {verdict}")
            # The camera may be left mid-transfer by the kill: the next attempt starts it afresh.
            cameras.stop()
            cameras.start()
    records = {r["id"]: r for r in read_records(db)}
    wrong = [i for i in killed if records.get(i, {}).get("ending") != "interrupted"]
    if wrong or len(killed) < 25:
        fail(f"{len(killed)} killed, {len(wrong)} not read as interrupted: {wrong[:3]}")
    # Killed once the image was read, a record names it; before, it names none.
    with open(img, "rb") as sent:
        digest = hashlib.sha256(sent.read()).hexdigest()
    named = [records[i]["sha256"] for i in killed if records[i]["sha256"]]
    if not named or any(sha != digest for sha in named):
        fail(f"of {len(killed)} killed, {len(named)} name an image, not all its SHA-256")
    print(f"PASS kills: {len(killed)} of 50 killed mid-upgrade, all read interrupted, {len(named)} naming "
          f"the image; {finished_first} "
          f"ended before their kill; integrity_check ok after every attempt")
    shutil.rmtree(folder)


def space_inside(folder):
    img = image(folder, 4096)
    full, readonly = os.path.join(folder, "full"), os.path.join(folder, "ro")
    # The read-only one has room for its file's log to be folded in before it turns read-only.
    for mount_point, size in ((full, "64k"), (readonly, "1m")):
        os.mkdir(mount_point)
        subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", mount_point], check=True)
    try:
        with open(os.path.join(full, "filler"), "wb") as filler:
            while True:
                filler.write(b"\0" * 4096)
                filler.flush()
    except OSError:
        pass  # full
    with Cameras(folder) as cameras:
        # A record kept before the medium turned read-only stays listable on it.
        kept = upgrade(img, cameras.links, os.path.join(readonly, "records.sqlite"))
        if kept.returncode != 0:
            fail(f"the upgrade before the read-only mount ended {kept.returncode}: {kept.stderr}")
        subprocess.run(["mount", "-o", "remount,ro", readonly], check=True)
        for name, place in (("full", full), ("read-only", readonly)):
            done = upgrade(img, cameras.links, os.path.join(place, "records.sqlite"))
            told = [line for line in done.stderr.splitlines() if "record" in line.lower()]
            if done.returncode != 0 or len(told) != 1:
                fail(f"{name}: exit {done.returncode}, told {len(told)} times: {done.stderr}")
            print(f"PASS {name} file system: the upgrade succeeded and said once: {told[0]}")
            refused = upgrade(img, cameras.links, os.path.join(place, "records.sqlite"), "--records-required")
            if refused.returncode != 3:
                fail(f"{name}: --records-required ended {refused.returncode}, not 3: {refused.stderr}")
        print("PASS --records-required refused to begin on both (exit 3)")
        listed = read_records(os.path.join(readonly, "records.sqlite"))
        if len(listed) != 1 or listed[0]["ending"] != "succeeded":
            fail(f"the read-only file listed {listed}")
        print("PASS the read-only file's record listed")


def space():
    folder = tempfile.mkdtemp(prefix="orvane-space-")
    # Root mounts in a namespace of its own; anyone else as root of a user namespace.
    unshare = ["unshare", "--mount"] + ([] if os.geteuid() == 0 else ["--map-root-user"])
    probe = subprocess.run(unshare + ["true"], capture_output=True)
    if probe.returncode != 0:
        skip(f"no mount namespace here ({probe.stderr.decode().strip()})")
    done = subprocess.run(unshare + [sys.executable, __file__, CLI, "space-inside", folder])
    shutil.rmtree(folder, ignore_errors=True)
    sys.exit(done.returncode)


def server():
    if not os.path.exists(PG_BIN + "initdb"):
        sys.exit(missing_package("postgresql-15", "PostgreSQL 15 is not installed"))
    pg = Server()
    folder = tempfile.mkdtemp(prefix="orvane-line-")
    os.environ["XDG_STATE_HOME"] = folder  # the station's own spool
    img = image(folder, 4096)
    try:
        with Cameras(folder, count=3) as cameras:
            for run in range(9):
                if run == 3:
                    pg.stop()
                if run == 6:
                    pg.start()
                done = upgrade(img, cameras.links, pg.uri)
                if done.returncode != 0:
                    fail(f"run {run}: exit {done.returncode}: {done.stderr}")
                # The technician hears once a run that the server is away, and never otherwise.
                said = done.stderr.count("wait on this computer")
                if said != (1 if 3 <= run < 6 else 0):
                    fail(f"run {run}: the server's absence said {said} times: {done.stderr}")
        total, distinct = pg.count()
        if (total, distinct) != (27, 27):
            fail(f"the server holds {total} records, {distinct} distinct, not 27")
        # What another station of the line reads back through the command.
        listed = read_records(pg.uri)
        if len(listed) != 27 or any(r["ending"] != "succeeded" for r in listed):
            fail(f"records --records {pg.uri} --json gives {len(listed)} records, not 27 succeeded")
        print("PASS server stopped for runs 4 to 6 of 9, three cameras each: said once in each of those runs, "
              "all 27 records there, each once, and records --json reads them back")
    finally:
        pg.stop(check=False)
        shutil.rmtree(pg.folder, ignore_errors=True)
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    part = sys.argv[2]
    if part == "space-inside":
        space_inside(sys.argv[3])
    else:
        {"kills": kills, "space": space, "server": server}[part]()
