#!/usr/bin/env python3
"""torvane-list's port details and --set-latency on the real ftdi_sio driver,
with Debian's systemd-udevd and its 60-serial.rules: the latency timer and USB
speed as sysfs has them, the holders of a node, the by-id and by-path links;
the timer set by port and by link (and kept by QEMU's chip, as a rebind of the
driver shows); the refusals; and the udev rule printed for a user who may not
write the timer, applied by udevd at a replay and at a plug-in."""
import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from guest_lib import LISTER, Checks, converters, monitor, node_of, run  # noqa: E402

PORTS = "/sys/bus/usb-serial/devices"
RULE_FILE = "/etc/udev/rules.d/90-latency-check.rules"
AS_NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]


def latency(node):
    with open(f"{PORTS}/{os.path.basename(node)}/latency_timer") as f:
        return int(f.read())


def set_sysfs_latency(node, ms):
    with open(f"{PORTS}/{os.path.basename(node)}/latency_timer", "w") as f:
        f.write(str(ms))


def timers():
    return {node: latency(node) for node in converters()}


def listing():
    out = run([LISTER, "--json"])
    return {d["device"]: d for d in json.loads(out.stdout)["devices"]} if out.returncode == 0 else {}


def set_latency(ms, port, prefix=()):
    return run([*prefix, LISTER, "--set-latency", str(ms), "--port", port])


def com(node):
    return f"COM{33 + converters()[node]['k']}"


def wait_for(condition, seconds=10.0):
    deadline = time.monotonic() + seconds
    while not condition() and time.monotonic() < deadline:
        time.sleep(0.05)
    return condition()


def settle():
    subprocess.run(["udevadm", "settle", "--timeout=10"], timeout=15)


c = Checks()
boot_timers = timers()
first = listing()
c.equal("converters listed", sorted(first), sorted(boot_timers))

# The timer is the port's own sysfs value (0 on QEMU's chip, 16 on a real
# one); every converter is full speed.
for node, d in sorted(first.items()):
    c.equal(f"{node} latency_ms", d["latency_ms"], boot_timers[node])
    c.equal(f"{node} usb_speed_mbps", d["usb_speed_mbps"], 12)

# The links udev made: by-path one per converter; by-id named from the USB
# strings, so the two converters sharing a serial (and strings) share one
# name, which leads to one of them only.
for node, d in sorted(first.items()):
    for field, folder in (("by_id", "/dev/serial/by-id/"), ("by_path", "/dev/serial/by-path/")):
        link = d[field]
        if link is None and field == "by_id" and d["serial"] == "FTSHARED":
            continue
        if c.true(f"{node} {field} under {folder}", isinstance(link, str) and link.startswith(folder), repr(link)):
            c.equal(f"{node} {field} resolves to it", os.path.realpath(link), node)
shared = [d for d in first.values() if d["serial"] == "FTSHARED"]
shared_links = glob.glob("/dev/serial/by-id/*FTSHARED*")
c.equal("one by-id link for the shared serial", len(shared_links), 1)
c.equal("  the by_id of one of the two, null for the other", sorted(d["by_id"] or "" for d in shared),
        ["", *shared_links[:1]])
c.equal("by_path distinct", len({d["by_path"] for d in first.values()}), len(first))

# A free port; then held by a child; then free again once the child is gone.
held = node_of("1-1")
c.equal(f"{held} free: in_use", first[held]["in_use"], False)
c.equal(f"{held} free: held_by", first[held]["held_by"], [])
fd = os.open(held, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
child = subprocess.Popen(["sleep", "30"], stdin=fd)
os.close(fd)
try:
    now = listing()[held]
    c.equal(f"{held} held: held_by", now["held_by"], [{"pid": child.pid, "command": "sleep"}])
    c.equal(f"{held} held: in_use", now["in_use"], True)
finally:
    child.send_signal(signal.SIGKILL)
    child.wait(5)
now = listing()[held]
c.equal(f"{held} after the holder ended: held_by", now["held_by"], [])
c.equal(f"{held} after the holder ended: in_use", now["in_use"], False)

# Set by its by-id link, by its COM port; the next listing shows it. The
# driver reads the chip's timer when it binds: after a rebind the value is
# still there, so it reached QEMU's chip, which keeps it.
by_id_node = node_of("1-2.1")
result = set_latency(5, first[by_id_node]["by_id"])
c.equal("--set-latency 5 --port <by-id link>: status", result.returncode, 0)
c.equal("  timer", latency(by_id_node), 5)
result = set_latency(1, com(held))
c.equal(f"--set-latency 1 --port {com(held)}: status", result.returncode, 0)
c.equal("  timer", latency(held), 1)
c.equal("  next listing's latency_ms", listing()[held]["latency_ms"], 1)
interface = os.path.basename(os.path.realpath(f"{PORTS}/{os.path.basename(held)}/.."))
for action in ("unbind", "bind"):
    with open(f"/sys/bus/usb/drivers/ftdi_sio/{action}", "w") as f:
        f.write(interface)
c.true("  the port is back after a rebind", wait_for(lambda: "1-1" in [v["usb"] for v in converters().values()]))
settle()
held = node_of("1-1")
c.equal("  timer after a rebind (read from the chip)", latency(held), 1)

# A user who may not write the timer: status 6, nothing written, and the rule
# line last; that line, installed, is applied by udevd to this converter only,
# at a replay of "add" and when a converter with its serial is plugged in.
target = node_of("1-2.1")
if not shutil.which("setpriv"):
    print("skip: no setpriv in the guest, cannot run as an unprivileged user")
else:
    before = timers()
    result = set_latency(2, com(target), AS_NOBODY)
    c.equal(f"as nobody --set-latency 2 --port {com(target)}: status", result.returncode, 6)
    c.equal("  timers unchanged", timers(), before)
    rule = result.stderr.strip().splitlines()[-1] if result.stderr.strip() else ""
    c.true("  stderr's last line is the rule", rule.startswith("ACTION==") and 'ATTR{latency_timer}="2"' in rule,
           repr(result.stderr))
    with open(RULE_FILE, "w") as f:
        f.write(rule + "\n")
    subprocess.run(["udevadm", "control", "--reload-rules"], timeout=10)
    subprocess.run(["udevadm", "trigger", "--action=add", "--subsystem-match=usb-serial"], timeout=10)
    settle()
    c.equal("  after a replay of add: the timers", timers(), {**before, target: 2})
    monitor("chardev-add null,id=latplug")
    monitor("device_add usb-serial,id=latplug,bus=xhci.0,port=4,chardev=latplug,serial=FT000002,always-plugged=on")
    plugged = lambda: [n for n, v in converters().items() if v["usb"] == "1-4"]  # noqa: E731
    if c.true("  a converter with its serial plugged in", wait_for(lambda: bool(plugged()))):
        settle()
        c.equal("  its timer", latency(plugged()[0]), 2)
    monitor("device_del latplug")
    c.true("  and removed", wait_for(lambda: not plugged()))
    os.remove(RULE_FILE)
    subprocess.run(["udevadm", "control", "--reload-rules"], timeout=10)

# Refused before anything is written: a serial two converters share (both are
# named), a value out of range.
before = timers()
result = set_latency(3, "FTSHARED")
c.equal("--set-latency 3 --port FTSHARED: status", result.returncode, 5)
for d in shared:
    c.true(f"  names {d['port']}", d["port"] in result.stderr, repr(result.stderr))
for ms in (0, 256):
    c.equal(f"--set-latency {ms}: status", set_latency(ms, com(held)).returncode, 2)
c.equal("timers after the refusals", timers(), before)

# The boot's values back, for the checks that follow.
for node, ms in timers().items():
    if ms != boot_timers.get(node, ms):
        set_sysfs_latency(node, boot_timers[node])
c.equal("timers restored", timers(), boot_timers)
c.exit()
