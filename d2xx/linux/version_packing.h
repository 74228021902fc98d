#pragma once
// Versions in the vendor's packed form: each decimal part written as two
// hexadecimal digits (so it reads back as the decimal number), major in byte 2,
// minor in byte 1, build in byte 0. Portable.
#include <cstdint>
#include <optional>
#include <string_view>

namespace ftdi_linux {

// Parts above 99 cannot be shown in two digits; they saturate at 99 so that a
// later version never packs below an earlier one.
std::uint32_t PackVersion(unsigned major, unsigned minor, unsigned build);

// A release text such as "6.18.44" or "5.10.0-8-amd64": up to three leading
// dot-separated decimal numbers; whatever follows them (a distribution's
// "-8-amd64", "-rc3", a fourth part) is ignored and missing parts count as 0.
// nullopt when the text does not start with a digit.
std::optional<std::uint32_t> PackReleaseText(std::string_view release);

}  // namespace ftdi_linux
