"""The bench the checks run on, booted once: a guest with two FTDI adapters (QEMU's usb-serial
on xHCI, driver ftdi_sio) and a second 16550 UART (driver 8250), each on a host
pseudo-terminal with a tap and room for a virtual camera, plus a USB gadget in the guest whose
ACM function the cdc_acm driver serves as ttyACM0 (its far end, ttyGS0, is in the guest, so
that camera runs there). QMP unplugs and replugs the FTDI adapters; the gadget is unplugged by
unbinding it from its controller."""

import os
import time

from rig import initramfs, line, vm

IMAGE = bytes(range(256)) * 16  # every byte value, four blocks
IMAGE_PATH = "/rig/image.bin"
MODULES = ["xhci_pci", "ftdi_sio", "cdc_acm", "dummy_hcd", "libcomposite", "usb_f_acm"]
GADGET = {"vid": "1209", "pid": "0001", "manufacturer": "Orvane Rig", "product": "ACM Camera",
          "serial": "RIGACM1"}
FTDI = {"vid": "0403", "pid": "6001", "manufacturer": "QEMU", "product": "QEMU USB SERIAL"}
# The gadget's end has no line speed for the camera to wait on before it answers at a new one,
# and orvane-cli closes and reopens its port to switch: a reply that comes before the close is
# dropped with the port's unread input. A camera takes its time to switch; this one takes
# 250 ms before every reply (a TCG guest under load takes over 100 ms from write to close).
GADGET_REPLY_DELAY_MS = 250


def udev_link(usb, interface, port=None):
    """The /dev/serial/by-id name udev gives a USB serial port."""
    def clean(text):
        text = "_".join(text.split())
        return "".join(c if c.isalnum() or c in "#+-.:=@_" else "_" for c in text)
    name = f"usb-{clean(usb['manufacturer'])}_{clean(usb['product'])}_{clean(usb['serial'])}-if{interface:02d}"
    return "/dev/serial/by-id/" + name + (f"-port{port}" if port is not None else "")


class Adapter:
    def __init__(self, column, driver, node, usb=None, tap=None, qemu_id=None, port_number=None):
        self.column = column
        # QEMU's 16550 sends every byte at once and says it is empty at once: a switch right
        # after the last byte is then the kernel's answer, not a drain that could be judged.
        self.drain_judged = driver != "8250"
        self.driver = driver
        self.node = node  # the device's name in the guest now; a replug may change it
        self.usb = usb
        self.by_id = udev_link(usb, 0, port_number) if usb else None
        self.tap = tap
        self.qemu_id = qemu_id
        self.chardev = f"c_{qemu_id}" if qemu_id else None

    @property
    def port(self):
        """What the checks hand orvane-cli: the by-id link where there is one."""
        return self.by_id or "/dev/" + self.node


class Bench:
    def __init__(self, cli, kernel, folder, strace, smp):
        self.cli = cli
        self.folder = folder
        self.strace = strace
        self.cameras = 0  # numbers the cameras' logs in the work folder
        taps = {name: line.Tap(name) for name in ("ftdi1", "ftdi2", "uart")}
        self.ftdi = [Adapter("FTDI", "ftdi_sio", None, dict(FTDI, serial=f"RIG00{k}"), taps[f"ftdi{k}"],
                             f"ftdi{k}", 0) for k in (1, 2)]
        self.acm = Adapter("CDC-ACM", "cdc_acm", "ttyACM0", GADGET)
        self.uart = Adapter("8250", "8250", "ttyS1", tap=taps["uart"])
        self.adapters = [self.ftdi[0], self.acm, self.uart]
        devices = ["-device", "qemu-xhci,id=xhci"]
        for adapter in self.ftdi:
            devices += ["-chardev", f"serial,id={adapter.chardev},path={adapter.tap.path}",
                        "-device", self._usb_serial(adapter)]
        devices += ["-chardev", f"serial,id=c_uart,path={self.uart.tap.path}",
                    "-device", "isa-serial,chardev=c_uart,index=1"]
        programs = {"orvane-cli": cli}
        if strace:
            programs["strace"] = strace
        initrd = os.path.join(folder, "initramfs.cpio")
        initramfs.build(initrd, kernel.load_order(MODULES), programs, {IMAGE_PATH: IMAGE})
        self.guest = vm.Guest(kernel.image, initrd, folder, devices, smp=smp)
        self.guest.wait_ready(timeout=600)
        g = GADGET
        self.guest.check(f"gadget make 0x{g['vid']} 0x{g['pid']} '{g['manufacturer']}' '{g['product']}' "
                         f"'{g['serial']}' && gadget plug")
        for adapter in self.ftdi + [self.acm]:
            self.wait_link(adapter)
        # The kernel's log stamps and the uptime come from different clocks; how far apart they are.
        logged, up = self.guest.check("echo rig-clock >/dev/kmsg; read -r up _ </proc/uptime; "
                                      "dmesg | grep rig-clock | tail -n 1; echo $up").splitlines()
        self.log_clock_ahead = float(logged.split("]")[0].strip("[ ")) - float(up)

    def _usb_serial(self, adapter):
        return f"usb-serial,id={adapter.qemu_id},chardev={adapter.chardev},serial={adapter.usb['serial']}," \
               "bus=xhci.0"

    def wait_link(self, adapter, timeout=60):
        """Waits until the adapter's by-id link is there and notes the node it points at."""
        node = self.guest.check(f"n=0; while [ ! -e '{adapter.by_id}' ] && [ $n -lt {timeout * 50} ]; do "
                                f"usleep 20000; n=$((n + 1)); done; basename \"$(readlink '{adapter.by_id}')\"",
                                timeout=timeout + 30).strip()
        if not node:
            raise vm.GuestError(f"{adapter.by_id} did not appear in the guest")
        adapter.node = node

    def unplug(self, adapter):
        self.guest.qmp.execute("device_del", id=adapter.qemu_id)
        self.guest.qmp.wait_event("DEVICE_DELETED", adapter.qemu_id)

    def plug(self, adapter):
        driver, _, rest = self._usb_serial(adapter).partition(",")
        arguments = dict(item.split("=", 1) for item in rest.split(","))
        self.guest.qmp.execute("device_add", driver=driver, **arguments)
        self.wait_link(adapter)

    def camera(self, adapter, bps=9600, upbps=9600):
        self.cameras += 1
        log = os.path.join(self.folder, f"{self.cameras:02d}-{adapter.qemu_id or adapter.column}-{bps}-{upbps}")
        if adapter.tap is None:
            return GuestCamera(self.guest, bps, upbps, log, line.strict(self.cli))
        return HostCamera(self, adapter, bps, upbps, log)

    def stop(self):
        self.guest.stop()
        for adapter in self.ftdi + [self.uart]:
            adapter.tap.close()


class HostCamera:
    """A virtual camera on the host behind the adapter's tap."""

    def __init__(self, bench, adapter, bps, upbps, log):
        self.tap = adapter.tap
        self.log = log
        link = os.path.join(bench.folder, f"camera-{adapter.qemu_id or 'uart'}")
        self.camera = line.Camera(bench.cli, link, log + ".camera.log", bps, upbps)
        self.tap.clear()
        self.tap.attach(link)

    def wait_into_block(self, block, timeout=60):
        """Waits until the host is some way into sending DataBlock `block`."""
        return self.tap.wait_for_bytes(1030 * (block - 1) + 300, timeout)

    def stop(self):
        self.tap.attach(None)
        self.tap.dump(self.log + ".wire.txt")
        return self.camera.stop()

    def digest(self):
        return self.camera.verdict_digest()


class GuestCamera:
    """The virtual camera in the guest, on the gadget's end of the CDC-ACM link."""

    def __init__(self, guest, bps, upbps, log, extra):
        self.guest = guest
        self.path = log + ".camera.log"
        guest.check(f"job start camera orvane-cli simulate --device /dev/ttyGS0 --pacing --bps {bps} "
                    f"--upbps {upbps} --reply-delay-ms {GADGET_REPLY_DELAY_MS} {' '.join(extra)}; n=0; "
                    "until grep -q ' ready:' /tmp/camera.out || [ $n -gt 500 ]; do "
                    "usleep 20000; n=$((n + 1)); done; grep -q ' ready:' /tmp/camera.out")
        self.log = ""

    def wait_into_block(self, block, timeout=60):
        # The camera reports a block once it has answered it; the next is then on its way.
        status, _ = self.guest.run(f"n=0; until [ $(grep -c 'DataBlock' /tmp/camera.out) -ge {block - 1} ] || "
                                   f"[ $n -gt {timeout * 200} ]; do usleep 5000; n=$((n + 1)); done; "
                                   f"usleep 300000; [ $(grep -c 'DataBlock' /tmp/camera.out) -ge {block - 1} ]",
                                   timeout=timeout + 30)
        return status == 0

    def stop(self):
        # Without the uptime in front of each line, as the host's camera writes its log.
        self.log = self.guest.check("job kill camera; job wait camera 10 >/dev/null; "
                                    "cut -d' ' -f2- /tmp/camera.out")
        with open(self.path, "w") as f:
            f.write(self.log)
        return self.log

    def digest(self):
        for text in self.log.splitlines():
            if text.startswith("verdict match:") and "(sha256 " in text:
                return text.rsplit("(sha256 ", 1)[1].rstrip(")")
        return None
