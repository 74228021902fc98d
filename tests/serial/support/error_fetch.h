#pragma once
// Fetching the error slot through the exported IsError, as a C caller does.
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "torvane/cp1250.h"

namespace winseria::test {

struct Fetched {
    std::uint8_t result = 0;
    std::string text;  // Windows-1250
    std::int32_t code = 0;
    bool operator==(const Fetched&) const = default;
};

// IsError into a 64-byte buffer (the 52 bytes a caller must provide, plus
// a guard area that must stay untouched).
Fetched FetchError();

// The Windows-1250 bytes of a UTF-8 text.
inline std::string Cp(std::string_view utf8) { return torvane::Utf8ToCp1250(utf8); }

// What IsError gives for a failure recorded with `utf8` and `code`.
inline Fetched Failure(std::string_view utf8, std::int32_t code) {
    return {static_cast<std::uint8_t>(code != 0 ? 1 : 0), Cp(utf8), code};
}

inline void PrintTo(const Fetched& fetched, std::ostream* out) {
    *out << "{result " << int(fetched.result) << ", \"" << torvane::Cp1250ToUtf8(fetched.text) << "\", code "
         << fetched.code << "}";
}

}  // namespace winseria::test
