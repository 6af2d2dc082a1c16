"""A station in the guest watching /dev/serial/by-id while QEMU plugs the two FTDI adapters in
and out under it: both are flashed once, the one pulled out and put back is flashed again (once),
the other is left alone, and Ctrl-C ends the shift with its summary."""

import json
import time

from rig.bench import IMAGE_PATH
from rig.report import judged
from rig.upgrade_run import IMAGE_DIGEST

SETTLE = 3.0  # seconds after the last expected attempt in which no further one may begin


def station_events(guest, name="station"):
    events = []
    for stamped in guest.check(f"cat /tmp/{name}.out").splitlines():
        _, _, text = stamped.partition(" ")
        if text.startswith("{"):
            events.append(json.loads(text))
    return events


def results(guest):
    return [e for e in station_events(guest) if e.get("event") == "result"]


def wait_results(guest, count, timeout=120):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = results(guest)
        if len(found) >= count:
            return found
        time.sleep(0.5)
    return results(guest)


def named(result):
    return (result.get("port") or "").rsplit("/", 1)[-1]


def check(bench, report):
    guest = bench.guest
    first, second = bench.ftdi
    ids = [a.by_id.rsplit("/", 1)[-1] for a in (first, second)]
    running = [bench.camera(a) for a in (first, second)]
    try:
        guest.check(f"job start station orvane-cli station {IMAGE_PATH} --watch /dev/serial/by-id "
                    "--match 0403:6001 --records none --json")
        both = wait_results(guest, 2)
        first_camera = running.pop(0)
        first_camera.stop()
        replugged = bench.camera(first)
        running.append(replugged)
        bench.unplug(first)
        bench.plug(first)
        third = wait_results(guest, 3)
        time.sleep(SETTLE)
        after = results(guest)
    finally:
        guest.check("job kill station")
        guest.check("job wait station 30", timeout=60)
        for camera in running:
            camera.stop()
    flashed = sorted(named(r) for r in both if r.get("ok"))
    held = [c.digest() == IMAGE_DIGEST for c in (first_camera, running[0])]
    report.add("station: two adapters plugged in, each flashed once", "FTDI",
               judged(flashed == sorted(ids) and all(held), f"{len(both)} attempts",
                      f"{both}; cameras hold the image: {held}"))
    again = [r for r in after[2:] if named(r) == ids[0] and r.get("ok")]
    report.add("station: device_del and device_add, flashed again once", "FTDI",
               judged(len(third) >= 3 and len(after) == 3 and len(again) == 1 and replugged.digest() == IMAGE_DIGEST,
                      "3 attempts in all", f"{after[2:]}"))
    summary = next((e for e in station_events(guest) if e.get("event") == "stationSummary"), {})
    report.add("station: Ctrl-C ends the shift with its summary", "FTDI",
               judged(summary.get("succeeded") == 3, f"{summary.get('succeeded')} succeeded", f"summary {summary}"))
