"""Shared by the guest's checks (run in the guest that scripts/kernel-guest.sh
boots): where the programs are, the converters as sysfs shows them, QEMU's
monitor, and a failure count that becomes the exit status."""
import glob
import os
import select
import subprocess
import sys
import time

BUILD = os.environ["KERNEL_BUILD_DIR"]
LISTER = os.path.join(BUILD, "app/console/torvane-list")


def read_attr(path):
    try:
        with open(path) as f:
            return f.read().strip()
    except OSError:
        return None


def converters():
    """{node: {"serial", "usb" (sysfs name), "k"}} of every ttyUSB node now."""
    out = {}
    for tty in sorted(glob.glob("/sys/class/tty/ttyUSB*")):
        dev = os.path.realpath(os.path.join(tty, "device/../.."))
        name = os.path.basename(tty)
        out["/dev/" + name] = {"serial": read_attr(dev + "/serial"), "usb": os.path.basename(dev),
                               "k": int(name[len("ttyUSB"):])}
    return out


def node_of(usb_name):
    return next(n for n, c in converters().items() if c["usb"] == usb_name)


def virtio_port(name):
    for p in glob.glob("/sys/class/virtio-ports/*"):
        if read_attr(p + "/name") == name:
            return "/dev/" + os.path.basename(p)
    raise LookupError(name)


def monitor(command, wait=5.0):
    """Sends one command to QEMU's human monitor; returns its answer's text."""
    fd = os.open(virtio_port("qemu-monitor"), os.O_RDWR | os.O_NONBLOCK)
    try:
        while select.select([fd], [], [], 0.2)[0]:   # the banner and earlier prompts
            os.read(fd, 4096)
        os.write(fd, (command + "\n").encode())
        answer, deadline = b"", time.monotonic() + wait
        while b"(qemu)" not in answer.split(command.encode(), 1)[-1] and time.monotonic() < deadline:
            if select.select([fd], [], [], 0.1)[0]:
                answer += os.read(fd, 4096)
        return answer.decode(errors="replace")
    finally:
        os.close(fd)


class Checks:
    """Counts failed expectations; each is printed with what was seen."""

    def __init__(self):
        self.failed = 0

    def equal(self, what, seen, expected):
        ok = seen == expected
        print(f"{'ok  ' if ok else 'FAIL'} {what}: {seen!r}" + ("" if ok else f" (expected {expected!r})"))
        self.failed += not ok
        return ok

    def true(self, what, cond, detail=""):
        print(f"{'ok  ' if cond else 'FAIL'} {what} {detail}")
        self.failed += not cond
        return cond

    def exit(self):
        sys.exit(1 if self.failed else 0)


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, timeout=30, **kw)
