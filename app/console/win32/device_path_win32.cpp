#include "app/console/device_path.h"

namespace torvane_list {

// The name the serial library (and any Windows program) opens a port by.
std::optional<std::string> DeviceForComPort(long number) {
    if (number < 1 || number > 255) return std::nullopt;
    return "\\\\.\\COM" + std::to_string(number);
}

}  // namespace torvane_list
