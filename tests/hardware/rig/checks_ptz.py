"""PTZ test frames exactly as Pelco-D spells them, as they arrive at the far end: on the tap
for the FTDI adapter and the UART, through the gadget's camera for CDC-ACM."""

from rig.report import judged

SPEED = 0x1E
# action: command 1, command 2, data 1 (pan speed), data 2 (tilt speed); home sends nothing.
ACTIONS = {"left": (0x00, 0x04, SPEED, 0x00), "up": (0x00, 0x08, 0x00, SPEED), "tele": (0x00, 0x20, 0, 0),
           "near": (0x01, 0x00, 0, 0), "stop": (0, 0, 0, 0), "home": None}


def pelco_d(fields):
    body = [0x01, *fields]
    return bytes([0xFF, *body, sum(body) % 256])


def expected():
    return b"".join(pelco_d(f) for f in ACTIONS.values() if f is not None)


def camera_received(log):
    """The frames the guest's camera reports, from its "rx AA BB ... | meaning" lines."""
    frames = b""
    for text in log.splitlines():
        if text.startswith("rx ") and " | " in text:
            frames += bytes.fromhex(text[3:].split(" | ")[0])
    return frames


def check(bench, report):
    for adapter in bench.adapters:
        sends = "; ".join(f"orvane-cli ptz {a} --port {adapter.port} || echo 'ptz {a} failed: '$?"
                          for a in ACTIONS)
        camera = bench.camera(adapter) if adapter.tap is None else None
        if adapter.tap is not None:
            adapter.tap.clear()
        output = bench.guest.check(sends)
        if camera is not None:
            seen = camera_received(camera.stop())
        else:
            # The last frame may still be on its way through QEMU.
            adapter.tap.wait_for_bytes(len(expected()), 2)
            seen = adapter.tap.bytes_sent()
        frames = len(expected()) // 7
        report.add("PTZ frames exact on the wire", adapter.column,
                   judged(seen == expected() and "failed" not in output, f"{frames} frames, home sends none",
                          f"sent {seen.hex(' ')}, expected {expected().hex(' ')}; {output.strip()}"))
