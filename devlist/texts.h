#pragma once
// The small text builders of the device list: hexadecimal and version texts,
// the port text and the decoration of a device name. Pure functions over 8-bit
// text; the refresh decodes their results to UTF-8 only when writing cells.
#include <cstdint>
#include <string>
#include <string_view>

namespace devlist {

// Shown for a version that is 0 or could not be read.
inline constexpr std::string_view kUnknownVersion = "??.??.??";
// Shown in the port column when the port query failed / the device has no port.
inline constexpr std::string_view kUnknownPort = "????";
inline constexpr std::string_view kNoPort = "----";
// Put in front of the four channel names "COM_A" to "COM_D"; 15 characters.
inline constexpr std::string_view kChannelNamePrefix = "KALDORVENTIX   ";
// Names shorter than this are padded with spaces on the right.
inline constexpr std::size_t kDeviceNameWidth = 25;
inline constexpr std::string_view kLibraryVersionPrefix = "Wersja biblioteki FTD2XX.DLL: ";

// x in upper-case hexadecimal, no prefix, zero-padded to at least `minDigits`.
std::string Hex(std::uint32_t x, int minDigits);

// Bytes 2, 1 and 0 of a D2XX version value as Hex(b2,1).Hex(b1,2).Hex(b0,2);
// byte 3 is ignored. A value of 0 gives "??.??.??".
std::string VersionText(std::uint32_t version);

// The label's text for a library version value (0 when the query failed).
std::string LibraryVersionLabel(std::uint32_t libraryVersion);

// The port column: "????" when the query failed (status != 0), "----" for -1,
// else "COM" and the number in decimal.
std::string PortTextFor(std::uint32_t status, std::int32_t portNumber);

// The name column before decoding: the channel prefix in front of exactly
// "COM_A".."COM_D" (case-sensitive, whole text), then spaces up to 25 bytes.
std::string DecorateDeviceName(std::string name);

}  // namespace devlist
