#pragma once
// Which device a port number names. CreateFileA asks the resolver in force:
// the system's (a tty reached through TORVANE_PORTS_DIR or the fixed /dev
// numbering) unless another is installed, as tests do to put in-process
// devices behind port numbers.
#include "serial/platform/posix/device.h"
#include "serial/platform/win32_calls.h"

#include <memory>

namespace winapi::posix {

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

// Ttys only: anything else a name reaches (a regular file, a FIFO, a
// directory, a character device that is no terminal) is a missing device.
DeviceResolver& SystemDeviceResolver();

// The installed resolver, else the system's.
DeviceResolver& ActiveDeviceResolver();
// Installs a resolver (not owned; it must outlive its use). nullptr restores
// the system's.
void InstallDeviceResolver(DeviceResolver* resolver);

}  // namespace winapi::posix
