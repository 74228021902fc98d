#include "d2xx/linux/sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <set>

#include "d2xx/linux/ftdi_chips.h"
#include "torvane/cp1250.h"

namespace ftdi_linux {
namespace {

constexpr std::size_t kAttributeMax = 4096;  // a sysfs attribute is at most one page

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

// The errors that only mean "this entry is no longer there": a device
// unplugged while it is read.
bool Vanished(int error) { return error == ENOENT || error == ENODEV || error == ENXIO || error == ESTALE; }

FT_STATUS StatusOf(int error) {
    return error == EMFILE || error == ENFILE || error == ENOMEM ? FT_INSUFFICIENT_RESOURCES : FT_IO_ERROR;
}

// Reads sysfs and remembers the first failure that was not a vanished entry,
// so that a walk can tell a complete list from one that left devices out.
class Reader {
public:
    FT_STATUS Status() const { return status_; }

    UniqueFd Directory(int parent, const char* name) {
        UniqueFd dir(openat(parent, name, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
        if (!dir.Valid()) Note(errno);
        return dir;
    }

    // The entry names other than "." and "..", read through a stream of its
    // own (its own position, so listings never disturb each other).
    std::vector<std::string> Entries(int dirFd) {
        std::vector<std::string> names;
        UniqueFd own = Directory(dirFd, ".");
        if (!own.Valid()) return names;
        DirPtr dir(fdopendir(own.Get()));
        if (!dir) {
            Note(errno);
            return names;
        }
        own.Release();
        errno = 0;
        while (const dirent* entry = readdir(dir.get())) {
            if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
        }
        if (errno != 0) Note(errno);
        return names;
    }

    // The attribute's text without its trailing newline; nullopt when absent
    // or unreadable (then noted).
    std::optional<std::string> Attribute(int dirFd, const char* name) {
        UniqueFd file(openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
        if (!file.Valid()) return Fail(errno);
        struct stat info {};
        if (fstat(file.Get(), &info) != 0) return Fail(errno);
        if (!S_ISREG(info.st_mode)) return Fail(EINVAL);
        std::string text;
        char buffer[512];
        while (text.size() < kAttributeMax) {
            const ssize_t n = read(file.Get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Fail(errno);
            if (n == 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }

    std::optional<std::uint16_t> HexAttribute(int dirFd, const char* name) {
        const auto text = Attribute(dirFd, name);
        return text ? ParseHex16(*text) : std::nullopt;
    }

    std::string TextAttribute(int dirFd, const char* name) {
        return torvane::Utf8ToCp1250(Attribute(dirFd, name).value_or(""));
    }

private:
    void Note(int error) {
        if (!Vanished(error) && status_ == FT_OK) status_ = StatusOf(error);
    }
    std::nullopt_t Fail(int error) {
        Note(error);
        return std::nullopt;
    }

    FT_STATUS status_ = FT_OK;
};

// The device-level descriptors; nullopt when the device has no USB identity
// (gone, or not a USB device).
std::optional<ChannelDescriptors> ReadDeviceDescriptors(Reader& reader, int deviceDir) {
    ChannelDescriptors d;
    const auto vendorId = reader.HexAttribute(deviceDir, "idVendor");
    const auto productId = reader.HexAttribute(deviceDir, "idProduct");
    if (!vendorId || !productId) return std::nullopt;
    d.vendorId = *vendorId;
    d.productId = *productId;
    d.bcdDevice = reader.HexAttribute(deviceDir, "bcdDevice").value_or(0);
    if (const auto version = reader.Attribute(deviceDir, "version")) d.bcdUsb = ParseUsbVersion(*version);
    if (const auto power = reader.Attribute(deviceDir, "bMaxPower")) d.maxPowerMa = ParseMaxPower(*power);
    if (const auto attributes = reader.HexAttribute(deviceDir, "bmAttributes"); attributes && *attributes <= 0xFF)
        d.configAttributes = static_cast<std::uint8_t>(*attributes);
    d.manufacturer = reader.TextAttribute(deviceDir, "manufacturer");
    d.description = reader.TextAttribute(deviceDir, "product");
    if (const auto serial = reader.Attribute(deviceDir, "serial")) {
        d.serialNumber = torvane::Utf8ToCp1250(*serial);
        d.hasSerialNumber = true;
    }
    return d;
}

// A channel's own name: the interface string where the device gives one.
void ApplyInterfaceString(Reader& reader, int interfaceDir, ChannelDescriptors& d) {
    if (interfaceDir < 0) return;
    const std::string interfaceString = reader.TextAttribute(interfaceDir, "interface");
    if (!interfaceString.empty()) d.description = interfaceString;
}

// The directory of the device's interface `number` ("<device>:<config>.<n>"
// with that bInterfaceNumber); not valid when there is none. The usual name,
// configuration 1, is tried before the directory is searched.
UniqueFd InterfaceDirectory(Reader& reader, int deviceDir, const std::string& deviceName, int number) {
    const auto isInterface = [&](const UniqueFd& dir) {
        if (!dir.Valid()) return false;
        const auto text = reader.Attribute(dir.Get(), "bInterfaceNumber");
        return text && ParseInterfaceNumber(*text) == number;
    };
    const std::string usual = deviceName + ":1." + std::to_string(number);
    if (UniqueFd dir = reader.Directory(deviceDir, usual.c_str()); isInterface(dir)) return dir;
    const std::string prefix = deviceName + ":";
    for (const std::string& name : reader.Entries(deviceDir)) {
        if (!name.starts_with(prefix) || name == usual) continue;
        if (UniqueFd dir = reader.Directory(deviceDir, name.c_str()); isInterface(dir)) return dir;
    }
    return UniqueFd();
}

// Where a device name does not pack into a location (see PackedLocation): a
// value from the name alone, so that it stays the same while the device does.
std::uint32_t HashedLocation(const std::string& deviceName, int channel) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : deviceName + '#' + std::to_string(channel)) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

// The channels of the device open at deviceDir, as the list gives them; none
// for a device that is not an FTDI UART chip or that has gone. Only the
// device's own attributes are read: no interface directory is opened.
std::vector<ListedChannel> DeviceChannels(Reader& reader, int deviceDir, const std::string& deviceName) {
    std::vector<ListedChannel> channels;
    const auto vendorId = reader.HexAttribute(deviceDir, "idVendor");
    const auto productId = reader.HexAttribute(deviceDir, "idProduct");
    if (vendorId != kFtdiVendorId || !productId) return channels;
    const int count = ChannelCount(*productId);
    if (count == 0) return channels;
    const std::string serial = torvane::Utf8ToCp1250(reader.Attribute(deviceDir, "serial").value_or(""));
    const std::string product = reader.TextAttribute(deviceDir, "product");
    const std::uint16_t bcdDevice = reader.HexAttribute(deviceDir, "bcdDevice").value_or(0);
    const bool highSpeed = reader.Attribute(deviceDir, "speed") == "480";
    for (int channel = 0; channel < count; ++channel) {
        ListedChannel entry;
        entry.deviceName = deviceName;
        entry.channel = channel;
        entry.listedSerial = ListedSerial(serial, channel, count);
        entry.listedDescription = ListedDescription(product, channel, count);
        const auto packed = PackedLocation(deviceName, channel);
        entry.location = packed.value_or(HashedLocation(deviceName, channel));
        entry.locationHashed = !packed;
        entry.usbId = (std::uint32_t{kFtdiVendorId} << 16) | *productId;
        entry.type = VendorDeviceType(IdentifyChip(*productId, bcdDevice));
        entry.highSpeed = highSpeed;
        channels.push_back(std::move(entry));
    }
    return channels;
}

// Packed locations are distinct by construction and never move. A hashed one
// that meets a packed one, or a hashed one earlier in the list, takes the next
// free value: it stays put as long as its device and the one it met stay.
void MakeLocationsDistinct(std::vector<ListedChannel>& channels) {
    std::set<std::uint32_t> taken;
    for (const ListedChannel& channel : channels)
        if (!channel.locationHashed) taken.insert(channel.location);
    for (ListedChannel& channel : channels) {
        if (!channel.locationHashed) continue;
        while (!taken.insert(channel.location).second) ++channel.location;
    }
}

UniqueFd OpenBusDirectory(Reader& reader, const std::string& root) {
    return reader.Directory(AT_FDCWD, (root + "/bus/usb/devices").c_str());
}

// The directory of the port bound to the interface (ttyUSB<k> inside it).
UniqueFd BoundPortDirectory(Reader& reader, int interfaceDir) {
    const std::optional<int> tty = BoundTtyUsb(interfaceDir);
    if (!tty) return UniqueFd();
    return reader.Directory(interfaceDir, ("ttyUSB" + std::to_string(*tty)).c_str());
}

FT_STATUS LatencyWriteStatus(int error) {
    if (error == EACCES || error == EPERM || error == EROFS) return FT_DEVICE_NOT_OPENED_FOR_WRITE;
    return error == ENOENT ? FT_NOT_SUPPORTED : FT_IO_ERROR;
}

}  // namespace

std::string SysfsRoot() {
    // Ignored in a set-user-ID or set-group-ID process: whoever starts one
    // must not choose the tree it lists.
    const char* root = secure_getenv("TORVANE_SYSFS_ROOT");
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

ChannelList ListChannels(const std::string& root) {
    ChannelList list;
    Reader reader;
    UniqueFd busDir = OpenBusDirectory(reader, root);
    if (busDir.Valid()) {
        std::vector<std::string> names = reader.Entries(busDir.Get());
        // Interfaces ("1-1:1.0") are reached through their device.
        std::erase_if(names, [](const std::string& name) { return name.find(':') != std::string::npos; });
        std::sort(names.begin(), names.end(), NaturalLess);
        for (const std::string& name : names) {
            // A dangling link (unplugged since the directory was read) is no device.
            UniqueFd deviceDir = reader.Directory(busDir.Get(), name.c_str());
            if (!deviceDir.Valid()) continue;
            std::vector<ListedChannel> channels = DeviceChannels(reader, deviceDir.Get(), name);
            std::move(channels.begin(), channels.end(), std::back_inserter(list.channels));
        }
    }
    list.status = reader.Status();
    MakeLocationsDistinct(list.channels);
    return list;
}

OpenedChannel OpenListedChannel(const std::string& root, const ListedChannel& listed) {
    Reader reader;
    // A read failure, noted by the reader, wins over "gone": it may be why the device looks gone.
    const auto failed = [&reader](FT_STATUS otherwise) {
        return OpenedChannel{reader.Status() != FT_OK ? reader.Status() : otherwise, {}};
    };
    UniqueFd busDir = OpenBusDirectory(reader, root);
    if (!busDir.Valid()) return failed(FT_DEVICE_NOT_FOUND);
    ChannelDirs dirs;
    dirs.deviceDir = reader.Directory(busDir.Get(), listed.deviceName.c_str());
    if (!dirs.deviceDir.Valid()) return failed(FT_DEVICE_NOT_FOUND);
    // The same name may now be another device: it must still list this channel alike.
    const std::vector<ListedChannel> now = DeviceChannels(reader, dirs.deviceDir.Get(), listed.deviceName);
    const bool same = listed.channel < static_cast<int>(now.size()) &&
                      now[listed.channel].listedSerial == listed.listedSerial &&
                      now[listed.channel].listedDescription == listed.listedDescription;
    if (!same) return failed(FT_DEVICE_NOT_FOUND);
    // An absent interface is no failure (the port shows "----"); one that cannot be read is.
    dirs.interfaceDir = InterfaceDirectory(reader, dirs.deviceDir.Get(), listed.deviceName, listed.channel);
    if (reader.Status() != FT_OK) return failed(FT_OK);
    return {FT_OK, std::move(dirs)};
}

bool DevicePresent(int deviceDir) {
    Reader reader;
    return reader.Attribute(deviceDir, "idVendor").has_value();
}

std::optional<ChannelDescriptors> ReadChannelDescriptors(int deviceDir, int interfaceDir) {
    Reader reader;
    auto descriptors = ReadDeviceDescriptors(reader, deviceDir);
    if (descriptors) ApplyInterfaceString(reader, interfaceDir, *descriptors);
    if (reader.Status() != FT_OK) return std::nullopt;
    return descriptors;
}

std::optional<int> BoundTtyUsb(int interfaceDir) {
    if (interfaceDir < 0) return std::nullopt;
    Reader reader;
    std::optional<int> lowest;
    for (const std::string& name : reader.Entries(interfaceDir)) {
        const auto index = TtyUsbIndex(name);
        if (index && (!lowest || *index < *lowest)) lowest = index;
    }
    return lowest;
}

FT_STATUS ReadLatencyTimer(int interfaceDir, std::uint8_t& milliseconds) {
    Reader reader;
    const UniqueFd port = BoundPortDirectory(reader, interfaceDir);
    if (!port.Valid()) return FT_NOT_SUPPORTED;
    const std::optional<std::string> text = reader.Attribute(port.Get(), "latency_timer");
    if (!text) return reader.Status() == FT_OK ? FT_NOT_SUPPORTED : FT_IO_ERROR;
    const std::optional<std::uint8_t> value = ParseLatency(*text);
    if (!value) return FT_IO_ERROR;
    milliseconds = *value;
    return FT_OK;
}

FT_STATUS WriteLatencyTimer(int interfaceDir, std::uint8_t milliseconds) {
    Reader reader;
    const UniqueFd port = BoundPortDirectory(reader, interfaceDir);
    if (!port.Valid()) return FT_NOT_SUPPORTED;
    // Opened as a shell's "echo 1 >" opens it; sysfs takes each write whole.
    const UniqueFd file(openat(port.Get(), "latency_timer", O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    if (!file.Valid()) return LatencyWriteStatus(errno);
    struct stat info {};
    if (fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return FT_IO_ERROR;
    const std::string text = std::to_string(milliseconds) + "\n";
    const ssize_t written = write(file.Get(), text.data(), text.size());
    if (written < 0) return LatencyWriteStatus(errno);
    return static_cast<std::size_t>(written) == text.size() ? FT_OK : FT_IO_ERROR;
}

}  // namespace ftdi_linux
