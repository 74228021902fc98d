#pragma once
// Which device node "\\.\COMn" means on this system.
#include <optional>
#include <string>

namespace winapi::posix {

// "\\.\COMn" or "COMn" (any letter case), n from 1 to 255 without leading
// zeros; anything else is no port.
std::optional<unsigned> parseComPortName(const char* name);

// The fixed numbering used without TORVANE_PORTS_DIR (and by the device
// lister): COM1-32 /dev/ttyS0-31, COM33-160 /dev/ttyUSB0-127,
// COM161-255 /dev/ttyACM0-94.
std::optional<std::string> fixedDevicePath(unsigned comNumber);

// The link "comN" in the ports directory.
std::string portsDirLink(const std::string& directory, unsigned comNumber);

}  // namespace winapi::posix
