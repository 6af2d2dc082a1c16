"""One `orvane-cli upgrade` in the guest against a virtual camera, and what the rig reads from
it: the exit status, the JSON events, the time, the image the camera ended up with, and from
the tap the speed switches and how fast the host answered."""

import hashlib
import json
import re
import time

from rig.bench import IMAGE, IMAGE_PATH

IMAGE_DIGEST = hashlib.sha256(IMAGE).hexdigest()
JOB = re.compile(r"status (\S+) start (\S+) end (\S+) mark (\S+) marked (\S+) cpu (\S+)")


class JobEnd:
    def __init__(self, text):
        match = JOB.search(text)
        if not match:
            raise RuntimeError(f"no job report in {text!r}")
        status, start, end, mark, marked, cpu = match.groups()
        self.status = int(status) if status.isdigit() else None
        self.end = float(end) if end != "-" else None  # the guest's uptime
        self.seconds = self.end - float(start) if self.end is not None else None
        self.after_mark = self.end - float(mark) if self.end is not None and mark != "-" else None
        self.cpu = int(cpu) / 100 if cpu.isdigit() else None  # seconds (ticks are 1/100 s)
        self.cpu_after_mark = (int(cpu) - int(marked)) / 100 if marked.isdigit() and cpu.isdigit() else None


def upgrade_command(ports, bps, upbps, target, low_latency):
    command = f"orvane-cli upgrade {IMAGE_PATH} --bps {bps} --upbps {upbps} --target {target} --json"
    command += "".join(f" --port {p}" for p in ports)
    return command + (" --low-latency" if low_latency else "")


# Follows the program's writes only (seccomp lets every other call pass untraced), with each
# descriptor's path and every byte in hex.
TRACE = "strace -f --seccomp-bpf -qq -e trace=write,writev -e signal=none -xx -y -o /tmp/{name}.strace "


def start(guest, name, ports, bps=9600, upbps=9600, target="main", low_latency=False, trace=False):
    prefix = TRACE.format(name=name) if trace else ""
    guest.check(f"job start {name} {prefix}{upgrade_command(ports, bps, upbps, target, low_latency)}")


def finish(guest, name, timeout=180):
    """Waits for the job; answers (JobEnd, JSON events, standard error)."""
    end = JobEnd(guest.check(f"job wait {name} {timeout}", timeout=timeout + 30))
    out = guest.check(f"cat /tmp/{name}.out; echo @err; cat /tmp/{name}.err")
    text, _, err = out.partition("@err\n")
    events = []
    for stamped in text.splitlines():
        at, _, line = stamped.partition(" ")
        if line.startswith("{"):
            event = json.loads(line)
            event["guestUptime"] = float(at)  # when the line came, on the guest's clock
            events.append(event)
    return end, events, err


def results(events):
    """The result events by port; with one port also under None (it may name its port or not)."""
    found = {e.get("port"): e for e in events if e.get("event") == "result"}
    if len(found) == 1:
        found[None] = next(iter(found.values()))
    return found


def switches_with_data(tap):
    """The speed switches after which bytes at the old speed had been sent, with the time from
    the moment the last of them left the line (paced) to the switch, in seconds."""
    found, last_switch = [], 0.0
    for at, old, new, free_at in tap.switches:
        sent_before = any(last_switch < t <= at for t, _ in tap.sent)
        if sent_before:
            found.append((old, new, at - free_at))
        last_switch = at
    return found


def mark(guest, name):
    """Marks the job; answers the host's clock minus the guest's uptime, which turns the guest's
    times into the host's (to half a console round trip)."""
    sent = time.monotonic()
    uptime = float(guest.check(f"job mark {name}").split()[-1])
    return (sent + time.monotonic()) / 2 - uptime
