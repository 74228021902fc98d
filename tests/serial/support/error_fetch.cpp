#include "tests/serial/support/error_fetch.h"

#include <array>
#include <cstring>
#include <stdexcept>

#include "serial/include/winseria.h"

namespace winseria::test {

Fetched FetchError() {
    constexpr std::size_t kCallerBuffer = 52;
    constexpr char kGuard = '\x5A';
    std::array<char, 64> buffer;
    buffer.fill(kGuard);
    char* text = buffer.data();
    Fetched fetched;
    fetched.code = 0x7EADBEEF;
    fetched.result = IsError(&text, &fetched.code);
    const std::size_t length = strnlen(buffer.data(), kCallerBuffer);
    if (length == kCallerBuffer) throw std::runtime_error("IsError wrote no terminating zero within 52 bytes");
    for (std::size_t i = length + 1; i < buffer.size(); ++i) {
        if (buffer[i] != kGuard) throw std::runtime_error("IsError wrote beyond its text");
    }
    fetched.text.assign(buffer.data(), length);
    return fetched;
}

}  // namespace winseria::test
