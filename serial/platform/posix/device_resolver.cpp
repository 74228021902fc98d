#include "serial/platform/posix/device_resolver.h"

#include "serial/platform/posix/port_names.h"
#include "serial/platform/posix/tty_device.h"
#include "torvane/com_numbering.h"

#include <atomic>
#include <cstdlib>

namespace winapi::posix {

namespace {

class TtyResolver : public DeviceResolver {
public:
    ResolvedDevice open(unsigned comNumber) override {
        // Ignored in secure-execution mode (set-user-ID, set-group-ID, file
        // capabilities): whoever starts such a program must not choose the node it opens.
        const char* dir = secure_getenv("TORVANE_PORTS_DIR");
        std::optional<std::string> path =
            (dir == nullptr || *dir == '\0') ? torvane::ComDevicePath(comNumber) : portsDirLink(dir, comNumber);
        if (!path) return ResolvedDevice::Failure(ERROR_FILE_NOT_FOUND);
        DWORD error = ERROR_SUCCESS;
        std::unique_ptr<Device> tty = openTty(*path, error);
        return tty ? ResolvedDevice::Serial(std::move(tty)) : ResolvedDevice::Failure(error);
    }
};

std::atomic<DeviceResolver*> installed{nullptr};

}  // namespace

DeviceResolver& SystemDeviceResolver() {
    static TtyResolver system;
    return system;
}

DeviceResolver& ActiveDeviceResolver() {
    DeviceResolver* resolver = installed.load(std::memory_order_acquire);
    return resolver ? *resolver : SystemDeviceResolver();
}

void InstallDeviceResolver(DeviceResolver* resolver) { installed.store(resolver, std::memory_order_release); }

}  // namespace winapi::posix
