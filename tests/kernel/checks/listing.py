#!/usr/bin/env python3
"""torvane-list over the real ftdi_sio tree: four converters (a root port, one
behind a hub, two sharing a serial), every field of text and --json."""
import json
import os
import platform
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from guest_lib import LISTER, Checks, converters, node_of, run  # noqa: E402

# The harness's layout: USB device (bus 1, port path), serial, location packed
# as bus, ports, interface + 1 in hexadecimal digits.
LAYOUT = [
    ("1-1", "FT000001", 0x111),
    ("1-2.1", "FT000002", 0x1211),
    ("1-3", "FTSHARED", 0x131),
    ("1-2.2", "FTSHARED", 0x1221),
]


c = Checks()
first, second = run([LISTER, "--json"]), run([LISTER, "--json"])
c.equal("torvane-list --json status", first.returncode, 0)
docs = [json.loads(first.stdout), json.loads(second.stdout)]
devices = {d["location"]: d for d in docs[0]["devices"]}
c.equal("number of converters", len(docs[0]["devices"]), len(LAYOUT))
c.equal("locations the same in a second listing", [d["location"] for d in docs[1]["devices"]],
        [d["location"] for d in docs[0]["devices"]])
# The running kernel's release as the vendor's version: "6.1.0-57-amd64" is 6.01.00.
major, minor, build = (platform.release().split("-")[0].split(".") + ["0", "0"])[:3]
version = f"{int(major)}.{int(minor):02d}.{int(build):02d}"
for usb, serial, location in LAYOUT:
    node = node_of(usb)
    com = 33 + converters()[node]["k"]
    d = devices.get(location)
    if not c.true(f"{usb} listed at location {location:#x}", d is not None, str(sorted(devices))):
        continue
    for field, expected in [("port", f"COM{com}"), ("com", com), ("device", node), ("usb_id", "0403:6001"),
                            ("chip", "FT232BM"), ("serial", serial), ("description", "QEMU USB SERIAL"),
                            ("driver_version", version), ("channel", None)]:
        c.equal(f"{usb} {field}", d[field], expected)

text = run([LISTER])
c.equal("torvane-list status", text.returncode, 0)
rows = [line.split("\t") for line in text.stdout.splitlines()[1:-1]]
c.equal("text rows", rows, [[d["port"], d["description"], d["driver_version"], d["serial"]]
                            for d in docs[0]["devices"]])
c.true("text label names the library version", text.stdout.splitlines()[-1].endswith(docs[0]["library_version"]),
       text.stdout.splitlines()[-1])
c.exit()
