#pragma once
// Which device "\\.\COMn" names. CreateFileA asks the resolver in force:
// the system's (a tty reached through TORVANE_PORTS_DIR or the fixed /dev
// numbering) unless another is installed, as tests do to put in-process
// devices behind port numbers.
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

// One of three answers: a serial device (it becomes a port); something that
// opens but is no serial device (a handle of that file type, which every comm
// call refuses); or nothing, with the Windows code CreateFileA fails with.
struct ResolvedDevice {
    std::unique_ptr<Device> device;
    DWORD error = ERROR_SUCCESS;
    DWORD fileType = FILE_TYPE_CHAR;

    static ResolvedDevice Serial(std::unique_ptr<Device> device) { return {std::move(device), ERROR_SUCCESS}; }
    static ResolvedDevice NotSerial(DWORD fileType) { return {nullptr, ERROR_SUCCESS, fileType}; }
    static ResolvedDevice Failure(DWORD error) { return {nullptr, error}; }
};

class DeviceResolver {
public:
    virtual ~DeviceResolver() = default;
    // Opens what port comNumber (1-255) names, for that port's exclusive use.
    virtual ResolvedDevice open(unsigned comNumber) = 0;
};

// Opens path as a serial port's device: non-blocking, without becoming its
// controlling terminal, for exclusive use (TIOCEXCL keeps other openers out,
// flock(LOCK_EX|LOCK_NB) holds against root and other processes that lock too,
// and a table of the devices this process holds catches a second open from
// inside it: flock is per open file). Only a terminal qualifies; anything
// else, or a path that reaches nothing, gives error 2, a device in use 5. On
// failure returns nothing with error set.
std::unique_ptr<Device> openTty(const std::string& path, DWORD& error);

// Ttys only: anything else a name reaches (a regular file, a FIFO, a
// directory, a character device that is no terminal) is a missing device.
DeviceResolver& SystemDeviceResolver();

// The installed resolver, else the system's.
DeviceResolver& ActiveDeviceResolver();
// Installs a resolver (not owned; it must outlive its use). nullptr restores
// the system's.
void InstallDeviceResolver(DeviceResolver* resolver);

}  // namespace winapi::posix
