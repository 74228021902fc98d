#pragma once
// The fixed numbering of COM ports on Linux, shared by the serial library
// (which node "\\.\COMn" opens without TORVANE_PORTS_DIR) and the Linux
// vendor library (which COM number a converter's node has):
// COM1-32 /dev/ttyS0-31, COM33-160 /dev/ttyUSB0-127, COM161-255 /dev/ttyACM0-94.
#include <optional>
#include <string>
#include <string_view>

namespace torvane {

struct ComNodeRange {
    std::string_view node;  // the node name before its index
    unsigned firstCom;
    unsigned count;
};

inline constexpr ComNodeRange kComNodeRanges[] = {
    {.node = "ttyS", .firstCom = 1, .count = 32},
    {.node = "ttyUSB", .firstCom = 33, .count = 128},
    {.node = "ttyACM", .firstCom = 161, .count = 95},
};
static_assert(kComNodeRanges[2].firstCom + kComNodeRanges[2].count == 256, "the numbering ends at COM255");

// The /dev node of a COM number; nothing outside the numbering.
inline std::optional<std::string> ComDevicePath(unsigned comNumber) {
    for (const ComNodeRange& range : kComNodeRanges)
        if (comNumber >= range.firstCom && comNumber - range.firstCom < range.count)
            return "/dev/" + std::string(range.node) + std::to_string(comNumber - range.firstCom);
    return std::nullopt;
}

// The COM number of node `node` + `index` (such as "ttyUSB", 0); nothing
// outside the numbering.
inline std::optional<unsigned> ComNumberOf(std::string_view node, int index) {
    for (const ComNodeRange& range : kComNodeRanges)
        if (range.node == node && index >= 0 && static_cast<unsigned>(index) < range.count)
            return range.firstCom + static_cast<unsigned>(index);
    return std::nullopt;
}

}  // namespace torvane
