#!/usr/bin/env python3
"""winseria from Python (ctypes): opens a pseudo-terminal as COM5 through
libwinseria.so, moves a byte each way, lets a read time out and prints the
library's last error.

Usage: winseria_pty.py [path/to/libwinseria.so]

The script makes its own port: it opens a pseudo-terminal, links its slave as
"com5" in a fresh directory and points TORVANE_PORTS_DIR there, so that
"\\\\.\\COM5" is the pseudo-terminal. Exit status 0 when every step gave the
expected result.
"""
import ctypes
import os
import select
import sys
import tempfile
import tty
from ctypes import POINTER, byref, c_char_p, c_int32, c_uint8, c_uint16, c_uint32

PORT = 5


def load(path):
    lib = ctypes.CDLL(path)
    signatures = {
        "InitializePort": (c_int32, [c_uint8, c_uint32, c_uint16, c_uint16]),
        "UnInitializePort": (c_int32, []),
        "WriteByte": (c_uint8, [c_uint8]),
        "ReadByte": (c_uint8, [POINTER(c_uint8)]),
        "TimeOut": (c_uint8, []),
        "IsError": (c_uint8, [POINTER(c_char_p), POINTER(c_int32)]),
        "DllVersion": (None, [POINTER(c_char_p)]),
    }
    for name, (result, arguments) in signatures.items():
        function = getattr(lib, name)
        function.restype = result
        function.argtypes = arguments
    return lib


def last_error(lib):
    """IsError into a 52-byte buffer; the text is Windows-1250."""
    buffer = ctypes.create_string_buffer(52)
    pointer = ctypes.cast(buffer, c_char_p)
    code = c_int32(0)
    failed = lib.IsError(byref(pointer), byref(code))
    return failed, code.value, buffer.value.decode("cp1250")


def main():
    library = sys.argv[1] if len(sys.argv) > 1 else "libwinseria.so"
    lib = load(library)
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)
            print("unexpected:", what, file=sys.stderr)

    master, slave = os.openpty()
    tty.setraw(master)
    ports = tempfile.mkdtemp(prefix="winseria-example-")
    link = os.path.join(ports, "com%d" % PORT)
    os.symlink(os.ttyname(slave), link)
    os.close(slave)
    os.environ["TORVANE_PORTS_DIR"] = ports  # read by the library at each open

    version = c_char_p()
    lib.DllVersion(byref(version))
    print("winseria", version.value.decode())

    result = lib.InitializePort(PORT + 1, 9600, 1, 1)
    print("InitializePort(%d) = %d" % (PORT + 1, result))
    check(result == 2, "a missing port gives 2")
    print("  IsError = %d, code %d, %r" % last_error(lib))

    result = lib.InitializePort(PORT, 9600, 1, 1)
    print("InitializePort(%d) = %d" % (PORT, result))
    check(result == 0, "the port opens")

    written = lib.WriteByte(ord("H"))
    ready, _, _ = select.select([master], [], [], 2.0)
    arrived = os.read(master, 1) if ready else b"?"
    print("WriteByte('H') = %d, the other end got %r" % (written, arrived))
    check(written == 1 and arrived == b"H", "the byte goes out")

    os.write(master, b"i")
    value = c_uint8(0)
    read_ok = lib.ReadByte(byref(value))
    print("ReadByte = %d, value %r, TimeOut() = %d" % (read_ok, chr(value.value), lib.TimeOut()))
    check(read_ok == 1 and value.value == ord("i"), "the byte comes in")

    read_ok = lib.ReadByte(byref(value))
    print("ReadByte with nothing to read = %d, TimeOut() = %d" % (read_ok, lib.TimeOut()))
    check(read_ok == 0 and lib.TimeOut() == 1, "an empty read times out")
    failed, code, text = last_error(lib)
    print("  IsError = %d, code %d, %r" % (failed, code, text))
    check(text == "Timeout odczytu.", "the time-out is in the error slot")

    result = lib.UnInitializePort()
    print("UnInitializePort() = %d" % result)
    check(result == 0, "the port closes")

    os.close(master)
    os.unlink(link)
    os.rmdir(ports)
    return 0 if not failures else 1


if __name__ == "__main__":
    sys.exit(main())
