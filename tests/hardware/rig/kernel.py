"""The guest's kernel and modules: Debian's own kernel package, fetched with apt-get download
and unpacked into a cache folder, never installed on this machine. The package ships no
modules.dep (depmod makes it on installation), so a module's dependencies are read from the
`depends=` entry of its own .modinfo section."""

import os
import shutil
import struct
import subprocess
import tempfile

from rig.skip import Skip

META_PACKAGE = "linux-image-amd64"


def versioned_package():
    """linux-image-amd64 is only a dependency on the versioned package that holds the files."""
    try:
        out = subprocess.run(["apt-cache", "depends", META_PACKAGE], capture_output=True, text=True,
                             timeout=60).stdout
    except (OSError, subprocess.TimeoutExpired) as error:
        raise Skip(f"apt-cache cannot be asked for {META_PACKAGE}: {error}")
    for line in out.splitlines():
        words = line.replace("|", " ").split()
        if len(words) == 2 and words[0] == "Depends:" and words[1].startswith("linux-image-"):
            return words[1]
    raise Skip(f"apt-cache knows no package behind {META_PACKAGE} (run apt-get update)")


class Kernel:
    """The unpacked package: vmlinuz and the module tree of one kernel release."""

    def __init__(self, root):
        self.root = root
        boot = os.path.join(root, "boot")
        images = sorted(n for n in os.listdir(boot) if n.startswith("vmlinuz-"))
        if not images:
            raise Skip(f"no vmlinuz in {boot}")
        self.release = images[-1][len("vmlinuz-"):]
        self.image = os.path.join(boot, images[-1])
        self.modules = os.path.join(root, "lib", "modules", self.release)
        self._paths = None

    def module_path(self, name):
        if self._paths is None:
            self._paths = {}
            for folder, _, files in os.walk(self.modules):
                for file in files:
                    if file.endswith(".ko"):
                        self._paths[normalised(file[:-3])] = os.path.join(folder, file)
        path = self._paths.get(normalised(name))
        if path is None:
            raise Skip(f"kernel {self.release} has no module {name}")
        return path

    def load_order(self, names):
        """The module files for names with everything they depend on, dependencies first."""
        order, seen = [], set()

        def visit(name):
            key = normalised(name)
            if key in seen:
                return
            seen.add(key)
            path = self.module_path(key)
            for dependency in module_depends(path):
                visit(dependency)
            order.append(path)

        for name in names:
            visit(name)
        return order


def normalised(name):
    return name.replace("-", "_")


def fetch(cache):
    """The kernel package unpacked below cache, fetched on first use. Raises Skip when it
    cannot be had (no apt lists, no network, no disk)."""
    package = versioned_package()
    root = os.path.join(cache, package)
    if os.path.isdir(os.path.join(root, "boot")):
        return Kernel(root)
    try:
        os.makedirs(cache, exist_ok=True)
        # Unpacked beside its final place and renamed, so that a run cut short leaves nothing
        # that looks complete.
        scratch = tempfile.mkdtemp(prefix=package + ".", dir=cache)
    except OSError as error:
        raise Skip(f"no room for the kernel package in {cache}: {error}")
    try:
        download = apt_download(package, scratch)
        debs = [n for n in os.listdir(scratch) if n.endswith(".deb")]
        if download.returncode != 0 or not debs:
            raise Skip(f"apt-get download {package} failed: {download.stderr.strip()[-300:]}")
        tree = os.path.join(scratch, "tree")
        unpack = subprocess.run(["dpkg-deb", "-x", os.path.join(scratch, debs[0]), tree],
                                capture_output=True, text=True, timeout=600)
        if unpack.returncode != 0:
            raise Skip(f"dpkg-deb -x {debs[0]} failed: {unpack.stderr.strip()[-300:]}")
        os.rename(tree, root)
        # An older kernel's tree is 400 MB that no run needs any more.
        for old in os.listdir(cache):
            if old.startswith("linux-image-") and old != package and not old.startswith(package + "."):
                shutil.rmtree(os.path.join(cache, old), ignore_errors=True)
    except (OSError, subprocess.TimeoutExpired) as error:
        raise Skip(f"the kernel package {package} could not be fetched: {error}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return Kernel(root)


def apt_download(package, folder):
    """apt-get download, once more after apt-get update where the lists are stale (root only)."""
    command = ["apt-get", "download", package]
    done = subprocess.run(command, cwd=folder, capture_output=True, text=True, timeout=600)
    if done.returncode != 0 and os.geteuid() == 0:
        subprocess.run(["apt-get", "update", "-qq"], capture_output=True, timeout=600)
        done = subprocess.run(command, cwd=folder, capture_output=True, text=True, timeout=600)
    return done


def module_depends(path):
    """The names in a module's depends= entry, read from its ELF .modinfo section."""
    with open(path, "rb") as file:
        data = file.read()
    if data[:4] != b"\x7fELF" or data[4] != 2:
        raise Skip(f"{path} is no 64-bit ELF module")
    shoff, = struct.unpack_from("<Q", data, 0x28)
    shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x3A)

    def section(index):
        base = shoff + index * shentsize
        name, = struct.unpack_from("<I", data, base)
        offset, size = struct.unpack_from("<QQ", data, base + 0x18)
        return name, offset, size

    _, names_offset, _ = section(shstrndx)
    for index in range(shnum):
        name, offset, size = section(index)
        end = data.index(b"\0", names_offset + name)
        if data[names_offset + name:end] == b".modinfo":
            for entry in data[offset:offset + size].split(b"\0"):
                if entry.startswith(b"depends="):
                    return [n for n in entry[len(b"depends="):].decode().split(",") if n]
            return []
    return []
