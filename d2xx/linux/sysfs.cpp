#include "d2xx/linux/sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>

#include "d2xx/linux/ftdi_chips.h"
#include "torvane/cp1250.h"

namespace ftdi_linux {
namespace {

constexpr std::size_t kAttributeMax = 4096;  // a sysfs attribute is at most one page

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

UniqueFd OpenDirectoryAt(int parent, const char* name) {
    return UniqueFd(openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// A fresh stream over the directory (its own position, so listings never
// disturb each other).
DirPtr ListDirectory(int dirFd) {
    UniqueFd own = OpenDirectoryAt(dirFd, ".");
    if (!own.Valid()) return nullptr;
    DIR* dir = fdopendir(own.Get());
    if (dir) own.Release();
    return DirPtr(dir);
}

std::vector<std::string> EntryNames(int dirFd) {
    std::vector<std::string> names;
    DirPtr dir = ListDirectory(dirFd);
    if (!dir) return names;
    while (const dirent* entry = readdir(dir.get())) {
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    }
    return names;
}

// The attribute's text without its trailing newline; nullopt when absent.
std::optional<std::string> ReadAttribute(int dirFd, const char* name) {
    UniqueFd file(openat(dirFd, name, O_RDONLY | O_CLOEXEC));
    if (!file.Valid()) return std::nullopt;
    std::string text;
    char buffer[512];
    while (text.size() < kAttributeMax) {
        const ssize_t n = read(file.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::optional<std::uint16_t> ReadHexAttribute(int dirFd, const char* name) {
    const auto text = ReadAttribute(dirFd, name);
    return text ? ParseHex16(*text) : std::nullopt;
}

std::string ReadTextAttribute(int dirFd, const char* name) {
    return torvane::Utf8ToCp1250(ReadAttribute(dirFd, name).value_or(""));
}

// The device-level descriptors; nullopt when the device has no USB identity
// (gone, or not a USB device).
std::optional<ChannelDescriptors> ReadDeviceDescriptors(int deviceDir) {
    ChannelDescriptors d;
    const auto vendorId = ReadHexAttribute(deviceDir, "idVendor");
    const auto productId = ReadHexAttribute(deviceDir, "idProduct");
    if (!vendorId || !productId) return std::nullopt;
    d.vendorId = *vendorId;
    d.productId = *productId;
    d.bcdDevice = ReadHexAttribute(deviceDir, "bcdDevice").value_or(0);
    if (const auto version = ReadAttribute(deviceDir, "version")) d.bcdUsb = ParseUsbVersion(*version);
    if (const auto power = ReadAttribute(deviceDir, "bMaxPower")) d.maxPowerMa = ParseMaxPower(*power);
    if (const auto attributes = ReadHexAttribute(deviceDir, "bmAttributes"); attributes && *attributes <= 0xFF)
        d.configAttributes = static_cast<std::uint8_t>(*attributes);
    d.manufacturer = ReadTextAttribute(deviceDir, "manufacturer");
    d.description = ReadTextAttribute(deviceDir, "product");
    if (const auto serial = ReadAttribute(deviceDir, "serial")) {
        d.serialNumber = torvane::Utf8ToCp1250(*serial);
        d.hasSerialNumber = true;
    }
    return d;
}

// A channel's own name: the interface string where the device gives one.
void ApplyInterfaceString(int interfaceDir, ChannelDescriptors& d) {
    if (interfaceDir < 0) return;
    const std::string interfaceString = ReadTextAttribute(interfaceDir, "interface");
    if (!interfaceString.empty()) d.description = interfaceString;
}

// The device's interface directories ("<device>:<config>.<number>") by number.
std::map<int, UniqueFd> InterfaceDirectories(int deviceDir, const std::string& deviceName) {
    std::map<int, UniqueFd> interfaces;
    const std::string prefix = deviceName + ":";
    for (const std::string& name : EntryNames(deviceDir)) {
        if (!name.starts_with(prefix)) continue;
        UniqueFd dir = OpenDirectoryAt(deviceDir, name.c_str());
        if (!dir.Valid()) continue;
        const auto text = ReadAttribute(dir.Get(), "bInterfaceNumber");
        const auto number = text ? ParseInterfaceNumber(*text) : std::nullopt;
        if (number && !interfaces.contains(*number)) interfaces.emplace(*number, std::move(dir));
    }
    return interfaces;
}

void AppendDeviceChannels(int busDir, const std::string& deviceName, std::vector<ListedChannel>& out) {
    UniqueFd deviceDir = OpenDirectoryAt(busDir, deviceName.c_str());
    if (!deviceDir.Valid()) return;  // removed since the directory was read
    const auto device = ReadDeviceDescriptors(deviceDir.Get());
    if (!device || device->vendorId != kFtdiVendorId) return;
    const int channels = ChannelCount(device->productId);
    if (channels == 0) return;
    std::map<int, UniqueFd> interfaces = InterfaceDirectories(deviceDir.Get(), deviceName);
    for (int channel = 0; channel < channels; ++channel) {
        ListedChannel entry;
        entry.deviceName = deviceName;
        entry.channel = channel;
        entry.channelCount = channels;
        entry.descriptors = *device;
        if (auto it = interfaces.find(channel); it != interfaces.end()) entry.interfaceDir = std::move(it->second);
        ApplyInterfaceString(entry.interfaceDir.Get(), entry.descriptors);
        entry.listedSerial = ListedSerial(device->serialNumber, channel, channels);
        entry.deviceDir = UniqueFd(fcntl(deviceDir.Get(), F_DUPFD_CLOEXEC, 0));
        if (!entry.deviceDir.Valid()) return;
        out.push_back(std::move(entry));
    }
}

}  // namespace

std::string SysfsRoot() {
    const char* root = std::getenv("TORVANE_SYSFS_ROOT");
    return (root && *root) ? std::string(root) : std::string("/sys");
}

bool NaturalLess(const std::string& a, const std::string& b) {
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei])) ++ei;
            while (ej < b.size() && isDigit(b[ej])) ++ej;
            // Compare digit runs by value: strip leading zeros, then length, then text.
            std::size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0') ++si;
            while (sj + 1 < ej && b[sj] == '0') ++sj;
            if (ei - si != ej - sj) return ei - si < ej - sj;
            if (const int c = a.compare(si, ei - si, b, sj, ej - sj); c != 0) return c < 0;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::vector<ListedChannel> ListChannels(const std::string& root) {
    std::vector<ListedChannel> channels;
    UniqueFd busDir(open((root + "/bus/usb/devices").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!busDir.Valid()) return channels;
    std::vector<std::string> names = EntryNames(busDir.Get());
    // Interfaces ("1-1:1.0") are reached through their device.
    std::erase_if(names, [](const std::string& name) { return name.find(':') != std::string::npos; });
    std::sort(names.begin(), names.end(), NaturalLess);
    for (const std::string& name : names) AppendDeviceChannels(busDir.Get(), name, channels);
    return channels;
}

bool DevicePresent(int deviceDir) {
    return ReadAttribute(deviceDir, "idVendor").has_value();
}

std::optional<ChannelDescriptors> ReadChannelDescriptors(int deviceDir, int interfaceDir) {
    auto descriptors = ReadDeviceDescriptors(deviceDir);
    if (descriptors) ApplyInterfaceString(interfaceDir, *descriptors);
    return descriptors;
}

std::optional<int> BoundTtyUsb(int interfaceDir) {
    if (interfaceDir < 0) return std::nullopt;
    std::optional<int> lowest;
    for (const std::string& name : EntryNames(interfaceDir)) {
        const auto index = TtyUsbIndex(name);
        if (index && (!lowest || *index < *lowest)) lowest = index;
    }
    return lowest;
}

}  // namespace ftdi_linux
