#include "app/console/device_path.h"

#include "serial/platform/posix/port_names.h"

namespace torvane_list {

// The serial library's own rule, so that the node printed is the one InitializePort opens
// (without TORVANE_PORTS_DIR, which only tests set).
std::optional<std::string> DeviceForComPort(long number) {
    if (number < 1 || number > 255) return std::nullopt;
    return winapi::posix::fixedDevicePath(static_cast<unsigned>(number));
}

}  // namespace torvane_list
