#include "d2xx/linux/ftdi_chips.h"

#include "torvane/com_numbering.h"

#include <algorithm>
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

// The vendor's own ("original") product ids, as the Linux kernel's
// drivers/usb/serial/ftdi_sio_ids.h defines them and ftdi_sio.c's device table
// serves them; the chips and channel counts as ftdi_determine_type() tells them.
constexpr FtdiProduct kFtdiProducts[] = {
    {0x6001, 1, Chip::Unknown},   // FT232AM, FT232B/FT245B, FT232R/FT245R (by release)
    {0x6006, 1, Chip::Unknown},   // the alternate id of the above
    {0x6010, 2, Chip::Unknown},   // FT2232C/D, FT2232H (by release)
    {0x6011, 4, Chip::FT4232H},
    {0x6014, 1, Chip::FT232H},
    {0x6015, 1, Chip::FTX},       // FT201X, FT230X, FT231X, ...
    {0x6040, 2, Chip::FT2233HP},
    {0x6041, 4, Chip::FT4233HP},
    {0x6042, 2, Chip::FT2232HP},
    {0x6043, 4, Chip::FT4232HP},
    {0x6044, 1, Chip::FT233HP},
    {0x6045, 1, Chip::FT232HP},
    {0x6048, 4, Chip::FT4232HA},
    {0x8372, 1, Chip::SIO},
    {0xFBFA, 1, Chip::FT232R},    // FT232RL
};

// The chips that share a product id, told apart by the release's high byte.
Chip ChipByRelease(unsigned release, bool dualChannel) {
    if (dualChannel) {
        if (release == 0x05) return Chip::FT2232CD;
        if (release == 0x07) return Chip::FT2232H;
        return Chip::Unknown;
    }
    if (release == 0x02) return Chip::FT232AM;
    if (release == 0x04) return Chip::FT232B;
    if (release == 0x06) return Chip::FT232R;
    return Chip::Unknown;
}

}  // namespace

const FtdiProduct* FindFtdiProduct(std::uint16_t productId) {
    for (const FtdiProduct& product : kFtdiProducts)
        if (product.productId == productId) return &product;
    return nullptr;
}

int ChannelCount(std::uint16_t productId) {
    const FtdiProduct* product = FindFtdiProduct(productId);
    return product ? product->channels : 0;
}

Chip IdentifyChip(std::uint16_t productId, std::uint16_t bcdDevice) {
    const FtdiProduct* product = FindFtdiProduct(productId);
    if (product == nullptr) return Chip::Unknown;
    if (product->chip != Chip::Unknown) return product->chip;
    return ChipByRelease(bcdDevice >> 8, product->channels == 2);
}

FT_DEVICE VendorDeviceType(Chip chip) {
    switch (chip) {
        case Chip::SIO: return FT_DEVICE_100AX;
        case Chip::FT232AM: return FT_DEVICE_AM;
        case Chip::FT232B: return FT_DEVICE_BM;
        case Chip::FT2232CD: return FT_DEVICE_2232C;
        case Chip::FT232R: return FT_DEVICE_232R;
        case Chip::FT2232H: return FT_DEVICE_2232H;
        case Chip::FT4232H: return FT_DEVICE_4232H;
        case Chip::FT232H: return FT_DEVICE_232H;
        case Chip::FTX: return FT_DEVICE_X_SERIES;
        case Chip::FT2233HP: return FT_DEVICE_2233HP;
        case Chip::FT4233HP: return FT_DEVICE_4233HP;
        case Chip::FT2232HP: return FT_DEVICE_2232HP;
        case Chip::FT4232HP: return FT_DEVICE_4232HP;
        case Chip::FT233HP: return FT_DEVICE_233HP;
        case Chip::FT232HP: return FT_DEVICE_232HP;
        case Chip::FT4232HA: return FT_DEVICE_4232HA;
        case Chip::Unknown: break;
    }
    return FT_DEVICE_UNKNOWN;
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

std::string ListedDescription(std::string_view product, int channel, int channelCount) {
    std::string listed(product.substr(0, kListedDescriptionMax));
    if (channelCount > 1 && channel >= 0 && channel < 26) {
        const std::string suffix = {' ', static_cast<char>('A' + channel)};
        listed.resize(std::min(listed.size(), kListedDescriptionMax - suffix.size()));
        listed += suffix;
    }
    return listed;
}

std::optional<std::uint32_t> PackedLocation(std::string_view deviceName, int interfaceNumber) {
    constexpr int kDigits = 8;
    const auto dash = deviceName.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    std::uint32_t packed = 0;
    int digits = 0;
    const auto append = [&](std::optional<int> number) {
        if (!number || *number < 1 || *number > 15 || digits == kDigits) return false;
        packed = (packed << 4) | static_cast<std::uint32_t>(*number);
        ++digits;
        return true;
    };
    if (!append(ParseWhole<int>(deviceName.substr(0, dash), 10))) return std::nullopt;
    std::string_view ports = deviceName.substr(dash + 1);
    while (true) {
        const auto dot = ports.find('.');
        if (!append(ParseWhole<int>(ports.substr(0, dot), 10))) return std::nullopt;
        if (dot == std::string_view::npos) break;
        ports.remove_prefix(dot + 1);
    }
    if (!append(interfaceNumber + 1)) return std::nullopt;
    return packed;
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
    std::optional<unsigned> com = ttyUsbIndex ? torvane::ComNumberOf("ttyUSB", *ttyUsbIndex) : std::nullopt;
    return com ? static_cast<std::int32_t>(*com) : -1;
}

std::optional<std::uint16_t> ParseHex16(std::string_view text) {
    return ParseWhole<std::uint16_t>(text, 16);
}

std::optional<int> ParseInterfaceNumber(std::string_view text) {
    const auto number = ParseWhole<std::uint8_t>(text, 16);
    if (!number) return std::nullopt;
    return *number;
}

std::optional<std::uint8_t> ParseLatency(std::string_view text) { return ParseWhole<std::uint8_t>(text, 10); }

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
