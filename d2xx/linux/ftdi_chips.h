#pragma once
// What the converters' USB identities mean: which product ids are FTDI UART
// chips, how many channels each has, how the vendor names a channel in its
// device list, and the fixed COM numbering of ttyUSB nodes. Portable.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "d2xx/ftd2xx_abi.h"

namespace ftdi_linux {

constexpr std::uint16_t kFtdiVendorId = 0x0403;

// Longest serial number the vendor's list gives (its buffer is 16 bytes).
constexpr std::size_t kListedSerialMax = 16;
// Longest description the vendor's list gives (its buffer is 64 bytes).
constexpr std::size_t kListedDescriptionMax = 64;

enum class Chip {
    Unknown,   // an FTDI product id we list but whose revision we do not know
    SIO,       // FT8U100AX
    FT232AM,
    FT232B,    // also FT245B
    FT2232CD,  // FT2232C/D
    FT232R,    // also FT245R
    FT2232H,
    FT4232H,
    FT232H,
    FTX,
    FT2233HP,
    FT4233HP,
    FT2232HP,
    FT4232HP,
    FT233HP,
    FT232HP,
    FT4232HA,
};

// One of the vendor's own product ids and the chip behind it.
struct FtdiProduct {
    std::uint16_t productId;
    int channels;
    // The chip, or Unknown where the product id is shared by several chips and
    // the device release (bcdDevice) tells them apart.
    Chip chip;
};

// The product ids the kernel's ftdi_sio driver serves as FTDI chips; nullptr
// for any other (the device is then not listed).
const FtdiProduct* FindFtdiProduct(std::uint16_t productId);

// Channels of a UART chip by product id: 1, 2 or 4; 0 for a product id that is
// not one of the vendor's UART chips.
int ChannelCount(std::uint16_t productId);

// The chip revision from the product id and the device release (bcdDevice).
Chip IdentifyChip(std::uint16_t productId, std::uint16_t bcdDevice);

// The vendor's device type number of a chip (FT_GetDeviceInfoDetail).
FT_DEVICE VendorDeviceType(Chip chip);

// The serial number as the vendor lists a channel: a multi-channel chip's
// channels get "A", "B", ... appended (channel = interface number). The result
// holds at most kListedSerialMax bytes, as the vendor's list holds no more; a
// multi-channel serial that fills them loses its last byte to the letter, so
// the channels stay distinguishable.
std::string ListedSerial(std::string_view usbSerial, int channel, int channelCount);

// The description as the vendor lists a channel (by description, and as
// FT_OpenEx by description matches it): the product string, and for a
// multi-channel chip " A", " B", ... after it. At most kListedDescriptionMax
// bytes; the product string gives way to the suffix.
std::string ListedDescription(std::string_view product, int channel, int channelCount);

// The vendor's location of a channel on Linux: the USB bus number and the port
// path from the root hub, one hexadecimal digit each, most significant first,
// then the interface number + 1 ("1-1.3" interface 0 is 0x1131). nullopt when
// the device name is not "<bus>-<port>[.<port>]..." or the digits do not fit:
// a number outside 1..15 (USB numbers buses and ports from 1; a zero digit
// would make "0-0.0" and "0-0.0.0.0" the same location), or more than eight
// digits in all.
std::optional<std::uint32_t> PackedLocation(std::string_view deviceName, int interfaceNumber);

// "ttyUSB<k>" -> k; nullopt for any other name.
std::optional<int> TtyUsbIndex(std::string_view nodeName);

// The fixed numbering shared with the serial library: ttyUSBk is COM(33+k) for
// k 0..127; -1 (no COM port) for a missing node or one outside the range.
std::int32_t ComPortForTtyUsb(std::optional<int> ttyUsbIndex);

// Parsers for sysfs attribute texts (trailing newline already removed).
// "0403" -> 0x0403 (hexadecimal, as idVendor, idProduct, bcdDevice, bmAttributes).
std::optional<std::uint16_t> ParseHex16(std::string_view text);
// "00", "03" -> the interface number (bInterfaceNumber, printed "%02x").
std::optional<int> ParseInterfaceNumber(std::string_view text);
// "16" -> 16 (latency_timer, decimal milliseconds).
std::optional<std::uint8_t> ParseLatency(std::string_view text);
// "90mA" -> 90 (bMaxPower, already in mA as the kernel prints it).
std::optional<std::uint16_t> ParseMaxPower(std::string_view text);
// " 2.00" or "1.10" -> 0x0200 / 0x0110 (the device's bcdUSB as "version" prints it).
std::optional<std::uint16_t> ParseUsbVersion(std::string_view text);

}  // namespace ftdi_linux
