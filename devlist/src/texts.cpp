#include "devlist/texts.h"

#include <array>

namespace devlist {

std::string Hex(std::uint32_t x, int minDigits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string reversed;
    do {
        reversed += kDigits[x & 0xF];
        x >>= 4;
    } while (x != 0);
    while (static_cast<int>(reversed.size()) < minDigits) reversed += '0';
    return {reversed.rbegin(), reversed.rend()};
}

std::string VersionText(std::uint32_t version) {
    if (version == 0) return std::string(kUnknownVersion);
    const std::uint32_t major = (version >> 16) & 0xFF;
    const std::uint32_t minor = (version >> 8) & 0xFF;
    const std::uint32_t build = version & 0xFF;
    return Hex(major, 1) + "." + Hex(minor, 2) + "." + Hex(build, 2);
}

std::string LibraryVersionLabel(std::uint32_t libraryVersion) {
    // Without a version the label shows the unknown-version text alone.
    if (libraryVersion == 0) return std::string(kUnknownVersion);
    return std::string(kLibraryVersionPrefix) + VersionText(libraryVersion);
}

std::string PortTextFor(std::uint32_t status, std::int32_t portNumber) {
    if (status != 0) return std::string(kUnknownPort);
    if (portNumber == -1) return std::string(kNoPort);
    return "COM" + std::to_string(portNumber);
}

std::string DecorateDeviceName(std::string name) {
    static constexpr std::array<std::string_view, 4> kChannelNames = {"COM_A", "COM_B", "COM_C",
                                                                      "COM_D"};
    for (std::string_view channel : kChannelNames) {
        if (name == channel) {
            name.insert(0, kChannelNamePrefix);
            break;
        }
    }
    if (name.size() < kDeviceNameWidth) name.append(kDeviceNameWidth - name.size(), ' ');
    return name;
}

}  // namespace devlist
