#pragma once
// Reading the FTDI converters out of sysfs: the USB devices under
// <root>/bus/usb/devices, their descriptors and interfaces, and the ttyUSB node
// the kernel's ftdi_sio driver bound to each interface. Only reads; nothing is
// unbound, claimed or opened in /dev, so the system's serial nodes stay as they are.
//
// Every file is opened with O_NONBLOCK and an attribute must be a regular file:
// a FIFO or device node planted in the tree fails the read instead of blocking.
// A walk holds a constant number of descriptors (the bus directory, one device
// directory and one attribute at a time), whatever the number of devices.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "d2xx/ftd2xx_abi.h"
#include "d2xx/linux/program_data.h"
#include <torvane/unique_fd.h>

namespace ftdi_linux {

using torvane::UniqueFd;

// The sysfs root: $TORVANE_SYSFS_ROOT when set and not empty, else "/sys"; the
// variable is ignored in secure-execution mode (set-user-ID or set-group-ID).
std::string SysfsRoot();

// One entry of the list: a chip channel as the walk read it. It holds no
// descriptor; an open finds the device again by its name.
struct ListedChannel {
    std::string deviceName;  // the device's name under bus/usb/devices, e.g. "1-1.2"
    int channel = 0;         // interface number; 0 for a single-channel chip
    std::string listedSerial;       // 8-bit, with the channel letter, cut to 16 bytes
    std::string listedDescription;  // 8-bit, product string and " A", " B", ... for channels
    std::uint32_t location = 0;     // distinct within one list
    bool locationHashed = false;    // the name does not pack; the location may yield on a clash
    std::uint32_t usbId = 0;        // (idVendor << 16) | idProduct
    FT_DEVICE type = FT_DEVICE_UNKNOWN;
    bool highSpeed = false;         // enumerated at 480 Mbit/s
};

// What one walk of the tree found.
struct ChannelList {
    // FT_OK when the walk finished; FT_INSUFFICIENT_RESOURCES (no descriptor or
    // memory left) or FT_IO_ERROR (unreadable entry, not a regular file) when it
    // could not, so that no device is left out without a failure status.
    FT_STATUS status = FT_OK;
    std::vector<ListedChannel> channels;
};

// The FTDI UART channels present under root, in a stable order (devices by
// name, ports compared numerically; channels by number). Devices that vanish
// while being read, and every non-FTDI device, are left out. A missing bus
// directory gives an empty list.
ChannelList ListChannels(const std::string& root);

// The directories an open handle holds. They pin the sysfs objects, so a
// device unplugged and another one plugged into the same port are never
// mistaken for each other.
struct ChannelDirs {
    UniqueFd deviceDir;
    UniqueFd interfaceDir;  // not valid when the channel's interface is absent
};

// What opening a listed channel gave.
struct OpenedChannel {
    // FT_OK; FT_DEVICE_NOT_FOUND when the device has gone or changed; a read
    // failure's status (as ChannelList's) when the device or its interface
    // could not be read, which wins over "not found".
    FT_STATUS status = FT_OK;
    ChannelDirs dirs;  // with FT_OK only
};

// Opens the listed channel's directories when the device under its name still
// lists that channel with the same serial and description.
OpenedChannel OpenListedChannel(const std::string& root, const ListedChannel& listed);

// Whether the device behind an opened directory is still attached.
bool DevicePresent(int deviceDir);

// The descriptors read again through the opened directories; nullopt when the
// device has gone or cannot be read.
std::optional<ChannelDescriptors> ReadChannelDescriptors(int deviceDir, int interfaceDir);

// The ttyUSB index bound to the interface, if any.
std::optional<int> BoundTtyUsb(int interfaceDir);

// The latency timer of the port the kernel's driver bound to the interface,
// its "latency_timer" attribute. FT_NOT_SUPPORTED when there is none (no port
// bound, or a chip without the timer); writing: FT_DEVICE_NOT_OPENED_FOR_WRITE
// when this process may not write it (EACCES, EPERM, EROFS), FT_IO_ERROR for
// any other failure. The value is written as it is; the caller checks it.
FT_STATUS ReadLatencyTimer(int interfaceDir, std::uint8_t& milliseconds);
FT_STATUS WriteLatencyTimer(int interfaceDir, std::uint8_t milliseconds);

// Orders device names as "1-1.2" < "1-1.10" < "2-1": digit runs by value.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace ftdi_linux
