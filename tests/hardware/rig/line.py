"""The host's end of a guest's serial adapter: a pseudo-terminal whose slave QEMU opens as the
adapter's chardev, and a tap on its master that relays the bytes to a virtual camera
(`orvane-cli simulate`, on a pseudo-terminal of its own) and back. The tap sees what is on the
wire: every byte the guest sent with the moment it came, and every speed the guest set (QEMU
puts it on the slave's termios), which it also sets on the camera's device so that the
camera follows. QEMU sends bytes as fast as they come, so the camera paces them; the tap
paces them the same way to know when the last byte at a speed has left the line."""

import os
import select
import signal
import subprocess
import termios
import threading
import time

SPEEDS = {getattr(termios, n): int(n[1:]) for n in dir(termios) if n[:1] == "B" and n[1:].isdigit()}
CONSTANTS = {v: k for k, v in SPEEDS.items()}
ENTER_START = b"\xa0"  # the EnterUpgradeCommand, a Pelco-P frame
POLL_SECONDS = 0.001
IDLE_SECONDS = 0.02


def speed_of(fd):
    return SPEEDS.get(termios.tcgetattr(fd)[5], 0)


def make_raw(fd, speed=None):
    attributes = termios.tcgetattr(fd)
    attributes[0] = attributes[1] = attributes[3] = 0
    attributes[2] = termios.CS8 | termios.CREAD | termios.CLOCAL
    if speed in CONSTANTS:
        attributes[4] = attributes[5] = CONSTANTS[speed]
    attributes[6][termios.VMIN] = 1
    attributes[6][termios.VTIME] = 0
    termios.tcsetattr(fd, termios.TCSANOW, attributes)


class Tap:
    def __init__(self, name):
        self.name = name
        self.master, self._slave = os.openpty()
        self.path = os.ttyname(self._slave)
        make_raw(self._slave, 9600)
        os.set_blocking(self.master, False)
        self._lock = threading.Lock()
        self._camera = None
        self._stopping = False
        self.clear()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def clear(self):
        """Forgets what the tap saw; the record starts anew."""
        with self._lock:
            self.sent = []      # (seconds, bytes) the guest sent
            self.replies = []   # (seconds, bytes) the camera sent
            self.switches = []  # (seconds, old, new, line free at) speed changes the guest made
            self.speed = speed_of(self.master)
            self._free_at = 0.0

    def attach(self, camera_path):
        """Relays to the camera's device from now on (None: the guest's bytes are dropped)."""
        fd = None
        if camera_path:
            fd = os.open(camera_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
            make_raw(fd, self.speed)
        with self._lock:
            old, self._camera = self._camera, fd
        if old is not None:
            os.close(old)

    def bytes_sent(self):
        with self._lock:
            return b"".join(chunk for _, chunk in self.sent)

    def wait_for_bytes(self, count, timeout):
        deadline = time.monotonic() + timeout
        while len(self.bytes_sent()) < count:
            if time.monotonic() > deadline:
                return False
            time.sleep(0.002)
        return True

    def _run(self):
        while not self._stopping:
            with self._lock:
                camera = self._camera
            fds = [self.master] + ([camera] if camera is not None else [])
            try:
                # Speeds are sampled by polling: often while a camera listens, seldom else.
                ready, _, _ = select.select(fds, [], [], POLL_SECONDS if camera is not None else IDLE_SECONDS)
            except (OSError, ValueError):
                continue
            now = time.monotonic()
            data = self._read_guest() if self.master in ready else b""
            self._record(now, data)
            if camera is not None and camera in ready:
                self._from_camera(camera, now)

    def _read_guest(self):
        try:
            return os.read(self.master, 65536)
        except (BlockingIOError, OSError):
            return b""

    def _record(self, now, data):
        """Notes the bytes and a speed change seen in one poll, in the order they must have come.
        Either the guest opened its port and wrote its first frame at once (switch, then the
        EnterUpgradeCommand), or it ended a frame and switched (bytes, then switch): the worst
        case, taken whenever it is not plainly the first."""
        try:
            speed = speed_of(self.master)
        except OSError:
            speed = self.speed
        with self._lock:
            switched = speed != self.speed
            last_switch = self.switches[-1][0] if self.switches else 0.0
            first_frame = data[:1] == ENTER_START and not any(t > last_switch for t, _ in self.sent)
            if switched and (not data or first_frame):
                self._switch(now, speed)
                switched = False
            if data:
                self.sent.append((now, data))
                if self.speed:
                    self._free_at = max(self._free_at, now) + len(data) * 10.0 / self.speed
            if switched:
                self._switch(now, speed)
            camera = self._camera
        if camera is not None and data:
            write_all(camera, data)

    def _switch(self, now, speed):
        # With the lock held. The camera's device follows, so that it hears the new speed.
        self.switches.append((now, self.speed, speed, self._free_at))
        self.speed = speed
        if self._camera is not None and speed in CONSTANTS:
            try:
                make_raw(self._camera, speed)
            except OSError:
                pass

    def _from_camera(self, camera, now):
        try:
            data = os.read(camera, 65536)
        except (BlockingIOError, OSError):
            return
        with self._lock:
            self.replies.append((now, data))
        write_all(self.master, data)

    def slowest_reaction(self, reply):
        """The longest the guest took from the camera's reply (bytes) to its next byte, in seconds."""
        with self._lock:
            events = sorted([(t, b"") for t, _ in self.sent] + [(t, data) for t, data in self.replies])
        slowest, answered_at, pending = None, None, b""
        for t, data in events:
            if data:
                pending += data
                if reply in pending:
                    answered_at, pending = t, b""
            elif answered_at is not None:
                slowest = max(slowest or 0.0, t - answered_at)
                answered_at = None
        return slowest

    def dump(self, path):
        """The wire as the tap saw it, one chunk a line: seconds, direction, speed switches, hex."""
        with self._lock:
            events = [(t, "host", d) for t, d in self.sent] + [(t, "camera", d) for t, d in self.replies]
            events += [(t, "switch", f"{old} -> {new} (line free at {free - t:+.4f} s)")
                       for t, old, new, free in self.switches]
        if not events:
            return
        first = min(e[0] for e in events)
        with open(path, "w") as f:
            for t, who, data in sorted(events, key=lambda e: e[0]):
                shown = data if isinstance(data, str) else f"{len(data):4d} {data[:16].hex(' ')}"
                f.write(f"{t - first:10.4f} {who:6} {shown}\n")

    def close(self):
        self._stopping = True
        self._thread.join()
        self.attach(None)
        os.close(self.master)
        os.close(self._slave)


def write_all(fd, data):
    while data:
        try:
            data = data[os.write(fd, data):]
        except BlockingIOError:
            time.sleep(0.0005)
        except OSError:
            return


class Camera:
    """`orvane-cli simulate` with its bytes paced, for one upgrade or PTZ check."""

    def __init__(self, cli, link, log, bps=9600, upbps=9600, extra=()):
        self.link = link
        self.log = log
        self.process = subprocess.Popen([cli, "simulate", "--link", link, "--pacing", "--bps", str(bps),
                                         "--upbps", str(upbps), *strict(cli), *extra],
                                        stdout=open(log, "w"), stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while not os.path.islink(link):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"the virtual camera did not start: {self.output()}")
            time.sleep(0.01)

    def output(self):
        with open(self.log) as f:
            return f.read()

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return self.output()

    def verdict_digest(self):
        """The SHA-256 of the image the camera holds after a whole upgrade, or None."""
        for line in self.output().splitlines():
            if line.startswith("verdict match:") and "(sha256 " in line:
                return line.rsplit("(sha256 ", 1)[1].rstrip(")")
        return None


def strict(cli):
    """--strict where this orvane-cli's camera has it: as unforgiving as a real boot loader."""
    if cli not in _STRICT:
        help_text = subprocess.run([cli, "simulate", "--help"], capture_output=True, text=True).stdout
        _STRICT[cli] = ["--strict"] if "--strict" in help_text else []
    return _STRICT[cli]


_STRICT = {}
