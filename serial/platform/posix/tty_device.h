#pragma once
// A real terminal device, opened for exclusive use: TIOCEXCL keeps other
// openers out, flock(LOCK_EX|LOCK_NB) holds against root and other processes
// that lock too, and a table of the devices this process holds catches a
// second open from inside the process (flock would not: it is per open file).
#include "serial/platform/posix/device.h"
#include "serial/platform/win32_calls.h"

#include <memory>
#include <string>

namespace winapi::posix {

// Opens path as a serial port's device: non-blocking, without becoming its
// controlling terminal, for exclusive use. Only a terminal qualifies; for
// anything else, and for a path that reaches nothing, error is 2; a device
// in use gives 5. On failure returns nothing with error set.
std::unique_ptr<Device> openTty(const std::string& path, DWORD& error);

}  // namespace winapi::posix
