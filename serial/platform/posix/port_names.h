#pragma once
// Which device node "\\.\COMn" means on this system.
#include <optional>
#include <string>

namespace winapi::posix {

// "\\.\COMn" or "COMn" (any letter case), n from 1 to 255 without leading
// zeros; anything else is no port.
std::optional<unsigned> parseComPortName(const char* name);

// The link "comN" in the ports directory.
std::string portsDirLink(const std::string& directory, unsigned comNumber);

}  // namespace winapi::posix
