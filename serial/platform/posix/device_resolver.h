#pragma once
// Which device "\\.\COMn" names: a tty reached through TORVANE_PORTS_DIR or
// the fixed /dev numbering.
#include "serial/platform/posix/device.h"
#include "serial/platform/win32_calls.h"

#include <memory>
#include <optional>
#include <string>

namespace winapi::posix {

// "\\.\COMn" or "COMn" (any letter case), n from 1 to 255 without leading
// zeros; anything else is no port.
std::optional<unsigned> parseComPortName(const char* name);

// The link "comN" in the ports directory.
std::string portsDirLink(const std::string& directory, unsigned comNumber);

// Opens path as a serial port's device: non-blocking, without becoming its
// controlling terminal, for exclusive use (TIOCEXCL keeps other openers out,
// flock(LOCK_EX|LOCK_NB) holds against root and other processes that lock too,
// and a table of the devices this process holds catches a second open from
// inside it: flock is per open file). Only a terminal qualifies; anything
// else, or a path that reaches nothing, gives error 2, a device in use 5. On
// failure returns nothing with error set.
std::unique_ptr<Device> openTty(const std::string& path, DWORD& error);

// Opens the device port comNumber (1-255) names, for that port's exclusive
// use: the tty TORVANE_PORTS_DIR's link comN reaches when that is set, else
// the fixed /dev numbering. Ttys only: anything else a name reaches (a
// regular file, a FIFO, a directory, a character device that is no terminal)
// is a missing device. On failure returns nothing with error set.
std::unique_ptr<Device> openSystemDevice(unsigned comNumber, DWORD& error);

// What CreateFileA opens: the system's device. A weak definition, so that a
// test program can link its own in front of it (in-process devices behind
// chosen port numbers) without any hook in the shipped library.
std::unique_ptr<Device> openPortDevice(unsigned comNumber, DWORD& error);

}  // namespace winapi::posix
