#include "serial/platform/posix/device_resolver.h"

#include "torvane/com_numbering.h"

#include <strings.h>

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace winapi::posix {

std::optional<unsigned> parseComPortName(const char* name) {
    if (name == nullptr) return std::nullopt;
    if (std::strncmp(name, "\\\\.\\", 4) == 0) name += 4;
    if (strncasecmp(name, "COM", 3) != 0) return std::nullopt;
    const char* digits = name + 3;
    const char* end = digits + std::strlen(digits);
    unsigned number = 0;
    auto [stop, error] = std::from_chars(digits, end, number);
    // Digits only, to the end, without a leading zero.
    if (error != std::errc{} || stop != end || *digits == '0' || number > 255) return std::nullopt;
    return number;
}

std::string portsDirLink(const std::string& directory, unsigned comNumber) {
    return directory + "/com" + std::to_string(comNumber);
}

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
