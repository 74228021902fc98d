#include "tests/d2xx_linux/fake_sysfs.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace fake_sysfs {
namespace fs = std::filesystem;
namespace {

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text << '\n';
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteOptional(const fs::path& dir, const char* name, const std::optional<std::string>& text) {
    if (text) WriteFile(dir / name, *text);
}

std::string InterfaceName(const std::string& device, int number) {
    return device + ":1." + std::to_string(number);
}

std::string TtyName(int ttyUsb) { return "ttyUSB" + std::to_string(ttyUsb); }

// The names udev gives: by-id from the strings (blanks as '_'), by-path from the port.
std::string ByIdName(const UsbDevice& device, int number) {
    std::string name = "usb-" + device.manufacturer.value_or("") + "_" + device.product.value_or("") + "_" +
                       device.serial.value_or("") + "-if0" + std::to_string(number) + "-port0";
    for (char& c : name)
        if (c == ' ') c = '_';
    return name;
}

// A link made again points at the newest node, as udev's do when names clash.
void Relink(const fs::path& target, const fs::path& link) {
    std::error_code ignored;
    fs::remove(link, ignored);
    fs::create_symlink(target, link);
}

std::string ByPathName(const UsbDevice& device, int number) {
    return "pci-0000:00:14.0-usb-0:" + device.name.substr(device.name.find('-') + 1) + ":1." + std::to_string(number) +
           "-port0";
}

}  // namespace

UsbDevice Ft232r(std::string name, std::string serial, std::optional<int> ttyUsb) {
    UsbDevice d;
    d.name = std::move(name);
    d.serial = std::move(serial);
    d.interfaces = {Interface{0, ttyUsb, std::nullopt}};
    return d;
}

UsbDevice Ft2232h(std::string name, std::string serial, int ttyA, int ttyB) {
    UsbDevice d;
    d.name = std::move(name);
    d.idProduct = "6010";
    d.bcdDevice = "0700";
    d.bMaxPower = "500mA";
    d.speed = "480";
    d.bmAttributes = "80";
    d.product = "Dual RS232-HS";
    d.serial = std::move(serial);
    d.interfaces = {Interface{0, ttyA, std::nullopt}, Interface{1, ttyB, std::nullopt}};
    return d;
}

UsbDevice Ft4232h(std::string name, std::optional<std::string> serial, int firstTty) {
    UsbDevice d = Ft2232h(std::move(name), "", firstTty, firstTty + 1);
    d.idProduct = "6011";
    d.bcdDevice = "0800";
    d.product = "Quad RS232-HS";
    d.serial = std::move(serial);
    d.interfaces.push_back(Interface{2, firstTty + 2, std::nullopt});
    d.interfaces.push_back(Interface{3, firstTty + 3, std::nullopt});
    return d;
}

UsbDevice NonFtdi(std::string name) {
    UsbDevice d;
    d.name = std::move(name);
    d.idVendor = "067b";  // a USB-serial converter of another vendor
    d.idProduct = "2303";
    d.manufacturer = "Prolific Technology Inc.";
    d.product = "USB-Serial Controller";
    d.serial = "NOTFTDI1";
    return d;
}

std::vector<UsbDevice> HardwareSet(const std::string& name) {
    if (name == "an FT232R") return {Ft232r("1-3", "A5003MQZ", 3)};
    if (name == "two FT2232H without serials") {
        std::vector<UsbDevice> set = {Ft2232h("1-1", "", 0, 1), Ft2232h("1-2", "", 2, 3)};
        for (UsbDevice& d : set) d.serial.reset();
        return set;
    }
    if (name == "four FT4232H without serials in one box") {
        std::vector<UsbDevice> set;
        for (int chip = 0; chip < 4; ++chip) set.push_back(Ft4232h("1-1." + std::to_string(chip + 1), std::nullopt, 4 * chip));
        return set;
    }
    if (name == "two FT232R sharing a serial") {
        UsbDevice copy = Ft232r("1-2", "A50285BI", 1);
        copy.product = "USB Serial";
        return {Ft232r("1-1", "A50285BI", 0), copy};
    }
    if (name == "a channel bound to another driver") {
        UsbDevice jtag = Ft2232h("1-1", "FT9JTAG", 0, 0);
        jtag.interfaces[0].ttyUsb.reset();
        jtag.interfaces[1].ttyUsb = 1;
        return {jtag};
    }
    if (name == "a 16-character serial on a two-channel chip") return {Ft2232h("1-1", "0123456789ABCDEF", 5, 6)};
    throw std::invalid_argument("no hardware set named " + name);
}

Tree::Tree() {
    std::string pattern = (fs::temp_directory_path() / "torvane-sysfs-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    fs::create_directories(root_ / "bus/usb/devices");
    fs::create_directories(root_ / "devices/pci0000:00/0000:00:14.0/usb1");
    fs::create_directories(root_ / "bus/usb-serial/devices");
    fs::create_directories(DevRoot() / "serial/by-id");
    fs::create_directories(DevRoot() / "serial/by-path");
    setenv("TORVANE_SYSFS_ROOT", root_.c_str(), 1);
    setenv("TORVANE_DEV_ROOT", DevRoot().c_str(), 1);
}

Tree::~Tree() {
    unsetenv("TORVANE_SYSFS_ROOT");
    unsetenv("TORVANE_DEV_ROOT");
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

fs::path Tree::DevicePath(const std::string& name) const {
    return root_ / "devices/pci0000:00/0000:00:14.0/usb1" / name;
}

void Tree::Add(const UsbDevice& device) {
    const fs::path dir = DevicePath(device.name);
    fs::create_directories(dir);
    WriteOptional(dir, "idVendor", device.idVendor);
    WriteOptional(dir, "idProduct", device.idProduct);
    WriteOptional(dir, "bcdDevice", device.bcdDevice);
    WriteOptional(dir, "version", device.version);
    WriteOptional(dir, "speed", device.speed);
    WriteOptional(dir, "bMaxPower", device.bMaxPower);
    WriteOptional(dir, "bmAttributes", device.bmAttributes);
    WriteOptional(dir, "manufacturer", device.manufacturer);
    WriteOptional(dir, "product", device.product);
    WriteOptional(dir, "serial", device.serial);
    WriteFile(dir / "bNumInterfaces", " " + std::to_string(device.interfaces.size()));
    const fs::path bus = root_ / "bus/usb/devices";
    fs::create_directory_symlink(dir, bus / device.name);
    for (const Interface& i : device.interfaces) {
        const std::string name = InterfaceName(device.name, i.number);
        fs::create_directories(dir / name);
        char number[8];
        std::snprintf(number, sizeof number, "%02x", i.number);
        WriteFile(dir / name / "bInterfaceNumber", number);
        WriteOptional(dir / name, "interface", i.interfaceString);
        fs::create_directory_symlink(dir / name, bus / name);
        if (!i.ttyUsb) continue;
        BindTty(device.name, i.number, *i.ttyUsb);
        if (!i.links) continue;
        const fs::path node = fs::path("../..") / TtyName(*i.ttyUsb);
        Relink(node, DevRoot() / "serial/by-id" / ByIdName(device, i.number));
        Relink(node, DevRoot() / "serial/by-path" / ByPathName(device, i.number));
    }
}

void Tree::Remove(const std::string& name) { fs::remove_all(DevicePath(name)); }

void Tree::Replace(const UsbDevice& device) {
    Remove(device.name);
    for (const auto& entry : fs::directory_iterator(root_ / "bus/usb/devices")) {
        const std::string link = entry.path().filename().string();
        if (link == device.name || link.starts_with(device.name + ":")) fs::remove(entry.path());
    }
    Add(device);
}

void Tree::BindTty(const std::string& name, int number, int ttyUsb) {
    const std::string node = TtyName(ttyUsb);
    const fs::path port = DevicePath(name) / InterfaceName(name, number) / node;
    fs::create_directories(port / "tty" / node);
    WriteFile(port / "latency_timer", "16");
    Relink(port, PortPath(ttyUsb));
    WriteFile(DevRoot() / node, "");
}

fs::path Tree::PortPath(int ttyUsb) const { return root_ / "bus/usb-serial/devices" / TtyName(ttyUsb); }

void Tree::SetAttribute(const std::string& name, const std::string& attribute, const std::string& text) {
    WriteFile(DevicePath(name) / attribute, text);
}

}  // namespace fake_sysfs
