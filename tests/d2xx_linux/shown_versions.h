#pragma once
// Version texts as the lister shows them, written here independently of the
// device list code: the running kernel's (the Linux library's driver version)
// and this build's (its library version).
#include <sys/utsname.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "d2xx/linux/version_packing.h"

namespace shown_versions {

inline std::string ShownVersion(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%X.%02X.%02X", (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    return text;
}

inline std::string KernelVersionShown() {
    utsname names{};
    if (uname(&names) != 0) return "??.??.??";
    const auto packed = ftdi_linux::PackReleaseText(names.release);
    return packed && *packed ? ShownVersion(*packed) : "??.??.??";
}

inline std::string LibraryVersionShown() {
    return ShownVersion(
        ftdi_linux::PackVersion(TORVANE_VERSION_MAJOR, TORVANE_VERSION_MINOR, TORVANE_VERSION_PATCH));
}

}  // namespace shown_versions
