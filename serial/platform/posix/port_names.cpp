#include "serial/platform/posix/port_names.h"

#include <strings.h>

#include <charconv>
#include <cstring>

namespace winapi::posix {

std::optional<unsigned> parseComPortName(const char* name) {
    if (name == nullptr) return std::nullopt;
    if (std::strncmp(name, "\\\\.\\", 4) == 0) name += 4;
    if (strncasecmp(name, "COM", 3) != 0) return std::nullopt;
    const char* digits = name + 3;
    const char* end = digits + std::strlen(digits);
    unsigned number = 0;
    auto [stop, error] = std::from_chars(digits, end, number);
    // Digits only, to the end, without a leading zero.
    if (error != std::errc{} || stop != end || *digits == '0' || number > 255) return std::nullopt;
    return number;
}

std::string portsDirLink(const std::string& directory, unsigned comNumber) {
    return directory + "/com" + std::to_string(comNumber);
}

}  // namespace winapi::posix
