#pragma once
// What a program opens for a COM port number on this platform.
#include <optional>
#include <string>

namespace torvane_list {

// Linux: the serial library's fixed numbering (COM36 is /dev/ttyUSB3);
// Windows: "\\.\COM36". nullopt for a number that names no device.
std::optional<std::string> DeviceForComPort(long number);

}  // namespace torvane_list
