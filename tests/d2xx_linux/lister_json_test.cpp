// torvane-list --json over fake sysfs trees modelled on real hardware, through
// this libftd2xx.so (the one the lister loads by default): every field of
// every row, the vendor's device information matched to the right row also
// where serials do not tell the devices apart; the node's links and holders
// from the tree's /dev and this machine's /proc; --set-latency writing the
// port's latency_timer, or giving the udev rule when it may not.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <string>
#include <vector>

#include "tests/d2xx_linux/fake_sysfs.h"
#include "tests/d2xx_linux/shown_versions.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

struct ListerRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// torvane-list with `arguments`, through `prefix` (a command that runs it as another user, say).
ListerRun Lister(const std::string& arguments, const std::string& prefix = "") {
    const fs::path out = fs::temp_directory_path() / ("torvane-lister-out-" + std::to_string(getpid()));
    const fs::path err = fs::temp_directory_path() / ("torvane-lister-err-" + std::to_string(getpid()));
    const std::string command = prefix + " env -u TORVANE_SIM '" TORVANE_LIST_PROGRAM "' " + arguments + " >'" +
                                out.string() + "' 2>'" + err.string() + "' </dev/null";
    const int status = std::system(command.c_str());
    ListerRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
    fs::remove(out);
    fs::remove(err);
    return run;
}

json ListerJson() { return json::parse(Lister("--json").out, nullptr, false); }

// A port nobody holds: false when every process could be looked at (root),
// else unknown, since other users' descriptors are hidden.
json FreePortInUse() { return geteuid() == 0 ? json(false) : json(nullptr); }

using shown_versions::KernelVersionShown;

// One expected row; the driver version is the running kernel's. Links are
// named as udev names them, empty for none.
struct Row {
    int com;
    std::string description;
    std::string serial;
    std::string usbId;
    std::string chip;
    std::uint32_t location;
    json channel;
    json speed;
    std::string byId;
    std::string byPath;
    json latency = 16;
};

json Link(const fs::path& devRoot, const char* folder, const std::string& name) {
    return name.empty() ? json(nullptr) : json((devRoot / "serial" / folder / name).string());
}

json Expected(const Row& row, const fake_sysfs::Tree& tree) {
    return {{"port", "COM" + std::to_string(row.com)},
            {"description", row.description},
            {"driver_version", KernelVersionShown()},
            {"serial", row.serial},
            {"com", row.com},
            {"device", "/dev/ttyUSB" + std::to_string(row.com - 33)},
            {"usb_id", row.usbId},
            {"chip", row.chip},
            {"location", row.location},
            {"channel", row.channel},
            {"latency_ms", row.latency},
            {"usb_speed_mbps", row.speed},
            {"by_id", Link(tree.DevRoot(), "by-id", row.byId)},
            {"by_path", Link(tree.DevRoot(), "by-path", row.byPath)},
            {"in_use", FreePortInUse()},
            {"held_by", json::array()}};
}

struct Tree {
    const char* name;
    std::vector<fake_sysfs::UsbDevice> devices;
    std::vector<Row> rows;
    int latencyOfTty3 = 16;  // written into ttyUSB3's latency_timer
};

std::vector<Tree> Trees() {
    using fake_sysfs::Ft2232h;
    using fake_sysfs::Ft232r;
    using fake_sysfs::Ft4232h;
    fake_sysfs::UsbDevice dual = Ft2232h("1-2", "", 0, 1);
    dual.serial.reset();
    fake_sysfs::UsbDevice copy = Ft232r("1-2", "A50285BI", 1);
    copy.product = "USB Serial";
    fake_sysfs::UsbDevice bare = Ft232r("1-1", "A5003MQZ", 3);
    bare.speed.reset();
    bare.interfaces[0].links = false;
    const auto quad = [](char n) { return std::string("usb-FTDI_Quad_RS232-HS_FT4Q-if0") + n + "-port0"; };
    const auto quadPath = [](char n) { return std::string("pci-0000:00:14.0-usb-0:1.3:1.") + n + "-port0"; };
    return {
        {"an FT232R", {Ft232r("1-1", "A5003MQZ", 3)},
         {{36, "FT232R USB UART", "A5003MQZ", "0403:6001", "FT232R", 0x111, nullptr, 12,
           "usb-FTDI_FT232R_USB_UART_A5003MQZ-if00-port0", "pci-0000:00:14.0-usb-0:1:1.0-port0"}}},
        {"an FT232R without udev links or speed, its timer at 2 ms", {bare},
         {{36, "FT232R USB UART", "A5003MQZ", "0403:6001", "FT232R", 0x111, nullptr, nullptr, "", "", 2}}, 2},
        {"an FT2232H without a serial (480 Mbit/s)",
         {dual},
         {{33, "Dual RS232-HS", "A", "0403:6010", "FT2232H", 0x121, "A", 480, "usb-FTDI_Dual_RS232-HS_-if00-port0",
           "pci-0000:00:14.0-usb-0:2:1.0-port0"},
          {34, "Dual RS232-HS", "B", "0403:6010", "FT2232H", 0x122, "B", 480, "usb-FTDI_Dual_RS232-HS_-if01-port0",
           "pci-0000:00:14.0-usb-0:2:1.1-port0"}}},
        {"an FT4232H behind a hub",
         {Ft4232h("1-1.3", std::string("FT4Q"), 4)},
         {{37, "Quad RS232-HS", "FT4QA", "0403:6011", "FT4232H", 0x1131, "A", 480, quad('0'), quadPath('0')},
          {38, "Quad RS232-HS", "FT4QB", "0403:6011", "FT4232H", 0x1132, "B", 480, quad('1'), quadPath('1')},
          {39, "Quad RS232-HS", "FT4QC", "0403:6011", "FT4232H", 0x1133, "C", 480, quad('2'), quadPath('2')},
          {40, "Quad RS232-HS", "FT4QD", "0403:6011", "FT4232H", 0x1134, "D", 480, quad('3'), quadPath('3')}}},
        {"two FT232R clones sharing a serial",
         {Ft232r("1-1", "A50285BI", 0), copy},
         {{33, "FT232R USB UART", "A50285BI", "0403:6001", "FT232R", 0x111, nullptr, 12,
           "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "pci-0000:00:14.0-usb-0:1:1.0-port0"},
          {34, "USB Serial", "A50285BI", "0403:6001", "FT232R", 0x121, nullptr, 12,
           "usb-FTDI_USB_Serial_A50285BI-if00-port0", "pci-0000:00:14.0-usb-0:2:1.0-port0"}}},
    };
}

TEST(ListerJson, EveryFieldOfEveryRowOverRealHardwareTrees) {
    for (const Tree& t : Trees()) {
        SCOPED_TRACE(t.name);
        fake_sysfs::Tree tree;
        for (const fake_sysfs::UsbDevice& device : t.devices) tree.Add(device);
        if (t.latencyOfTty3 != 16) std::ofstream(tree.PortPath(3) / "latency_timer") << t.latencyOfTty3 << '\n';
        json devices = json::array();
        for (const Row& row : t.rows) devices.push_back(Expected(row, tree));
        const json expected = {
            {"format", 1},
            {"library_version", shown_versions::LibraryVersionShown()},
            {"devices", devices}};
        EXPECT_EQ(ListerJson(), expected);
    }
}

// A process of this test that holds a file open as its descriptor 3, killed
// and reaped when it goes.
class Holder {
public:
    explicit Holder(const fs::path& node) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 3, node.c_str(), O_RDONLY, 0);
        const char* argv[] = {"sleep", "60", nullptr};
        if (posix_spawnp(&pid_, "sleep", &actions, nullptr, const_cast<char* const*>(argv), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Holder() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// The child holds the node as soon as it runs: the lister is asked until it
// sees it, for at most ten seconds.
TEST(ListerJson, HeldByNamesTheProcessThatHoldsTheNode) {
    fake_sysfs::Tree tree;
    tree.Add(fake_sysfs::Ft232r("1-1", "A5003MQZ", 3));
    const Holder holder(tree.DevRoot() / "ttyUSB3");
    ASSERT_GT(holder.Pid(), 0);
    const json expected = json::array({{{"pid", holder.Pid()}, {"command", "sleep"}}});
    json device;
    for (int attempt = 0; attempt < 100 && device["held_by"] != expected; ++attempt) {
        if (attempt > 0) usleep(100'000);
        device = ListerJson()["devices"][0];
    }
    EXPECT_EQ(device["held_by"], expected);
    EXPECT_EQ(device["in_use"], true);
}

// --set-latency over the tree: by port, by serial or by link the timer is
// written and the next listing shows it; as a user who may not write it,
// nothing is written and the message gives the udev rule for that channel.
TEST(ListerSetLatency, WritesThePortsTimerOrGivesTheUdevRule) {
    fake_sysfs::Tree tree;
    tree.Add(fake_sysfs::Ft232r("1-1", "A5003MQZ", 3));
    tree.Add(fake_sysfs::Ft4232h("1-1.3", std::string("FT4Q"), 4));
    const std::string byId = (tree.DevRoot() / "serial/by-id/usb-FTDI_FT232R_USB_UART_A5003MQZ-if00-port0").string();
    const struct {
        std::string port;
        int milliseconds;
        int tty;
        std::string shownAs;
    } cases[] = {
        {"COM36", 1, 3, "COM36"},
        {"com38", 4, 5, "COM38"},
        {"FT4QD", 7, 7, "COM40"},
        {byId, 255, 3, "COM36"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        const std::string ms = std::to_string(c.milliseconds);
        const ListerRun run = Lister("--set-latency " + ms + " --port '" + c.port + "'");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out,
                  c.shownAs + ": latency timer set to " + ms + " ms, in effect until the converter is plugged in again\n");
        EXPECT_EQ(ReadText(tree.PortPath(c.tty) / "latency_timer"), ms + "\n");
        json shown;
        const json listing = ListerJson();
        for (const json& device : listing["devices"])
            if (device["port"] == c.shownAs) shown = device["latency_ms"];
        EXPECT_EQ(shown, c.milliseconds);
    }

    if (geteuid() != 0) GTEST_SKIP() << "running as another user needs root";
    // The tree readable by all, as sysfs is; its attributes writable by their owner (root) only.
    fs::permissions(tree.Root(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    if (Lister("--version", asNobody).status != 0) GTEST_SKIP() << "the lister cannot be run as nobody here";
    const struct {
        const char* port;
        int tty;
        std::string rule;
    } refused[] = {
        {"COM36", 3, "DEVPATH==\"*.0/ttyUSB*\", ATTRS{serial}==\"A5003MQZ\", ATTR{latency_timer}=\"2\"\n"},
        {"FT4QB", 5, "DEVPATH==\"*.1/ttyUSB*\", ATTRS{serial}==\"FT4Q\", ATTR{latency_timer}=\"2\"\n"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.port);
        const std::string before = ReadText(tree.PortPath(c.tty) / "latency_timer");
        const ListerRun run = Lister(std::string("--set-latency 2 --port ") + c.port, asNobody);
        EXPECT_EQ(run.status, 6);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(": no permission to change the latency timer"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("\nACTION==\"add|bind\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", " +
                               c.rule),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(ReadText(tree.PortPath(c.tty) / "latency_timer"), before);
    }
}

}  // namespace
