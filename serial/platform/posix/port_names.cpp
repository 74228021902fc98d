#include "serial/platform/posix/port_names.h"

#include <cctype>
#include <cstring>

namespace winapi::posix {

namespace {

bool startsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix)
        if (std::toupper(static_cast<unsigned char>(*text)) != std::toupper(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}

std::optional<unsigned> parseDecimal(const char* digits) {
    if (!std::isdigit(static_cast<unsigned char>(*digits)) || *digits == '0') return std::nullopt;
    unsigned value = 0;
    for (const char* p = digits; *p; ++p) {
        if (!std::isdigit(static_cast<unsigned char>(*p))) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > 255) return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<unsigned> parseComPortName(const char* name) {
    if (name == nullptr) return std::nullopt;
    if (std::strncmp(name, "\\\\.\\", 4) == 0) name += 4;
    if (!startsWithNoCase(name, "COM")) return std::nullopt;
    return parseDecimal(name + 3);
}

std::string portsDirLink(const std::string& directory, unsigned comNumber) {
    return directory + "/com" + std::to_string(comNumber);
}

}  // namespace winapi::posix
