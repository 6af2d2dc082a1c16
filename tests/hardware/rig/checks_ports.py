"""`orvane-cli ports`, `--long` and `--json` against what the kernel's sysfs and the by-id
folder hold for each adapter, read in the guest by the shell."""

import json

from rig.report import judged

SYSFS = r"""
for n in {nodes}; do
  u=$(readlink -f /sys/class/tty/$n/device)
  driver=$(basename "$(readlink -f /sys/class/tty/$n/device/driver)")
  while [ "$u" != /sys ] && [ ! -f "$u/idVendor" ]; do u=${{u%/*}}; done
  link=""
  for l in /dev/serial/by-id/*; do [ "$(readlink -f "$l")" = /dev/$n ] && link=$l; done
  latency=$(cat /sys/class/tty/$n/device/latency_timer 2>/dev/null)
  if [ -f "$u/idVendor" ]; then
    usb="$(cat $u/idVendor)|$(cat $u/idProduct)|$(cat $u/manufacturer)|$(cat $u/product)|$(cat $u/serial)"
    echo "sysfs|$n|$driver|$usb|$latency|$link"
  else
    echo "sysfs|$n|$driver||||||$latency|$link"
  fi
done
echo "@plain"; orvane-cli ports
echo "@long"; orvane-cli ports --long
echo "@json"; orvane-cli ports --json
"""

FIELDS = ["driver", "vid", "pid", "manufacturer", "product", "serial", "latencyTimerMs", "byId"]


def sysfs_facts(line):
    values = line.split("|")[2:]
    facts = dict(zip(FIELDS, [v or None for v in values]))
    # The on-board UART's driver binding is its platform or PnP one; Orvane says 8250.
    if facts["driver"] in ("serial8250", "serial"):
        facts["driver"] = "8250"
    if facts["latencyTimerMs"] is not None:
        facts["latencyTimerMs"] = int(facts["latencyTimerMs"])
    return facts


def parse(output):
    sysfs, sections, current = {}, {"plain": [], "long": [], "json": []}, None
    for text in output.splitlines():
        if text.startswith("sysfs|"):
            sysfs[text.split("|")[1]] = sysfs_facts(text)
        elif text in ("@plain", "@long", "@json"):
            current = text[1:]
        elif current:
            sections[current].append(text)
    reported = {}
    for text in sections["json"]:
        port = json.loads(text)
        if "name" in port:  # a port, not the closing result
            reported[port["name"]] = port
    return sysfs, sections, reported


def expected_facts(adapter):
    facts = {"driver": adapter.driver, "byId": adapter.by_id}
    if adapter.usb:
        facts.update({k: adapter.usb[k] for k in ("vid", "pid", "manufacturer", "product", "serial")})
    return facts


def summary_of(facts):
    text = facts.get("driver") or "?"
    text += f" {facts['vid']}:{facts['pid']}" if facts.get("vid") else " no USB"
    text += f" {facts['serial']}" if facts.get("serial") else ""
    text += " by-id" if facts.get("byId") else ""
    if facts.get("latencyTimerMs") is not None:
        text += f" latency {facts['latencyTimerMs']} ms"
    return text


def check(bench, report):
    adapters = bench.adapters + bench.ftdi[1:]
    output = bench.guest.check(SYSFS.format(nodes=" ".join(a.node for a in adapters)))
    sysfs, sections, reported = parse(output)
    for adapter in bench.adapters:
        node = adapter.node
        facts = sysfs.get(node, {})
        # The bench itself: the kernel holds what the rig asked QEMU and the gadget for.
        wrong_bench = {k: (facts.get(k), v) for k, v in expected_facts(adapter).items() if facts.get(k) != v}
        port = reported.get(node, {})
        wrong = {k: (port.get(k), facts.get(k)) for k in FIELDS if port.get(k) != facts.get(k)}
        report.add("ports --json = sysfs (driver, VID:PID, product, serial, by-id)", adapter.column,
                   judged(not wrong and not wrong_bench, summary_of(facts),
                          f"orvane-cli (reported, sysfs): {wrong}" if wrong
                          else f"bench (sysfs, asked): {wrong_bench}"))
        row = next((r for r in sections["long"] if r.split()[:1] == [node]), "")
        shown = [v for v in (facts.get("driver"), facts.get("product"), facts.get("serial"), facts.get("byId"))
                 if v] + ([f"{facts['vid']}:{facts['pid']}"] if facts.get("vid") else [])
        missing = [v for v in shown if v not in row]
        listed = node in sections["plain"]
        report.add("ports and ports --long list it with those facts", adapter.column,
                   judged(listed and not missing, "",
                          f"listed by ports: {listed}; missing in its --long row: {missing}; row: {row!r}"))
