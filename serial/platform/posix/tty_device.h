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

// A regular file, directory, pipe or socket reached through a port name: it
// opens (so that GetFileType can tell) but is no serial device.
struct OpenedPath {
    std::unique_ptr<Device> device;  // set for a character device
    int otherFd = -1;                // set for anything else (owned by the caller)
    DWORD fileType = FILE_TYPE_UNKNOWN;
};

// Opens path non-blocking, without becoming its controlling terminal. On
// failure returns nothing and sets error to the Windows code (2 missing,
// 5 in use).
OpenedPath openDevicePath(const std::string& path, DWORD& error);

}  // namespace winapi::posix
