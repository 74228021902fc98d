// A port's node as Linux shows it: the USB speed in sysfs, the udev links in
// /dev/serial, and the processes whose descriptors in /proc name the node.
// TORVANE_SYSFS_ROOT and TORVANE_DEV_ROOT stand in for /sys and /dev (tests),
// ignored in a set-user-ID or set-group-ID process, as the vendor library
// ignores the first.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "app/console/port_details.h"
#include "app/demo_launch.h"
#include "torvane/unique_fd.h"

namespace torvane_list {
namespace {

namespace fs = std::filesystem;

std::string Root(const char* variable, const char* otherwise) {
    const char* root = secure_getenv(variable);
    return root != nullptr && *root != '\0' ? root : otherwise;
}

// A small file's first line; nullopt when it cannot be read. Non-blocking, so
// that a FIFO planted in a test root cannot hold the listing.
std::optional<std::string> FirstLine(const std::string& path) {
    const torvane::UniqueFd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.Valid()) return std::nullopt;
    char buffer[256];
    const ssize_t n = read(file.Get(), buffer, sizeof buffer);
    if (n < 0) return std::nullopt;
    const std::string_view text(buffer, static_cast<std::size_t>(n));
    return std::string(text.substr(0, text.find('\n')));
}

// What two names of one node share: the device number of a character device
// (any node of the same device), else the file itself.
struct NodeId {
    bool character = false;
    dev_t device = 0;
    ino_t inode = 0;

    bool operator==(const NodeId&) const = default;
};

std::optional<NodeId> IdOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    if (S_ISCHR(info.st_mode)) return NodeId{true, info.st_rdev, 0};
    return NodeId{false, info.st_dev, info.st_ino};
}

// The first link in `dir`, by name, that leads to the node.
std::optional<std::string> LinkTo(const std::string& dir, const NodeId& node) {
    std::error_code error;
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        if (IdOf(dir + "/" + name) == node) return dir + "/" + name;
    return std::nullopt;
}

// The USB device's "speed", two levels above the usb-serial port (port ->
// interface -> device).
std::optional<double> UsbSpeed(const std::string& nodeName) {
    const std::string port = Root("TORVANE_SYSFS_ROOT", "/sys") + "/bus/usb-serial/devices/" + nodeName;
    const std::optional<std::string> text = FirstLine(port + "/../../speed");
    if (!text) return std::nullopt;
    char* end = nullptr;
    const double mbps = std::strtod(text->c_str(), &end);
    if (end == text->c_str() || *end != '\0' || !(mbps > 0)) return std::nullopt;
    return mbps;
}

bool IsNumber(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct HolderScan {
    std::vector<Holder> holders;
    bool complete = true;  // every process's descriptors could be looked at
};

// Whether process `pid` has the node open; `complete` cleared when its
// descriptors cannot be read (another user's process, without privilege).
bool Holds(const std::string& pid, const NodeId& node, bool& complete) {
    const std::string dir = "/proc/" + pid + "/fd";
    std::error_code error;
    fs::directory_iterator fds(dir, error);
    if (error) {
        // A process that ended meanwhile held nothing.
        if (error != std::errc::no_such_file_or_directory) complete = false;
        return false;
    }
    for (const fs::directory_entry& fd : fds)
        if (IdOf(fd.path().string()) == node) return true;
    return false;
}

HolderScan HoldersOf(const NodeId& node) {
    HolderScan scan;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
        const std::string pid = entry.path().filename().string();
        if (!IsNumber(pid) || !Holds(pid, node, scan.complete)) continue;
        scan.holders.push_back({std::stol(pid), FirstLine("/proc/" + pid + "/comm").value_or("")});
    }
    // /proc mounted with hidepid hides other users' processes altogether,
    // init among them: then nothing can be said of a port no one was seen
    // holding.
    if (error || !fs::exists("/proc/1", error)) scan.complete = false;
    std::sort(scan.holders.begin(), scan.holders.end(),
              [](const Holder& a, const Holder& b) { return a.pid < b.pid; });
    return scan;
}

}  // namespace

std::optional<NodeFacts> FactsOfNode(const std::string& device) {
    static const bool simulated = app::SimulatedLibraryLoaded();
    if (simulated) return std::nullopt;
    const std::string nodeName = fs::path(device).filename().string();
    NodeFacts facts;
    facts.usbSpeedMbps = UsbSpeed(nodeName);
    const std::string dev = Root("TORVANE_DEV_ROOT", "/dev");
    const std::optional<NodeId> node = IdOf(dev + "/" + nodeName);
    if (!node) return facts;
    facts.byId = LinkTo(dev + "/serial/by-id", *node);
    facts.byPath = LinkTo(dev + "/serial/by-path", *node);
    HolderScan scan = HoldersOf(*node);
    if (!scan.holders.empty() || scan.complete) facts.inUse = !scan.holders.empty();
    facts.heldBy = std::move(scan.holders);
    return facts;
}

std::string NodeFactsEnvironmentHelp() {
    return R"(
  TORVANE_DEV_ROOT    look for the ports' nodes and their serial/by-id and
                      serial/by-path links in this directory instead of /dev)";
}

std::optional<std::string> PermanentLatencyRule(const std::string& usbSerial, int interfaceNumber,
                                                int milliseconds) {
    // Without a serial the match would take every FTDI chip's channel.
    if (usbSerial.empty()) return std::nullopt;
    // The port carries latency_timer once ftdi_sio is bound: the "add" of a
    // plug-in may be handled before that, the "bind" comes after it, and the
    // coldplug at boot (udevadm trigger) replays only "add". ATTRS{} keys
    // must all match one ancestor: the serial is the USB device's, so the
    // interface number is matched in the port's own path
    // (".../<bus>-<ports>:<config>.<interface>/ttyUSBn"). udev evaluates a
    // line's matches before its imports: properties the line would import
    // itself (usb_id) cannot be matched there.
    return "ACTION==\"add|bind\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", DEVPATH==\"*." +
           std::to_string(interfaceNumber) + "/ttyUSB*\", ATTRS{serial}==\"" + usbSerial +
           "\", ATTR{latency_timer}=\"" + std::to_string(milliseconds) + "\"";
}

}  // namespace torvane_list
