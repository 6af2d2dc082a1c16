"""The QEMU guest: started with TCG, its console on QEMU's standard input and output (the guest's
ttyS0, where its init runs one command at a time, see guest/init) and QMP on a unix socket for
plugging and unplugging devices while programs in the guest hold them."""

import base64
import json
import os
import queue
import select
import shutil
import socket
import subprocess
import threading
import time

from rig.skip import Skip

QEMU = "qemu-system-x86_64"


class GuestError(Exception):
    pass


def find_qemu():
    path = shutil.which(QEMU)
    if path is None:
        raise Skip(f"no {QEMU}", package="qemu-system-x86")
    return path


class Guest:
    def __init__(self, kernel_image, initramfs, folder, devices, smp=1, memory_mb=512):
        """devices: QEMU arguments for the chardevs and devices beyond the console."""
        self.folder = folder
        self.qmp_path = os.path.join(folder, "qmp.sock")
        self.console_log = open(os.path.join(folder, "console.log"), "w")
        command = [find_qemu(), "-nodefaults", "-no-user-config", "-display", "none", "-accel", "tcg",
                   "-smp", str(smp), "-m", str(memory_mb), "-kernel", kernel_image, "-initrd", initramfs,
                   "-append", "console=ttyS0 quiet loglevel=1 panic=-1 rdinit=/init",
                   "-chardev", "stdio,id=console,signal=off", "-serial", "chardev:console",
                   "-qmp", f"unix:{self.qmp_path},server=on,wait=off", "-no-reboot"] + devices
        self.started = time.monotonic()
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=open(os.path.join(folder, "qemu.err"), "w"))
        self._lines = queue.Queue()
        self._reader = threading.Thread(target=self._read_console, daemon=True)
        self._reader.start()
        self.qmp = None
        self.boot_seconds = None

    def _read_console(self):
        for raw in self.process.stdout:
            line = raw.decode(errors="replace").rstrip("\r\n")
            self.console_log.write(line + "\n")
            self.console_log.flush()
            self._lines.put(line)
        self._lines.put(None)

    def _next_line(self, deadline):
        try:
            line = self._lines.get(timeout=max(0.0, deadline - time.monotonic()))
        except queue.Empty:
            raise GuestError("the guest did not answer in time")
        if line is None:
            raise GuestError(f"QEMU ended (status {self.process.wait()}); see {self.folder}")
        return line

    def wait_ready(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            line = self._next_line(deadline)
            if line.startswith("@@MODULE"):
                raise GuestError(line[2:])
            if line == "@@READY":
                break
        self.boot_seconds = time.monotonic() - self.started
        self.qmp = Qmp(self.qmp_path)

    def run(self, script, timeout=60):
        """Runs a shell script in the guest; answers (status, output)."""
        encoded = base64.b64encode(script.encode()).decode()
        self.process.stdin.write(encoded.encode() + b"\n")
        self.process.stdin.flush()
        deadline = time.monotonic() + timeout
        while self._next_line(deadline) != "@@OUT":
            pass
        chunks = []
        while True:
            line = self._next_line(deadline)
            if line.startswith("@@END "):
                return int(line.split()[1]), base64.b64decode("".join(chunks)).decode(errors="replace")
            chunks.append(line)

    def check(self, script, timeout=60):
        status, output = self.run(script, timeout)
        if status != 0:
            raise GuestError(f"guest command failed ({status}): {script.strip()[:200]}\n{output[-2000:]}")
        return output

    def stop(self):
        if self.qmp:
            self.qmp.close()
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.console_log.close()


class Qmp:
    """QEMU's machine protocol: commands and their answers, events kept for wait_event."""

    def __init__(self, path):
        self._socket = socket.socket(socket.AF_UNIX)
        self._socket.connect(path)
        self._buffer = b""
        self._events = []
        self._read(time.monotonic() + 30)  # the greeting
        self.execute("qmp_capabilities")

    def _read(self, deadline):
        while b"\n" not in self._buffer:
            ready, _, _ = select.select([self._socket], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                return None
            data = self._socket.recv(65536)
            if not data:
                raise GuestError("QMP closed")
            self._buffer += data
        line, self._buffer = self._buffer.split(b"\n", 1)
        return json.loads(line)

    def execute(self, command, **arguments):
        message = {"execute": command}
        if arguments:
            message["arguments"] = arguments
        self._socket.sendall(json.dumps(message).encode() + b"\n")
        deadline = time.monotonic() + 30
        while True:
            answer = self._read(deadline)
            if answer is None:
                raise GuestError(f"QMP {command}: no answer")
            if "event" in answer:
                self._events.append(answer)
            elif "error" in answer:
                raise GuestError(f"QMP {command}: {answer['error'].get('desc')}")
            else:
                return answer.get("return")

    def wait_event(self, name, device, timeout=10):
        deadline = time.monotonic() + timeout
        while True:
            for event in self._events:
                if event["event"] == name and event.get("data", {}).get("device") == device:
                    self._events.remove(event)
                    return
            event = self._read(deadline)
            if event is None:
                raise GuestError(f"no {name} for {device} within {timeout} s")
            self._events.append(event)

    def close(self):
        self._socket.close()
