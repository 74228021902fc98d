#!/usr/bin/env python3
"""The pyserial side of winseria_bench: one case on the bench's own pty pair.

    pyserial_peer.py CASE COUNT MASTER_FD SLAVE_PATH

CASE is write (write(1), then the master reads the byte), read (the master
writes, then read(1)) or stream (COUNT bytes by write(1) while a thread reads
the master). Prints the wall and whole-process CPU seconds per byte of the
loop alone (opening and closing the port are not in it). Run with -I, so that
the tree's own serial/ folder does not shadow the package.
"""
import os
import resource
import sys
import threading
import time

import serial


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def read_exactly(fd, count):
    while count > 0:
        count -= len(os.read(fd, min(4096, count)))


def main():
    case, count, master, slave = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    port = serial.Serial(slave, 115200, timeout=2, write_timeout=2)
    one = b"\x55"
    wall0, cpu0 = time.monotonic(), cpu_seconds()
    if case == "write":
        for _ in range(count):
            port.write(one)
            read_exactly(master, 1)
    elif case == "read":
        for _ in range(count):
            os.write(master, one)
            if len(port.read(1)) != 1:
                sys.exit("pyserial_peer: read timed out")
    elif case == "stream":
        reader = threading.Thread(target=read_exactly, args=(master, count))
        reader.start()
        for i in range(count):
            port.write(bytes((i & 0xFF,)))
        reader.join()
    else:
        sys.exit("pyserial_peer: unknown case " + case)
    wall, cpu = time.monotonic() - wall0, cpu_seconds() - cpu0
    port.close()
    print(wall / count, cpu / count)


if __name__ == "__main__":
    main()
