// Fuzzes the Linux vendor-ABI library's sysfs reader: the input becomes a small
// sysfs tree (device names well-formed or not, attributes with any bytes,
// missing, or a FIFO or directory in their place; interfaces with odd numbers
// and ttyUSB nodes), then the seven functions list and open every channel.
// Checked: no crash or sanitizer report and no blocking; the count either
// succeeds or fails with a resource or I/O status; after a count every index
// lists in all three shapes with distinct locations; every listed location
// opens (or fails with FT_IO_ERROR when its interface cannot be read); COM
// numbers are -1 or 33..160.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "d2xx/ftd2xx_abi.h"
#include "tests/d2xx_linux/program_data_record.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Violation(const std::string& what) {
    std::fprintf(stderr, "sysfs property violated: %s\n", what.c_str());
    std::abort();
}

const fs::path& Root() {
    static const fs::path root = [] {
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        fs::path path = base / ("torvane-sysfs-fuzz-" + std::to_string(getpid()));
        setenv("TORVANE_SYSFS_ROOT", path.c_str(), 1);
        return path;
    }();
    static const bool cleanedAtExit = std::atexit([] {
        std::error_code ignored;
        fs::remove_all(Root(), ignored);
    }) == 0;
    (void)cleanedAtExit;
    return root;
}

// A file name from the input: no '/' and no zero byte, never "." or "..".
std::string Name(FuzzedDataProvider& in) {
    std::string name = in.ConsumeRandomLengthString(12);
    for (char& c : name)
        if (c == '/' || c == '\0') c = '_';
    return name.empty() || name == "." || name == ".." ? std::string("x") : name;
}

std::string DeviceName(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange(0, 3) == 0) return Name(in);
    std::string name = std::to_string(in.ConsumeIntegralInRange(0, 20)) + "-" + std::to_string(in.ConsumeIntegralInRange(0, 20));
    for (int hops = in.ConsumeIntegralInRange(0, 7); hops > 0; --hops)
        name += "." + std::to_string(in.ConsumeIntegralInRange(0, 20));
    return name;
}

// An attribute: text as given, missing, or a FIFO or directory in its place.
void Attribute(FuzzedDataProvider& in, const fs::path& dir, const char* name, const std::string& usual) {
    switch (in.ConsumeIntegralInRange(0, 15)) {
        case 0: return;
        case 1: mkfifo((dir / name).c_str(), 0600); return;
        case 2: fs::create_directory(dir / name); return;
        case 3: case 4: case 5: std::ofstream(dir / name, std::ios::binary) << in.ConsumeRandomLengthString(80); return;
        default: std::ofstream(dir / name, std::ios::binary) << usual << '\n';
    }
}

void Device(FuzzedDataProvider& in, const fs::path& bus) {
    static const char* const kProducts[] = {"6001", "6010", "6011", "6014", "6015", "6040", "6048", "fbfa", "6002"};
    const std::string name = DeviceName(in);
    const fs::path dir = bus / name;
    std::error_code error;
    if (!fs::create_directory(dir, error)) return;
    Attribute(in, dir, "idVendor", in.ConsumeIntegralInRange(0, 7) ? "0403" : "067b");
    Attribute(in, dir, "idProduct", in.PickValueInArray(kProducts));
    Attribute(in, dir, "serial", "FT" + std::to_string(in.ConsumeIntegralInRange(0, 3)));
    Attribute(in, dir, "product", "Dual RS232-HS");
    Attribute(in, dir, "manufacturer", "FTDI");
    Attribute(in, dir, "bcdDevice", "0700");
    Attribute(in, dir, "bMaxPower", "90mA");
    for (int i = in.ConsumeIntegralInRange(0, 4); i > 0; --i) {
        const int number = in.ConsumeIntegralInRange(0, 5);
        const fs::path interface = dir / (in.ConsumeIntegralInRange(0, 7) ? name + ":1." + std::to_string(number) : Name(in));
        if (!fs::create_directory(interface, error)) continue;
        Attribute(in, interface, "bInterfaceNumber", "0" + std::to_string(number));
        Attribute(in, interface, "interface", "Port");
        if (in.ConsumeBool()) fs::create_directory(interface / ("ttyUSB" + std::to_string(in.ConsumeIntegralInRange(-1, 200))), error);
    }
}

using d2xx_abi::ValueArgument;

void CheckChannel(std::uint32_t index, std::set<std::uint32_t>& locations) {
    char text[80] = {};
    std::uint32_t location = 0;
    if (FT_ListDevices(ValueArgument(index), text, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER) != FT_OK ||
        FT_ListDevices(ValueArgument(index), text, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION) != FT_OK ||
        FT_ListDevices(ValueArgument(index), &location, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION) != FT_OK)
        Violation("index " + std::to_string(index) + " below the count does not list");
    if (!locations.insert(location).second) Violation("two channels share a location");
    FT_HANDLE handle = nullptr;
    const FT_STATUS opened = FT_OpenEx(ValueArgument(location), FT_OPEN_BY_LOCATION, &handle);
    if (opened == FT_IO_ERROR) return;  // its interface could not be read: said, not hidden
    if (opened != FT_OK) Violation("a listed location does not open");
    program_data_record::Record eeprom;
    const FT_STATUS read = FT_EE_Read(handle, &eeprom.data);
    if (read != FT_OK && read != FT_IO_ERROR) Violation("EEPROM read status " + std::to_string(read));
    std::int32_t port = 0;
    if (FT_GetComPortNumber(handle, &port) != FT_OK || (port != -1 && (port < 33 || port > 160)))
        Violation("COM port " + std::to_string(port));
    if (FT_Close(handle) != FT_OK) Violation("close");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::error_code error;
    fs::remove_all(Root(), error);
    const fs::path bus = Root() / "bus/usb/devices";
    fs::create_directories(bus);
    for (int devices = in.ConsumeIntegralInRange(0, 6); devices > 0; --devices) Device(in, bus);

    std::uint32_t count = 0;
    const FT_STATUS status = FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
    if (status == FT_IO_ERROR || status == FT_INSUFFICIENT_RESOURCES) return 0;
    if (status != FT_OK) Violation("count status " + std::to_string(status));
    std::set<std::uint32_t> locations;
    for (std::uint32_t index = 0; index < count; ++index) CheckChannel(index, locations);
    char text[80];
    if (FT_ListDevices(ValueArgument(count), text, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER) != FT_DEVICE_NOT_FOUND)
        Violation("the index past the count lists");
    return 0;
}
