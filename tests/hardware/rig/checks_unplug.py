"""Adapters pulled out in the middle of the blocks, in both reply modes: the job ends within a
second with the unplugged reason and status 3, without spinning and without writing the
AbortFrame to the dead line; after the replug the next upgrade succeeds through the same by-id
link. The FTDI adapter is unplugged by QEMU (device_del), the gadget by unbinding it from its
controller. Then two FTDI adapters at once: both flashed, and one pulled out leaves the other
untouched."""

import time

from rig import upgrade_run
from rig.report import judged

END_LIMIT = 1.0  # seconds from the unplug to the job's end
# A job that spins after the unplug uses all of a processor; an idle one next to none.
CPU_SHARE_LIMIT = 0.5
# A job that ends at once still pays for its ending (the record's last write, the result):
# judged over at least this long a window, that cost is not taken for a spin.
CPU_WINDOW_FLOOR = 0.25
ABORT_FRAME = r"\xa5\xf9\x00\x5c\xaf"


def unplug_gadget(bench):
    bench.guest.check("gadget unplug")


def plug_gadget(bench):
    bench.guest.check("gadget plug")
    bench.wait_link(bench.acm)


def check(bench, report):
    for adapter, unplug, plug in ((bench.ftdi[0], lambda: bench.unplug(bench.ftdi[0]),
                                   lambda: bench.plug(bench.ftdi[0])),
                                  (bench.acm, lambda: unplug_gadget(bench), lambda: plug_gadget(bench))):
        for low_latency in (False, True):
            suffix = ", low-latency" if low_latency else ""
            ending, quiet = unplug_once(bench, adapter, unplug, low_latency)
            report.add(f"unplug mid-blocks{suffix}: reason, status 3, end in 1 s", adapter.column, ending)
            report.add(f"unplug mid-blocks{suffix}: no spin, no AbortFrame", adapter.column, quiet)
            plug()
            report.add(f"after the replug{suffix}: next upgrade", adapter.column,
                       upgrade_after_replug(bench, adapter))
    two_adapters(bench, report)


def unplug_once(bench, adapter, unplug, low_latency):
    guest = bench.guest
    old_node = adapter.node
    camera = bench.camera(adapter)
    try:
        upgrade_run.start(guest, "un", [adapter.port], low_latency=low_latency, trace=bool(bench.strace))
        if not camera.wait_into_block(2):
            missed = judged(False, "", "the upgrade never reached block 2")
            return missed, missed
        offset = upgrade_run.mark(guest, "un")
        pulled = time.monotonic()
        unplug()
        # Marked again once the adapter is gone: what the job uses from here on is what a dead
        # line costs it (nothing, if it has already ended).
        upgrade_run.mark(guest, "un")
        end, events, err = upgrade_run.finish(guest, "un", timeout=30)
    finally:
        camera.stop()
    result = upgrade_run.results(events).get(None, {})
    ended = end.end + offset - pulled if end.end is not None else float("inf")
    # The kernel's disconnect is when the cable is out for the driver: a gadget takes a while
    # to unbind, QEMU's unplug is at once. Without it in the log, from the unplug's request.
    seen = kernel_saw_disconnect(guest)
    if seen is not None and end.end is not None:
        seen -= bench.log_clock_ahead
        ended = end.end - seen
    problems = []
    if end.status != 3 or result.get("exitCode") != 3 or "disappeared" not in (result.get("reason") or ""):
        problems.append(f"status {end.status}, result {result}")
    if ended > END_LIMIT:
        problems.append(f"the job ended {ended:.2f} s after the unplug")
    text = f"status 3, exit {ended * 1000:.0f} ms after the disconnect"
    if seen is not None and "guestUptime" in result:
        text += f" (result {(result['guestUptime'] - seen) * 1000:.0f} ms)"
    ending = judged(not problems, text, "; ".join(problems))
    ended_first = end.cpu_after_mark is None and end.status is not None
    cpu, after = (0.0, 0.0) if ended_first else (end.cpu_after_mark, end.after_mark or 0.0)
    problems = []
    if cpu is None or cpu > CPU_SHARE_LIMIT * max(after, CPU_WINDOW_FLOOR):
        problems.append(f"{cpu} s of CPU in the {after:.2f} s from the unplug to the end")
    abort = abort_written(guest, old_node) if bench.strace else None
    if abort:
        problems.append(f"the AbortFrame was written to the dead line: {abort}")
    text = "ended before the unplug was through" if ended_first else \
        f"CPU {cpu * 1000 if cpu is not None else -1:.0f} ms in its last {after:.2f} s"
    text += ", no AbortFrame" if abort == "" else (", AbortFrame unchecked" if abort is None else "")
    return ending, judged(not problems, text, "; ".join(problems))


def kernel_saw_disconnect(guest):
    """When the guest's kernel logged the last USB disconnect, on its uptime clock."""
    text = guest.check("dmesg | grep 'USB disconnect' | tail -n 1")
    return float(text.split("]")[0].strip("[ ")) if text.startswith("[") else None


def abort_written(guest, node):
    """The traced writes of the AbortFrame to the adapter's device (empty: none)."""
    status, out = guest.run(f"grep -F '{ABORT_FRAME}' /tmp/un.strace | grep -F '/dev/{node}'")
    return out.strip() if status == 0 else ""


def upgrade_after_replug(bench, adapter):
    camera = bench.camera(adapter, 9600, 115200)
    try:
        upgrade_run.start(bench.guest, "re", [adapter.port], 9600, 115200)
        end, events, err = upgrade_run.finish(bench.guest, "re")
    finally:
        camera.stop()
    result = upgrade_run.results(events).get(None, {})
    ok = end.status == 0 and result.get("ok") and camera.digest() == upgrade_run.IMAGE_DIGEST
    return judged(ok, f"on {adapter.node}, {end.seconds:.1f} s", f"status {end.status}, {result}; {err[-300:]}")


def two_adapters(bench, report):
    first, second = bench.ftdi
    cameras = [bench.camera(a, 9600, 115200) for a in (first, second)]
    try:
        upgrade_run.start(bench.guest, "two", [first.port, second.port], 9600, 115200)
        end, events, err = upgrade_run.finish(bench.guest, "two")
    finally:
        for camera in cameras:
            camera.stop()
    summary = next((e for e in events if e.get("event") == "summary"), {})
    digests = [c.digest() == upgrade_run.IMAGE_DIGEST for c in cameras]
    report.add("two adapters by by-id: both flashed", "FTDI",
               judged(end.status == 0 and summary.get("ok") and all(digests),
                      f"{end.seconds:.1f} s",
                      f"status {end.status}, {summary}; cameras hold the image: {digests}"))
    report.add("two adapters: one unplugged, the other untouched", "FTDI", one_unplugged(bench, first, second))


def one_unplugged(bench, kept, pulled):
    guest = bench.guest
    cameras = [bench.camera(a) for a in (kept, pulled)]
    try:
        upgrade_run.start(guest, "two", [kept.port, pulled.port])
        if not all(c.wait_into_block(2) for c in cameras):
            return judged(False, "", "the upgrades never reached block 2")
        before = cpu_share(guest, "two", 1.0)
        upgrade_run.mark(guest, "two")
        bench.unplug(pulled)
        end, events, err = upgrade_run.finish(guest, "two")
    finally:
        for camera in cameras:
            camera.stop()
    bench.plug(pulled)
    results = upgrade_run.results(events)
    kept_result, pulled_result = results.get(kept.port, {}), results.get(pulled.port, {})
    share = end.cpu_after_mark / end.after_mark if end.after_mark and end.cpu_after_mark is not None else None
    problems = []
    if not kept_result.get("ok") or cameras[0].digest() != upgrade_run.IMAGE_DIGEST:
        problems.append(f"the adapter left in: {kept_result}")
    if pulled_result.get("exitCode") != 3 or end.status != 3:
        problems.append(f"status {end.status}; the adapter pulled out: {pulled_result}")
    if share is not None and share > CPU_SHARE_LIMIT:
        problems.append(f"CPU {share:.0%} while the other went on")
    text = f"other ok in {kept_result.get('seconds')} s, CPU {share:.0%} after (both running {before:.0%})" \
        if share is not None else ""
    return judged(not problems, text, "; ".join(problems))


def cpu_share(guest, name, seconds):
    """The share of a processor the job uses over the next seconds."""
    first = guest.check(f"job cpu {name}; sleep {seconds}; job cpu {name}").split()
    (t0, c0), (t1, c1) = (first[0:2], first[2:4])
    return (int(c1) - int(c0)) / 100 / max(float(t1) - float(t0), 0.01)
