#pragma once
// How CreateFileA finds a registered virtual null-modem end.
#include "serial/platform/posix/device.h"
#include "serial/platform/win32_calls.h"

#include <memory>
#include <optional>
#include <string>

namespace winapi::posix {

struct VirtualLookup {
    bool found = false;
    std::unique_ptr<Device> device;  // null when found but already open
};

// The end registered under comNumber, else under linkPath or linkTarget
// (either may be empty). An end already open gives found with no device.
VirtualLookup openRegisteredVirtualEnd(unsigned comNumber, const std::string& linkPath,
                                       const std::string& linkTarget);

}  // namespace winapi::posix
