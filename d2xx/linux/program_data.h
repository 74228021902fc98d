#pragma once
// Filling the vendor's EEPROM record from what the USB descriptors tell, and
// the bounded copies into callers' buffers. Portable.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "d2xx/ftd2xx_abi.h"

namespace ftdi_linux {

// Capacities of the record's four text buffers as the vendor documents them;
// each copy writes at most capacity - 1 bytes and always a terminator.
constexpr std::size_t kManufacturerCapacity = 32;
constexpr std::size_t kManufacturerIdCapacity = 16;
constexpr std::size_t kDescriptionCapacity = 64;
constexpr std::size_t kSerialNumberCapacity = 16;

// One channel's descriptors, texts already in the 8-bit code page.
struct ChannelDescriptors {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0;
    std::optional<std::uint16_t> bcdUsb;
    std::optional<std::uint16_t> maxPowerMa;
    std::optional<std::uint8_t> configAttributes;  // bmAttributes of the active configuration
    std::string manufacturer;
    std::string description;  // the interface string where one exists, else the product string
    std::string serialNumber;  // the USB serial number, without a channel letter
    bool hasSerialNumber = false;
};

// Copies text with its terminator into dst, at most capacity - 1 text bytes.
// Nothing is written when dst is null or capacity is 0.
void CopyTerminated(char* dst, std::size_t capacity, std::string_view text);

// The vendor's list form: up to capacity bytes; the terminator only when the
// text is shorter than capacity (a full buffer carries no terminator).
void CopyListed(char* dst, std::size_t capacity, std::string_view text);

// Fills the record as far as its Version asks (0, 1 or 2 and above; nothing
// beyond the Version 2 fields): identity, strings, the fields the descriptors
// give, zero for the rest. A null text pointer is skipped.
void FillProgramData(const ChannelDescriptors& source, FT_PROGRAM_DATA& record);

// The vendor's record starts with these two signatures; anything else is a
// record this library does not know how to fill.
bool HasValidSignatures(const FT_PROGRAM_DATA& record);

}  // namespace ftdi_linux
