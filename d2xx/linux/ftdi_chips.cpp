#include "d2xx/linux/ftdi_chips.h"

#include <charconv>

namespace ftdi_linux {
namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

template <typename T>
std::optional<T> ParseWhole(std::string_view text, int base) {
    text = TrimBlanks(text);
    if (text.empty()) return std::nullopt;
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

int ChannelCount(std::uint16_t productId) {
    switch (productId) {
        case 0x6001: return 1;  // FT232AM/B/R, FT245B/R
        case 0x6010: return 2;  // FT2232C/D/H
        case 0x6011: return 4;  // FT4232H
        case 0x6014: return 1;  // FT232H
        case 0x6015: return 1;  // FT-X series
        default: return 0;
    }
}

Chip IdentifyChip(std::uint16_t productId, std::uint16_t bcdDevice) {
    const unsigned release = bcdDevice >> 8;
    switch (productId) {
        case 0x6001:
            if (release == 0x02) return Chip::FT232AM;
            if (release == 0x04) return Chip::FT232B;
            if (release == 0x06) return Chip::FT232R;
            return Chip::Unknown;
        case 0x6010:
            if (release == 0x05) return Chip::FT2232CD;
            if (release == 0x07) return Chip::FT2232H;
            return Chip::Unknown;
        case 0x6011: return Chip::FT4232H;
        case 0x6014: return Chip::FT232H;
        case 0x6015: return Chip::FTX;
        default: return Chip::Unknown;
    }
}

std::string ListedSerial(std::string_view usbSerial, int channel, int channelCount) {
    std::string listed(usbSerial.substr(0, kListedSerialMax));
    if (channelCount > 1 && channel >= 0 && channel < 26) {
        // The letter is what tells the channels apart, so it is the serial's
        // last byte that gives way when both do not fit.
        if (listed.size() == kListedSerialMax) listed.pop_back();
        listed += static_cast<char>('A' + channel);
    }
    return listed;
}

std::optional<int> TtyUsbIndex(std::string_view nodeName) {
    constexpr std::string_view kPrefix = "ttyUSB";
    if (!nodeName.starts_with(kPrefix)) return std::nullopt;
    nodeName.remove_prefix(kPrefix.size());
    if (nodeName.empty() || nodeName.front() == '+' || nodeName.front() == '-' || nodeName.front() == ' ')
        return std::nullopt;
    return ParseWhole<int>(nodeName, 10);
}

std::int32_t ComPortForTtyUsb(std::optional<int> ttyUsbIndex) {
    constexpr int kFirstUsbCom = 33;
    constexpr int kUsbNodes = 128;
    if (!ttyUsbIndex || *ttyUsbIndex < 0 || *ttyUsbIndex >= kUsbNodes) return -1;
    return kFirstUsbCom + *ttyUsbIndex;
}

std::optional<std::uint16_t> ParseHex16(std::string_view text) {
    return ParseWhole<std::uint16_t>(text, 16);
}

std::optional<int> ParseInterfaceNumber(std::string_view text) {
    const auto number = ParseWhole<std::uint8_t>(text, 16);
    if (!number) return std::nullopt;
    return *number;
}

std::optional<std::uint16_t> ParseMaxPower(std::string_view text) {
    text = TrimBlanks(text);
    if (text.ends_with("mA")) text.remove_suffix(2);
    return ParseWhole<std::uint16_t>(text, 10);
}

std::optional<std::uint16_t> ParseUsbVersion(std::string_view text) {
    // The kernel prints bcdUSB as "%2x.%02x": both bytes in hexadecimal, which
    // for a BCD value reads as its decimal digits.
    text = TrimBlanks(text);
    const auto dot = text.find('.');
    if (dot == std::string_view::npos || dot == 0 || text.size() - dot != 3) return std::nullopt;
    const auto high = ParseWhole<std::uint8_t>(text.substr(0, dot), 16);
    const auto low = ParseWhole<std::uint8_t>(text.substr(dot + 1), 16);
    if (!high || !low) return std::nullopt;
    return static_cast<std::uint16_t>((*high << 8) | *low);
}

}  // namespace ftdi_linux
