#pragma once
// Reading the FTDI converters out of sysfs: the USB devices under
// <root>/bus/usb/devices, their descriptors and interfaces, and the ttyUSB node
// the kernel's ftdi_sio driver bound to each interface. Only reads; nothing is
// unbound, claimed or opened in /dev, so the system's serial nodes stay as they are.
#include <optional>
#include <string>
#include <vector>

#include "d2xx/linux/program_data.h"
#include <torvane/unique_fd.h>

namespace ftdi_linux {

using torvane::UniqueFd;

// The sysfs root: $TORVANE_SYSFS_ROOT when set and not empty, else "/sys".
std::string SysfsRoot();

// One entry of the list: a chip channel. Its directory descriptors pin the
// sysfs objects it was read from, so a device unplugged and another one
// plugged into the same port are never mistaken for each other.
struct ListedChannel {
    std::string deviceName;  // the device's name under bus/usb/devices, e.g. "1-1.2"
    int channel = 0;         // interface number; 0 for a single-channel chip
    int channelCount = 1;
    std::string listedSerial;  // 8-bit, with the channel letter, cut to 16 bytes
    ChannelDescriptors descriptors;
    UniqueFd deviceDir;
    UniqueFd interfaceDir;  // not valid when the channel's interface is absent
};

// The FTDI UART channels present under root, in a stable order (devices by
// name, ports compared numerically; channels by number). Devices that vanish
// while being read, and every non-FTDI device, are left out. An unreadable or
// missing bus directory gives an empty list.
std::vector<ListedChannel> ListChannels(const std::string& root);

// Whether the device behind an opened directory is still attached.
bool DevicePresent(int deviceDir);

// The descriptors read again through the opened directories; nullopt when the
// device has gone.
std::optional<ChannelDescriptors> ReadChannelDescriptors(int deviceDir, int interfaceDir);

// The ttyUSB index bound to the interface, if any.
std::optional<int> BoundTtyUsb(int interfaceDir);

// Orders device names as "1-1.2" < "1-1.10" < "2-1": digit runs by value.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace ftdi_linux
