#pragma once
// Conversion between Windows code page 1250 (the 8-bit Polish text of the
// serial library's error slot and of device strings) and UTF-8.
#include <string>
#include <string_view>

namespace torvane {

// Every byte has a meaning; the five unassigned code points become U+FFFD.
std::string Cp1250ToUtf8(std::string_view cp1250);
// Characters with no Windows-1250 byte, U+0000 (the 8-bit texts are C
// strings) and every malformed UTF-8 sequence (overlong forms, surrogates,
// stray or missing continuation bytes) become '?'.
std::string Utf8ToCp1250(std::string_view utf8);

}  // namespace torvane
