#include "d2xx/linux/version_packing.h"

#include <array>
#include <cstddef>

namespace ftdi_linux {
namespace {

constexpr unsigned kLargestPart = 99;

std::uint32_t TwoDigits(unsigned part) {
    if (part > kLargestPart) part = kLargestPart;
    return ((part / 10) << 4) | (part % 10);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads one decimal number at pos; saturates instead of overflowing on long
// digit runs.
unsigned ReadNumber(std::string_view text, std::size_t& pos) {
    unsigned value = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        if (value <= kLargestPart) value = value * 10 + static_cast<unsigned>(text[pos] - '0');
        ++pos;
    }
    return value;
}

}  // namespace

std::uint32_t PackVersion(unsigned major, unsigned minor, unsigned build) {
    return (TwoDigits(major) << 16) | (TwoDigits(minor) << 8) | TwoDigits(build);
}

std::optional<std::uint32_t> PackReleaseText(std::string_view release) {
    if (release.empty() || !IsDigit(release.front())) return std::nullopt;
    std::array<unsigned, 3> parts{};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        parts[i] = ReadNumber(release, pos);
        const bool nextPartFollows =
            pos + 1 < release.size() && release[pos] == '.' && IsDigit(release[pos + 1]);
        if (!nextPartFollows) break;
        ++pos;
    }
    return PackVersion(parts[0], parts[1], parts[2]);
}

}  // namespace ftdi_linux
