#pragma once
// A sysfs tree in a temporary directory, laid out as the kernel lays it out:
// devices under devices/pci0000:00/0000:00:14.0/usb1/<name>, reached through
// symlinks in bus/usb/devices; interfaces as <name>:1.<n> inside their device
// (also linked from bus/usb/devices); a bound port as ttyUSB<k>/tty/ttyUSB<k>
// inside its interface, with its latency_timer (16) and its link in
// bus/usb-serial/devices. Beside it, a /dev: each bound port's node (an empty
// file, which a test may hold open) and its udev links in serial/by-id and
// serial/by-path. While it lives, TORVANE_SYSFS_ROOT and TORVANE_DEV_ROOT
// name the two.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fake_sysfs {

struct Interface {
    int number = 0;
    std::optional<int> ttyUsb;                   // ttyUSB<k> bound to it
    std::optional<std::string> interfaceString;  // the "interface" attribute
    bool links = true;                           // udev's by-id and by-path links to the node
};

// Attribute texts as the kernel prints them; nullopt leaves the file out.
struct UsbDevice {
    std::string name = "1-1";
    std::optional<std::string> idVendor = "0403";
    std::optional<std::string> idProduct = "6001";
    std::optional<std::string> bcdDevice = "0600";
    std::optional<std::string> version = " 2.00";
    std::optional<std::string> speed = "12";  // Mbit/s as enumerated
    std::optional<std::string> bMaxPower = "90mA";
    std::optional<std::string> bmAttributes = "a0";
    std::optional<std::string> manufacturer = "FTDI";
    std::optional<std::string> product = "FT232R USB UART";
    std::optional<std::string> serial = "A10K1ABC";
    std::vector<Interface> interfaces = {Interface{0, 0, std::nullopt}};
};

// Ready-made devices of the kinds the tests need.
UsbDevice Ft232r(std::string name, std::string serial, std::optional<int> ttyUsb);
UsbDevice Ft2232h(std::string name, std::string serial, int ttyA, int ttyB);
// Four channels bound to ttyUSB<firstTty> onwards; nullopt: no serial string.
UsbDevice Ft4232h(std::string name, std::optional<std::string> serial, int firstTty);
UsbDevice NonFtdi(std::string name);

// Sets modelled on hardware people plug in: "an FT232R", "two FT2232H without
// serials", "four FT4232H without serials in one box", "two FT232R sharing a
// serial", "a channel bound to another driver", "a 16-character serial on a
// two-channel chip". Throws for any other name.
std::vector<UsbDevice> HardwareSet(const std::string& name);

class Tree {
public:
    Tree();
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    void Add(const UsbDevice& device);
    // Unplugs: deletes the device's directory; its bus link is left dangling,
    // as a reader racing the kernel may still see it.
    void Remove(const std::string& name);
    // Unplugs the device of the same name, links and all, and plugs this one
    // into its port.
    void Replace(const UsbDevice& device);
    // Binds ttyUSB<k> to interface `number` of a device already added.
    void BindTty(const std::string& name, int number, int ttyUsb);
    // Rewrites one attribute of a device already added.
    void SetAttribute(const std::string& name, const std::string& attribute, const std::string& text);

    const std::filesystem::path& Root() const { return root_; }
    // The stand-in for /dev.
    std::filesystem::path DevRoot() const { return root_ / "dev"; }
    // The directory of the usb-serial port ttyUSB<k> (its latency_timer).
    std::filesystem::path PortPath(int ttyUsb) const;
    // The directory of a device's attributes.
    std::filesystem::path DevicePath(const std::string& name) const;

private:
    std::filesystem::path root_;
};

}  // namespace fake_sysfs
