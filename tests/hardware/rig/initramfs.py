"""The guest's whole root file system as an initramfs (cpio, newc format, uncompressed: the
kernel unpacks it faster than it could inflate it): busybox-static, the kernel modules in
load order, the programs under test with the shared libraries and the loader that ldd names,
the guest's scripts and the images."""

import os
import re
import stat
import subprocess

from rig.skip import Skip

BUSYBOX = "/bin/busybox"
GUEST = os.path.join(os.path.dirname(__file__), "guest")


class Archive:
    def __init__(self):
        self._parts = []
        self._inode = 1
        self._dirs = set()

    def _entry(self, name, mode, data=b"", rdev=(0, 0)):
        fields = [self._inode, mode, 0, 0, 1, 0, len(data), 0, 0, rdev[0], rdev[1], len(name) + 1, 0]
        self._inode += 1
        header = b"070701" + b"".join(b"%08X" % f for f in fields) + name.encode() + b"\0"
        self._parts += [header, b"\0" * (-len(header) % 4), data, b"\0" * (-len(data) % 4)]

    def directory(self, path):
        path = path.strip("/")
        if not path or path in self._dirs:
            return
        self.directory(os.path.dirname(path))
        self._dirs.add(path)
        self._entry(path, stat.S_IFDIR | 0o755)

    def file(self, path, data, mode=0o644):
        path = path.strip("/")
        self.directory(os.path.dirname(path))
        self._entry(path, stat.S_IFREG | mode, data)

    def host_file(self, path, source, mode=None):
        with open(source, "rb") as f:
            data = f.read()
        self.file(path, data, mode if mode is not None else stat.S_IMODE(os.stat(source).st_mode))

    def char_device(self, path, major, minor):
        path = path.strip("/")
        self.directory(os.path.dirname(path))
        self._entry(path, stat.S_IFCHR | 0o600, rdev=(major, minor))

    def write(self, target):
        self._entry("TRAILER!!!", 0)
        data = b"".join(self._parts)
        with open(target, "wb") as f:
            f.write(data + b"\0" * (-len(data) % 512))


def shared_objects(program):
    """The libraries and loader a dynamically linked program needs, as ldd lists them."""
    out = subprocess.run(["ldd", program], capture_output=True, text=True)
    if out.returncode != 0:
        raise Skip(f"ldd {program}: {out.stderr.strip() or out.stdout.strip()}")
    found = []
    for line in out.stdout.splitlines():
        match = re.match(r"\s*(?:\S+ => )?(/\S+) \(0x", line)
        if match:
            found.append(match.group(1))
    return found


def add_program(archive, name, program):
    """program at /rig/bin/name, its libraries at the paths ldd names (the loader's own
    search finds them there)."""
    archive.host_file(f"rig/bin/{name}", program, 0o755)
    for library in shared_objects(program):
        archive.host_file(library, os.path.realpath(library), 0o755)


def check_busybox():
    if not os.path.isfile(BUSYBOX):
        raise Skip(f"no {BUSYBOX}", package="busybox-static")
    out = subprocess.run(["ldd", BUSYBOX], capture_output=True, text=True)
    if "not a dynamic executable" not in out.stdout + out.stderr:
        raise Skip(f"{BUSYBOX} is linked dynamically", package="busybox-static")


def build(target, modules, programs, files):
    """modules: .ko paths in load order; programs: {name: host path}; files: {guest path:
    bytes}."""
    check_busybox()
    archive = Archive()
    archive.char_device("dev/console", 5, 1)
    for folder in ("proc", "sys", "dev", "tmp", "etc", "sbin", "usr/bin", "usr/sbin", "root"):
        archive.directory(folder)
    archive.host_file("bin/busybox", BUSYBOX, 0o755)
    archive.host_file("init", os.path.join(GUEST, "init"), 0o755)
    for script in ("byid", "gadget", "job"):
        archive.host_file(f"rig/bin/{script}", os.path.join(GUEST, script), 0o755)
    archive.file("etc/mdev.conf", b"(ttyUSB|ttyACM)[0-9]+ 0:0 660 ! */rig/bin/byid\n.* 0:0 660 !\n")
    order = []
    for path in modules:
        name = os.path.basename(path)
        archive.host_file(f"rig/modules/{name}", path, 0o644)
        order.append(name)
    archive.file("rig/modules/order", ("\n".join(order) + "\n").encode())
    for name, program in programs.items():
        add_program(archive, name, program)
    for path, data in files.items():
        archive.file(path, data)
    archive.write(target)
