#!/usr/bin/env python3
"""torvane-list --watch --json while converters are plugged and removed
through QEMU's monitor: one document per change, showing the change, within
2 s of the command."""
import json
import os
import select
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from guest_lib import LISTER, Checks, monitor  # noqa: E402

DEADLINE = 2.0   # seconds from the monitor command to the document
QUIET = 1.5      # then no second document for the same change

# (monitor command, (serial, location) expected in the list after it, serial expected gone)
STEPS = [
    ("device_add usb-serial,id=hot1,bus=xhci.0,port=4,chardev=hot1,serial=FTHOT001,always-plugged=on",
     ("FTHOT001", 0x141), None),
    ("device_add usb-serial,id=hot2,bus=xhci.0,port=2.3,chardev=hot2,serial=FTHOT002,always-plugged=on",
     ("FTHOT002", 0x1231), None),
    ("device_del hot1", None, "FTHOT001"),
    ("device_del hot2", None, "FTHOT002"),
]


def next_document(proc, timeout):
    if not select.select([proc.stdout], [], [], max(timeout, 0))[0]:
        return None
    line = proc.stdout.readline()
    return json.loads(line) if line else None


c = Checks()
for name in ("hot1", "hot2"):
    monitor(f"chardev-add null,id={name}")
watch = subprocess.Popen([LISTER, "--watch", "--json"], stdout=subprocess.PIPE, text=True, bufsize=1)
try:
    first = next_document(watch, 10)
    c.true("first document", first is not None)
    count = len(first["devices"]) if first else 0
    for command, added, removed in STEPS:
        start = time.monotonic()
        answer = monitor(command)
        doc = next_document(watch, DEADLINE - (time.monotonic() - start))
        took = time.monotonic() - start
        if not c.true(f"{command.split(',')[0]}: a document within {DEADLINE} s", doc is not None, f"({took:.2f} s)"):
            print(answer)
            continue
        serials = [d["serial"] for d in doc["devices"]]
        count += 1 if added else -1
        c.equal("  converters listed", len(serials), count)
        if added:
            serial, location = added
            new = [d for d in doc["devices"] if d["serial"] == serial]
            if c.true(f"  {serial} listed", len(new) == 1, str(serials)):
                c.equal(f"  {serial} location", new[0]["location"], location)
                c.true(f"  {serial} has its tty", bool(new[0]["device"]), str(new[0]["device"]))
        if removed:
            c.true(f"  {removed} gone", removed not in serials, str(serials))
        c.true("  one document for the change", next_document(watch, QUIET) is None)
finally:
    watch.terminate()
    watch.wait(5)
c.exit()
