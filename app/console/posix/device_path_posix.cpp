#include "app/console/device_path.h"

#include "torvane/com_numbering.h"

namespace torvane_list {

// The serial library's own numbering, so that the node printed is the one InitializePort
// opens (without TORVANE_PORTS_DIR, which only tests set).
std::optional<std::string> DeviceForComPort(long number) {
    if (number < 1 || number > 255) return std::nullopt;
    return torvane::ComDevicePath(static_cast<unsigned>(number));
}

}  // namespace torvane_list
