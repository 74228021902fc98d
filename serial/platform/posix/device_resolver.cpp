#include "serial/platform/posix/device_resolver.h"

#include "torvane/com_numbering.h"

#include <strings.h>

#include <charconv>
#include <cstdlib>
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

std::unique_ptr<Device> openSystemDevice(unsigned comNumber, DWORD& error) {
    // Ignored in secure-execution mode (set-user-ID, set-group-ID, file
    // capabilities): whoever starts such a program must not choose the node it opens.
    const char* dir = secure_getenv("TORVANE_PORTS_DIR");
    std::optional<std::string> path =
        (dir == nullptr || *dir == '\0') ? torvane::ComDevicePath(comNumber) : portsDirLink(dir, comNumber);
    if (!path) {
        error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    return openTty(*path, error);
}

[[gnu::weak]] std::unique_ptr<Device> openPortDevice(unsigned comNumber, DWORD& error) {
    return openSystemDevice(comNumber, error);
}

}  // namespace winapi::posix
