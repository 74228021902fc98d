// torvane-list: as a process for its options, output formats, exit statuses
// and the choice of vendor library, and in-process for the paths that only
// the consumer line reaches.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/console/linux/hotplug_feed.h"
#include "app/linux/udev_event_source.h"
#include "app/console/lister.h"
#include "devlist/texts.h"
#include "fixtures.h"
#include "sim_helpers.h"
#include "tests/app/manual_event_source.h"

namespace devlist {
namespace {

struct ListerRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Scratch(const std::string& name) {
    return testing::TempDir() + "devlist_console_" + std::to_string(::getpid()) + "_" + name;
}

// Runs torvane-list with `arguments`, in an environment without the
// simulation's variables but with `environment` ("NAME=value ..."), and
// sysfs replaced by an empty folder; `redirections` come after the standard
// streams' own (">&-" closes standard output).
ListerRun RunLister(const std::string& arguments, const std::string& environment,
                    const std::string& redirections = "") {
    const std::string out = Scratch("out.txt");
    const std::string err = Scratch("err.txt");
    const std::string sysfs = Scratch("sysfs");
    std::filesystem::create_directories(sysfs);
    const std::string command = "env -u TORVANE_SIM -u TORVANE_DEMO_RELAUNCHED TORVANE_SYSFS_ROOT='" + sysfs + "' " +
                                environment + " '" TORVANE_LIST_PATH "' " + arguments + " >'" + out + "' 2>'" + err +
                                "' </dev/null " + redirections;
    const int status = std::system(command.c_str());
    ListerRun run;
    if (status != -1 && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}

// The scenario as a file of its own, named in TORVANE_SIM.
std::string SimulationOf(const std::string& json) {
    static int files = 0;
    const std::string path = Scratch("scenario" + std::to_string(++files) + ".json");
    std::ofstream(path, std::ios::binary) << json;
    return "TORVANE_SIM='" + path + "'";
}

// The listing kept in memory.
struct StringOutput final : torvane_list::Output {
    int Write(std::string_view text) override {
        this->text.append(text);
        return 0;
    }
    std::string text;
};

const std::string kHeader = "PORT\tNAZWA\tWERSJA STEROWNIKA\tS/N";
const std::string kEmptyRow = "\t\t\t";

const std::string kMixedScenario = R"({
  "library_version": "0x00030115",
  "devices": [
    {"serial": "FT4XK2A1", "description": "USB Serial Converter", "com_port": 3, "driver_version": "0x00021204"},
    {"serial": "FT7Q0B19", "description": "COM_B", "com_port": 7, "driver_version": "0x00021204"},
    {"serial": "GONE", "description": "x", "fail": {"FT_OpenEx": 2}},
    {"serial": "A5003MQZ", "description": "FT232R USB UART", "com_port": -1, "driver_version": "0x00020C0A"},
    {"serial": "Q1", "description": "port query fails", "com_port": 4, "driver_version": 0,
     "fail": {"FT_GetComPortNumber": 4}}
  ]})";

// Texts that would break a line, and the bytes of UTF-8 "zażółć", U+0081 and
// U+0001 (the simulator writes a text's UTF-8 bytes), which the lister reads
// as Windows-1250.
const std::string kAwkwardTextScenario = R"({
  "library_version": "0x00020C0A",
  "devices": [
    {"serial": "T\\1", "description": "tab\there\nnew\rline\u001b[2J\u0007\u007f", "com_port": 5,
     "driver_version": "0x00010000"},
    {"serial": "Z", "description": "za\u017c\u00f3\u0142\u0107\u0081\u0001", "com_port": 6, "driver_version": "0x00010000"}
  ]})";

const std::string kAwkwardDecoded = "za\u0139\u013d\u0102\u0142\u0139\u201a\u00c4\u2021\u00c2\ufffd\x01";
// The same in a line: control characters as \xHH.
const std::string kAwkwardDecodedInLine = "za\u0139\u013d\u0102\u0142\u0139\u201a\u00c4\u2021\u00c2\ufffd\\x01";

// The real library's version over no converter: this build's version.
const std::string kRealLibraryLabel = LibraryVersionLabel(
    (TORVANE_VERSION_MAJOR << 16) | (TORVANE_VERSION_MINOR << 8) | TORVANE_VERSION_PATCH);

const std::string kSharedSerialScenario = R"({"devices": [
    {"serial": "DUP", "description": "first", "com_port": 3},
    {"serial": "DUP", "description": "second", "com_port": 4}]})";

// --set-latency's failures, each on a converter of its own: gone when opened
// again, refused, a library without the setting, no permission (a second
// channel of a dual chip).
const std::string kLatencyScenario = R"({"devices": [
    {"serial": "GONE", "com_port": 5, "fail": {"FT_OpenEx.location": 2}},
    {"serial": "REFUSED", "com_port": 6, "fail": {"FT_SetLatencyTimer": 4}},
    {"serial": "OLD", "com_port": 7, "fail": {"FT_SetLatencyTimer": 17}},
    {"serial": "FT2QB", "com_port": 8, "type": 6, "fail": {"FT_SetLatencyTimer": 9}},
    {"serial": "", "com_port": 9, "fail": {"FT_SetLatencyTimer": 9}}]})";

TEST(TorvaneList, OptionsOutputAndExitStatuses) {
    const struct {
        const char* what;
        std::string arguments;
        std::string environment;
        int exitCode;
        std::vector<std::string> out;
        std::string err;  // exact, or with a trailing '*' its beginning
    } cases[] = {
        {"the attached converters by default (none, over an empty sysfs)", "", "", 0,
         {kHeader, kEmptyRow, kRealLibraryLabel}, ""},
        {"--demo: the built-in simulated set", "--demo", "", 0,
         {kHeader, "COM3\tUSB Serial Converter\t2.12.04\tFT4XK2A1", "COM7\tKALDORVENTIX   COM_B\t2.12.04\tFT7Q0B19",
          "----\tFT232R USB UART\t2.0C.0A\tA5003MQZ", "Wersja biblioteki FTD2XX.DLL: 3.01.15"},
         ""},
        {"TORVANE_SIM: its scenario; a dialog gives status 1, rows still printed", "",
         SimulationOf(kMixedScenario), 1,
         {kHeader, "COM3\tUSB Serial Converter\t2.12.04\tFT4XK2A1", "COM7\tKALDORVENTIX   COM_B\t2.12.04\tFT7Q0B19",
          kEmptyRow, "----\tFT232R USB UART\t2.0C.0A\tA5003MQZ", "????\tport query fails\t??.??.??\tQ1",
          "Wersja biblioteki FTD2XX.DLL: 3.01.15"},
         "torvane-list: Open_USB_Device_By_Serial_Number - Device not found...\n"},
        {"a failed count", "--demo",
         SimulationOf(R"({"devices": [{"serial": "S"}],
                          "fail": {"FT_ListDevices.count": 4, "FT_GetLibraryVersion": 1}})"),
         1, {kHeader, kEmptyRow, "??.??.??"}, "torvane-list: GetFTDeviceCount - General IO error...\n"},
        {"a missing scenario file: the simulator names its fault, the count's dialog has no text", "",
         "TORVANE_SIM='" + Scratch("no-such-scenario.json") + "'", 1, {kHeader, kEmptyRow, "??.??.??"},
         "torvane-sim: " + Scratch("no-such-scenario.json") + ": cannot read the scenario file\ntorvane-list: \n"},
        {"tab, newline, carriage return and backslash escaped, other control characters as \\xHH", "",
         SimulationOf(kAwkwardTextScenario), 0,
         {kHeader, "COM5\ttab\\there\\nnew\\rline\\x1b[2J\\x07\\x7f\t1.00.00\tT\\\\1",
          "COM6\t" + kAwkwardDecodedInLine + "\t1.00.00\tZ",
          "Wersja biblioteki FTD2XX.DLL: 2.0C.0A"},
         ""},
        {"--version", "--version", "", 0, {"torvane-list " TORVANE_VERSION}, ""},
        {"an unknown option, echoed escaped", "\"--bo$(printf '\\033')gus\"", "", 2, {},
         "torvane-list: The following argument was not expected: --bo\\x1bgus\nRun with --help*"},
        {"an argument", "--json COM3", "", 2, {}, "torvane-list: *"},
        {"a relaunch that did not reach the simulation does not loop", "--demo", "TORVANE_DEMO_RELAUNCHED=1", 2, {},
         "torvane-list: the simulated library was not loaded after the relaunch\n"},
        {"--set-latency by port", "--demo --set-latency 1 --port com7", "", 0,
         {"COM7: latency timer set to 1 ms, in effect until the converter is plugged in again"}, ""},
        {"--set-latency by serial, a device without a port", "--set-latency 255 --port A5003MQZ", "TORVANE_SIM=", 0,
         {"serial A5003MQZ: latency timer set to 255 ms, in effect until the converter is plugged in again"}, ""},
        {"--set-latency out of range", "--demo --set-latency 256 --port COM7", "", 2, {}, "torvane-list: *"},
        {"--set-latency without --port", "--demo --set-latency 2", "", 2, {}, "torvane-list: *"},
        {"--port without --set-latency", "--demo --port COM7", "", 2, {}, "torvane-list: *"},
        {"--set-latency with --json", "--demo --json --set-latency 2 --port COM7", "", 2, {}, "torvane-list: *"},
        {"--set-latency on an unknown port, echoed escaped", "--demo --set-latency 2 --port \"$(printf 'COM9\\033[2J')\"",
         "", 5, {}, "torvane-list: --port COM9\\x1b[2J: no listed converter has this port, device or serial number\n"},
        {"--set-latency on a serial several converters share",
         "--set-latency 2 --port DUP", SimulationOf(kSharedSerialScenario), 5, {},
         "torvane-list: --port DUP: serial number shared by 2 converters (COM3, COM4); name one by its port or "
         "device\n"},
        {"--set-latency on a converter unplugged since the listing",
         "--set-latency 2 --port COM5", SimulationOf(kLatencyScenario), 6, {},
         "torvane-list: COM5: the converter could not be opened (status 2; unplugged?); nothing was written\n"},
        {"--set-latency refused by the library", "--set-latency 2 --port COM6", SimulationOf(kLatencyScenario), 6,
         {}, "torvane-list: COM6: the latency timer was not set (status 4)\n"},
        {"--set-latency the library cannot do", "--set-latency 2 --port COM7", SimulationOf(kLatencyScenario), 6,
         {}, "torvane-list: COM7: the latency timer cannot be set through this vendor library or driver\n"},
        {"--set-latency without permission: the udev rule for the channel", "--set-latency 3 --port COM8",
         SimulationOf(kLatencyScenario), 6, {},
         "torvane-list: COM8: no permission to change the latency timer (run as root)\n"
         "torvane-list: to set it at every plug-in, put this line in a file under /etc/udev/rules.d/:\n"
         "ACTION==\"add|bind\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", DEVPATH==\"*.1/ttyUSB*\", "
         "ATTRS{serial}==\"FT2Q\", ATTR{latency_timer}=\"3\"\n"},
        {"--set-latency without permission on a converter without a serial: no rule would match it alone",
         "--set-latency 3 --port COM9", SimulationOf(kLatencyScenario), 6, {},
         "torvane-list: COM9: no permission to change the latency timer (run as root)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ListerRun run = RunLister(c.arguments, c.environment);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(SplitLines(run.out), c.out);
        if (!c.err.empty() && c.err.back() == '*')
            EXPECT_EQ(run.err.rfind(c.err.substr(0, c.err.size() - 1), 0), 0u) << run.err;
        else
            EXPECT_EQ(run.err, c.err);
    }
}

TEST(TorvaneList, HelpDescribesTheOutputAndTheExitStatuses) {
    const ListerRun run = RunLister("--help", "");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    for (const char* part : {"Usage: torvane-list [OPTIONS]", "--json", "--demo", "--watch", "--version",
                             "Exit status:", "  3  the output could not be written", "usb_id", "channel",
                             "--set-latency MS", "--port PORT", "latency_ms", "usb_speed_mbps", "by_id", "by_path",
                             "in_use", "held_by", "  5  --set-latency", "  6  --set-latency",
                             "TORVANE_SIM", "TORVANE_SYSFS_ROOT", "TORVANE_DEMO_RELAUNCHED"})
        EXPECT_NE(run.out.find(part), std::string::npos) << part;
}

// A device object of a library without the device information list: the
// vendor's fields null; com and device from the port cell.
nlohmann::json DeviceWithoutInformation(const nlohmann::json& port, const std::string& description,
                                        const std::string& driverVersion, const std::string& serial,
                                        const nlohmann::json& com, const nlohmann::json& device) {
    return {{"port", port},       {"description", description}, {"driver_version", driverVersion},
            {"serial", serial},   {"com", com},                 {"device", device},
            {"usb_id", nullptr},  {"chip", nullptr},            {"location", nullptr},
            {"channel", nullptr}, {"latency_ms", 16},           {"usb_speed_mbps", nullptr},
            {"by_id", nullptr},   {"by_path", nullptr},         {"in_use", nullptr},
            {"held_by", nullptr}};
}

// With the simulated library, a device of the built-in set: its information list entry found by serial,
// its speed and "opened" flag from it (none is open once the refresh is done).
nlohmann::json DemoDevice(const nlohmann::json& port, const std::string& description, const std::string& driverVersion,
                          const std::string& serial, const nlohmann::json& com, const nlohmann::json& device,
                          const std::string& usbId, const std::string& chip, int location, int speed) {
    nlohmann::json object = DeviceWithoutInformation(port, description, driverVersion, serial, com, device);
    object["usb_id"] = usbId;
    object["chip"] = chip;
    object["location"] = location;
    object["usb_speed_mbps"] = speed;
    object["in_use"] = false;
    return object;
}

// The library lacking the device information functions, as older vendor libraries do.
const std::string kWithoutInformationList = "LD_LIBRARY_PATH='" TORVANE_SIM_SEVEN_DIR "' ";

TEST(TorvaneList, JsonParsesBackWithEveryListedDevice) {
    const struct {
        const char* what;
        std::string environment;
        int exitCode;
        nlohmann::json expected;
    } cases[] = {
        {"texts to escape, a library without the information list",
         kWithoutInformationList + SimulationOf(kAwkwardTextScenario), 0,
         {{"format", 1},
          {"library_version", "2.0C.0A"},
          {"devices",
           {DeviceWithoutInformation("COM5", "tab\there\nnew\rline\x1b[2J\x07\x7f", "1.00.00", "T\\1", 5,
                                     "/dev/ttyS4"),
            DeviceWithoutInformation("COM6", kAwkwardDecoded, "1.00.00", "Z", 6, "/dev/ttyS5")}}}},
        {"failing rows, a library without the information list", kWithoutInformationList + SimulationOf(kMixedScenario),
         1,
         {{"format", 1},
          {"library_version", "3.01.15"},
          {"devices",
           {DeviceWithoutInformation("COM3", "USB Serial Converter", "2.12.04", "FT4XK2A1", 3, "/dev/ttyS2"),
            DeviceWithoutInformation("COM7", "KALDORVENTIX   COM_B", "2.12.04", "FT7Q0B19", 7, "/dev/ttyS6"),
            DeviceWithoutInformation(nullptr, "FT232R USB UART", "2.0C.0A", "A5003MQZ", nullptr, nullptr),
            DeviceWithoutInformation("????", "port query fails", "??.??.??", "Q1", nullptr, nullptr)}}}},
        {"the built-in set", "TORVANE_SIM=", 0,
         {{"format", 1},
          {"library_version", "3.01.15"},
          {"devices",
           {DemoDevice("COM3", "USB Serial Converter", "2.12.04", "FT4XK2A1", 3, "/dev/ttyS2", "0403:6015", "FT-X",
                       0x1001, 12),
            DemoDevice("COM7", "KALDORVENTIX   COM_B", "2.12.04", "FT7Q0B19", 7, "/dev/ttyS6", "0403:6014", "FT232H",
                       0x1002, 480),
            DemoDevice(nullptr, "FT232R USB UART", "2.0C.0A", "A5003MQZ", nullptr, nullptr, "0403:6001", "FT232R",
                       0x1003, 12)}}}},
        {"no device", SimulationOf(R"({"devices": [], "fail": {"FT_GetLibraryVersion": 1}})"), 0,
         {{"format", 1}, {"library_version", "??.??.??"}, {"devices", nlohmann::json::array()}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ListerRun run = RunLister("--json", c.environment);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(nlohmann::json::parse(run.out, nullptr, false), c.expected) << run.out;
    }
}

// In-process on the consumer line (Windows 95 and ME): the registry's rows, or
// an error escaping the survey, printed with a full stop before the rows.
TEST(TorvaneList, TheConsumerLinePrintsTheRegistryRowsOrAnEscapingError) {
    const struct {
        std::uint32_t minorVersion;
        bool badMapValue;
        int exitCode;
        std::vector<std::string> out;
        std::string err;
    } cases[] = {
        {0, false, torvane_list::kExitClean, {kHeader, "COM5\tUSB Serial Port (COM5)\t\t", kEmptyRow, ""}, ""},
        {90, true, torvane_list::kExitDialogShown, {kHeader, kEmptyRow, ""},
         "torvane-list: Invalid data type for 'COM9'.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minorVersion);
        ClearUsbDevices();
        LibraryVersionText.clear();
        MemoryRegistry registry;
        AddFtdiPort(registry, "A", "COM5", "USB Serial Port (COM5)");
        ListSerialPort(registry, 5, "COM5");
        if (c.badMapValue) registry.SetValue(kSerialCommPath, "COM9", kRegDword, std::string("\x09\0\0\0", 4));
        const ScopedRegistry installedRegistry(registry);
        FakeVersionQuery windows9x(true, kPlatformWin32Windows, 4, c.minorVersion);
        const ScopedVersionQuery installedQuery(windows9x);
        StringOutput out;
        std::ostringstream err;
        EXPECT_EQ(torvane_list::ListDevices(torvane_list::Format::Tsv, out, err), c.exitCode);
        EXPECT_EQ(SplitLines(out.text), c.out);
        EXPECT_EQ(err.str(), c.err);
    }
    ClearUsbDevices();
}

// The lister as a process whose standard output is `stdoutFd`; its exit
// status (128 + the signal when one ended it) and standard error.
ListerRun RunListerInto(int stdoutFd, const std::string& arguments) {
    const std::string err = Scratch("spawn-err.txt");
    const std::string command = "exec env -u TORVANE_SIM -u TORVANE_DEMO_RELAUNCHED '" TORVANE_LIST_PATH "' " +
                                arguments + " 2>'" + err + "' </dev/null";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t child = -1;
    ListerRun run;
    if (posix_spawn(&child, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ) == 0) {
        int status = 0;
        waitpid(child, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.err = ReadFile(err);
    return run;
}

// One line from `fd`, waiting at most 5 s for it; empty on time-out or end.
std::string ReadLine(int fd) {
    std::string line;
    char c = 0;
    pollfd ready{fd, POLLIN, 0};
    while (poll(&ready, 1, 5000) == 1 && read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

std::size_t DevicesIn(const std::string& line) {
    const nlohmann::json document = nlohmann::json::parse(line, nullptr, false);
    return document.is_discarded() ? 0 : document["devices"].size();
}

// Without netlink (some containers) --watch ends with 4 before it writes.
bool UdevMonitorHere() { return hotplug::MakeUdevEventSource() != nullptr; }

// Standard error without the notice of a missing udev daemon, which --watch
// gives on a machine without one.
std::string WithoutDaemonNotice(const std::string& err) {
    const std::string notice = "torvane-list: --watch: no udev daemon is running";
    std::string kept;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(notice, 0) != 0) kept += line + '\n';
    return kept;
}

// A failed write is an error with its reason; a reader that went away ends
// the program quietly, the list undelivered (one-shot) or the watch done.
TEST(TorvaneList, OutputThatCannotBeWritten) {
    const bool watchable = UdevMonitorHere();
    const struct {
        const char* what;
        bool closedPipe;  // else /dev/full
        std::string arguments;
        int exitCode;
        std::string err;
    } cases[] = {
        {"a watch to a full device", false, "--demo --watch", torvane_list::kExitOutputError,
         "torvane-list: cannot write the output: No space left on device\n"},
        {"a watch in JSON to a full device", false, "--demo --watch --json", torvane_list::kExitOutputError,
         "torvane-list: cannot write the output: No space left on device\n"},
        {"a watch to a closed pipe: its quiet end", true, "--demo --watch", torvane_list::kExitClean, ""},
        {"a watch in JSON to a closed pipe", true, "--demo --watch --json", torvane_list::kExitClean, ""},
        {"the list to a full device", false, "--demo", torvane_list::kExitOutputError,
         "torvane-list: cannot write the output: No space left on device\n"},
        {"JSON to a full device", false, "--demo --json", torvane_list::kExitOutputError,
         "torvane-list: cannot write the output: No space left on device\n"},
        {"--help to a full device", false, "--help", torvane_list::kExitOutputError,
         "torvane-list: cannot write the output: No space left on device\n"},
        {"the list to a closed pipe", true, "--demo", torvane_list::kExitOutputError, ""},
        {"--version to a closed pipe", true, "--version", torvane_list::kExitOutputError, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!watchable && c.arguments.find("--watch") != std::string::npos) continue;
        int fd = -1;
        if (c.closedPipe) {
            int ends[2];
            ASSERT_EQ(pipe(ends), 0);
            close(ends[0]);
            fd = ends[1];
        } else {
            fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
            ASSERT_GE(fd, 0);
        }
        const ListerRun run = RunListerInto(fd, c.arguments);
        close(fd);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(WithoutDaemonNotice(run.err), c.err);
    }
}

// A standard descriptor closed at start: a closed standard output is an
// output error (never the udev socket or an eventfd taking its number and
// the listing), a closed standard input or error changes nothing else.
TEST(TorvaneList, StandardDescriptorsClosedAtStart) {
    const bool watchable = UdevMonitorHere();
    const std::string badDescriptor = "torvane-list: cannot write the output: Bad file descriptor\n";
    const struct {
        std::string arguments;
        std::string redirections;
        int exitCode;
        bool listed;
        std::string err;
    } cases[] = {
        {"--demo", "<&-", 0, true, ""},
        {"--demo", "2>&-", 0, true, ""},
        {"--demo", ">&-", torvane_list::kExitOutputError, false, badDescriptor},
        {"--demo --json", "<&- >&-", torvane_list::kExitOutputError, false, badDescriptor},
        {"--help", ">&-", torvane_list::kExitOutputError, false, badDescriptor},
        {"--demo", "<&- >&- 2>&-", torvane_list::kExitOutputError, false, ""},
        {"--demo --watch", ">&-", torvane_list::kExitOutputError, false, badDescriptor},
        {"--demo --watch --json", "<&- >&-", torvane_list::kExitOutputError, false, badDescriptor},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments + " " + c.redirections);
        if (!watchable && c.arguments.find("--watch") != std::string::npos) continue;
        const ListerRun run = RunLister(c.arguments, "", c.redirections);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(!run.out.empty() && SplitLines(run.out).front() == kHeader, c.listed) << run.out;
        EXPECT_EQ(WithoutDaemonNotice(run.err), c.err);
    }
}

// The lister started as a process writing into `stdoutFd`, its standard
// error discarded; its pid, or -1.
pid_t StartListerInto(int stdoutFd, const std::string& arguments, const std::string& environment) {
    const std::string command = "exec env -u TORVANE_SIM -u TORVANE_DEMO_RELAUNCHED " + environment + " '" +
                                TORVANE_LIST_PATH "' " + arguments + " 2>/dev/null </dev/null";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t child = -1;
    if (posix_spawn(&child, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ) != 0) child = -1;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

// The exit status of `child` (128 + the signal when one ended it), waiting at
// most 10 s; -1, the child killed, when it had not ended by then.
int StatusWithin10s(pid_t child) {
    int status = 0;
    for (int waited = 0; waited < 1000; ++waited) {
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -1;
}

// Waits (at most 10 s) until the thread `tid` of process `pid` sleeps with
// `signal` blocked (the watch waiting for a change) or not (stuck in a write).
bool SleepsWithSignal(pid_t pid, pid_t tid, int signal, bool blocked) {
    const std::string path = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/status";
    for (int waited = 0; waited < 1000; ++waited) {
        std::ifstream status(path);
        bool sleeping = false;
        unsigned long long mask = 0;
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("State:", 0) == 0) sleeping = line.find("S (sleeping)") != std::string::npos;
            if (line.rfind("SigBlk:", 0) == 0) mask = std::stoull(line.substr(7), nullptr, 16);
        }
        if (sleeping && ((mask >> (signal - 1)) & 1) == (blocked ? 1u : 0u)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// 255 converters with long names: one listing is many times a 4 KiB pipe.
std::string ManyDevicesScenario() {
    std::string devices;
    for (int i = 0; i < 255; ++i) {
        if (i > 0) devices += ",";
        devices += R"({"serial": "S)" + std::to_string(i) + R"(", "description": "converter with a long name number )" +
                   std::to_string(i) + R"(", "com_port": )" + std::to_string(40 + i) + "}";
    }
    return R"({"devices": [)" + devices + "]}";
}

// SIGTERM and SIGINT end a watch: while it waits for a change, cleanly (0);
// while a write is stuck on a reader that stopped reading, by the signal.
TEST(TorvaneList, SignalsEndAWatchAlsoWhenItsReaderStopsReading) {
    if (!UdevMonitorHere()) GTEST_SKIP() << "no udev monitor here (no netlink)";
    const std::string scenario = SimulationOf(ManyDevicesScenario());
    const struct {
        int signal;
        bool readerStalled;
        int exitCode;
    } cases[] = {
        {SIGTERM, false, torvane_list::kExitClean},
        {SIGINT, false, torvane_list::kExitClean},
        {SIGTERM, true, 128 + SIGTERM},
        {SIGINT, true, 128 + SIGINT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.readerStalled ? ", reader stalled" : ", reader reading"));
        int ends[2];
        ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
        ASSERT_EQ(fcntl(ends[1], F_SETPIPE_SZ, 4096), 4096);
        const pid_t child = StartListerInto(ends[1], "--watch --json", scenario);
        close(ends[1]);
        ASSERT_GT(child, 0);
        if (!c.readerStalled) {
            EXPECT_EQ(DevicesIn(ReadLine(ends[0])), 255u);
        }
        EXPECT_TRUE(SleepsWithSignal(child, child, c.signal, !c.readerStalled));
        kill(child, c.signal);
        EXPECT_EQ(StatusWithin10s(child), c.exitCode);
        close(ends[0]);
    }
}

const std::string kOneDevice = R"({"devices": [{"serial": "S1", "com_port": 40}]})";
const std::string kTwoDevices = R"({"devices": [{"serial": "S1", "com_port": 40}, {"serial": "S2", "com_port": 41}]})";

// --watch: the hot-plug source reports a device added, then removed; each
// change prints one more document; then the watch ends cleanly, by its
// reader going away or by SIGTERM.
TEST(TorvaneList, WatchPrintsOneDocumentPerChangeAndEndsCleanly) {
    std::signal(SIGPIPE, SIG_IGN);  // a write to the closed pipe must fail, not end the test
    for (const bool bySignal : {false, true}) {
        SCOPED_TRACE(bySignal ? "SIGTERM" : "reader gone");
        UseScenario(kOneDevice);
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        std::FILE* stream = fdopen(ends[1], "w");
        ASSERT_NE(stream, nullptr);
        auto source = std::make_unique<hotplug::ManualEventSource>();
        hotplug::ManualEventSource& events = *source;
        std::vector<std::size_t> devices;
        int status = -1;
        {
            torvane_list::HotplugFeed feed(std::move(source), ends[1], {hotplug::Milliseconds(0), hotplug::Milliseconds(0)});
            torvane_list::StreamOutput out(stream);
            std::ostringstream err;
            const pid_t watching = gettid();
            std::thread udev([&] {
                // The signal is for the watch: never delivered to this thread.
                sigset_t term;
                sigemptyset(&term);
                sigaddset(&term, SIGTERM);
                pthread_sigmask(SIG_BLOCK, &term, nullptr);
                devices.push_back(DevicesIn(ReadLine(ends[0])));
                UseScenario(kTwoDevices);
                events.Inject(3);  // a converter comes: its USB device, interface and tty node
                devices.push_back(DevicesIn(ReadLine(ends[0])));
                UseScenario(kOneDevice);
                events.Inject(3);
                devices.push_back(DevicesIn(ReadLine(ends[0])));
                if (!bySignal) {
                    close(ends[0]);
                    return;
                }
                // Sent once the watch waits (SIGTERM blocked only there): anywhere
                // else it would end the process, as it ends the program.
                EXPECT_TRUE(SleepsWithSignal(getpid(), watching, SIGTERM, true));
                kill(getpid(), SIGTERM);
            });
            status = torvane_list::WatchDevices(torvane_list::Format::Json, feed, out, err);
            udev.join();
            EXPECT_EQ(err.str(), "");
        }
        EXPECT_EQ(status, torvane_list::kExitClean);
        EXPECT_EQ(devices, (std::vector<std::size_t>{1, 2, 1}));
        std::fclose(stream);
        if (bySignal) close(ends[0]);
    }
    std::signal(SIGPIPE, SIG_DFL);
}

}  // namespace
}  // namespace devlist
