#pragma once
// What the guest's programs read of the converters from sysfs, the kernel's
// own account that the code under test is checked against.
#include <filesystem>
#include <fstream>
#include <string>

namespace kernel_guest {

inline std::string ReadAttr(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

// The COM number of the ttyUSB node the kernel bound to the converter whose
// USB device is `usb` ("1-2.1"), -1 when there is none.
inline int ComOf(const std::string& usb) {
    for (const auto& e : std::filesystem::directory_iterator("/sys/bus/usb/devices/" + usb + "/" + usb + ":1.0")) {
        std::string name = e.path().filename();
        if (name.rfind("ttyUSB", 0) == 0) return 33 + std::stoi(name.substr(6));
    }
    return -1;
}

}  // namespace kernel_guest
