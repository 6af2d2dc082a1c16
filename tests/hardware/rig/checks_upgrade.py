"""Upgrades of the 4 KiB image on every adapter, in both reply modes, against a camera that
paces its bytes: the job succeeds, the camera holds exactly the image, every speed switch
reaches the line only after the last byte at the old speed has left it, and the host answers
every reply promptly (no block waits on a transmitter that never reports itself empty). While
a low-latency upgrade holds each port: the holder is named, a second orvane-cli is refused,
and an FTDI adapter's latency timer is at 1 ms, and back as it was after the close."""

from rig import upgrade_run
from rig.report import judged, not_applicable

CASES = [  # row, line speed, upgrade speed, target, the switch expected on the line
    ("9600", 9600, 9600, "main", []),
    ("9600 -> 115200 main", 9600, 115200, "main", [(9600, 115200)]),
    ("9600 -> 115200 special", 9600, 9600, "special", [(9600, 115200)]),
    ("9600 -> 921600 main", 9600, 921600, "main", [(9600, 921600)]),
]
# A BlockAck answered later than this means the host sat on something (it polls for the answer
# every 5 ms, its receiver hands a reply on 100 ms after its last byte at the latest); a block
# that waits out its write limit takes about 2 s.
REACTION_LIMIT = 1.0
BLOCK_ACK = bytes([0xA5, 0xFB, 0x01, 0x5F, 0xAF])


def offers_921600(cli):
    import subprocess
    help_text = subprocess.run([cli, "upgrade", "--help"], capture_output=True, text=True).stdout
    return "921600" in help_text


def check(bench, report):
    fast = offers_921600(bench.cli)
    for adapter in bench.adapters:
        for row, bps, upbps, target, switches in CASES:
            for low_latency in (False, True):
                name = f"upgrade {row}" + (", low-latency" if low_latency else "")
                if upbps == 921600 and (adapter.column != "FTDI" or not fast):
                    report.add(name, adapter.column, not_applicable(
                        "--upbps offers up to 115200" if not fast else "a 16550 or ACM link has no such speed"))
                    continue
                held = low_latency and row == "9600"
                report.add(name, adapter.column,
                           upgrade_once(bench, adapter, bps, upbps, target, low_latency, switches,
                                        report if held else None))


def upgrade_once(bench, adapter, bps, upbps, target, low_latency, switches, held_report):
    guest = bench.guest
    latency_before = read_latency(guest, adapter)
    camera = bench.camera(adapter, bps, upbps)
    try:
        upgrade_run.start(guest, "up", [adapter.port], bps, upbps, target, low_latency)
        if held_report is not None:
            while_held(bench, adapter, camera, latency_before, held_report)
        end, events, err = upgrade_run.finish(guest, "up")
    finally:
        camera.stop()
    if held_report is not None:
        latency_after = read_latency(guest, adapter)
        restored = latency_after == latency_before
        held_report.add("FTDI latency timer 1 ms while held, restored on close", adapter.column,
                        judged(restored, f"after the close {latency_after} ms (before {latency_before} ms)",
                               "the latency timer was not given back")
                        if latency_before is not None else not_applicable("no latency timer"))
    return judge(adapter, end, events, err, camera, switches)


def judge(adapter, end, events, err, camera, switches):
    result = upgrade_run.results(events).get(None, {})
    problems = []
    if end.status != 0 or not result.get("ok"):
        problems.append(f"status {end.status}, result {result.get('text')!r}: {result.get('reason') or err[-300:]}")
    if camera.digest() != upgrade_run.IMAGE_DIGEST:
        problems.append("the camera does not hold the image")
    text = f"{end.seconds:.1f} s" if end.seconds is not None else "no end"
    tap = getattr(camera, "tap", None)
    if tap is not None:
        seen = upgrade_run.switches_with_data(tap)
        if [(old, new) for old, new, _ in seen] != switches:
            problems.append(f"speed switches after data {[(o, n) for o, n, _ in seen]}, expected {switches}")
        early = [margin for _, _, margin in seen if margin < 0]
        if early and adapter.drain_judged:
            problems.append(f"a switch came {-min(early) * 1000:.1f} ms before the last byte left the line")
        if seen:
            text += f", switch {min(m for _, _, m in seen) * 1000:+.0f} ms" + ("" if adapter.drain_judged else "~")
        slowest = tap.slowest_reaction(BLOCK_ACK)
        if slowest is not None:
            text += f", ack->next {slowest * 1000:.0f} ms"
            if slowest > REACTION_LIMIT:
                problems.append(f"the host took {slowest:.2f} s to go on after a BlockAck")
    return judged(not problems, text, "; ".join(problems))


def read_latency(guest, adapter):
    if adapter.driver != "ftdi_sio":
        return None
    text = guest.check(f"cat /sys/class/tty/{adapter.node}/device/latency_timer").strip()
    return int(text) if text.isdigit() else None


HELD = """
echo "@json"; orvane-cli ports --json {node}
echo "@latency"; cat /sys/class/tty/{node}/device/latency_timer 2>/dev/null
echo "@second"; orvane-cli ptz stop --port {port} 2>&1; echo "status $?"
echo "@pid"; cat /tmp/up.pid
"""


def while_held(bench, adapter, camera, latency_before, report):
    import json
    camera.wait_into_block(2)
    out = bench.guest.check(HELD.format(node=adapter.node, port=adapter.port))
    sections, current = {}, None
    for text in out.splitlines():
        if text.startswith("@"):
            current = text[1:]
            sections[current] = ""
        elif current:
            sections[current] += text + "\n"
    pid = int(sections.get("pid", "0").strip() or 0)
    ports = [json.loads(t) for t in sections.get("json", "").splitlines() if t.startswith("{")]
    holder = next((p.get("holder") or {} for p in ports if "name" in p), {})
    second = sections.get("second", "")
    refused = "status 3" in second
    named = "orvane-cli" in second and str(pid) in second
    report.add("exclusive open: 2nd orvane-cli refused, holder named", adapter.column,
               judged(refused and named and holder.get("pid") == pid,
                      f"status 3, names orvane-cli ({pid})" if refused else "",
                      f"ports --json holder {holder}; second program: {second.strip()!r}"))
    if latency_before is not None:
        latency = sections.get("latency", "").strip()
        report.add("FTDI latency timer 1 ms while held", adapter.column,
                   judged(latency == "1", f"{latency} ms while held", f"latency_timer read {latency!r}"))
    else:
        report.add("FTDI latency timer 1 ms while held", adapter.column, not_applicable("no latency timer"))
