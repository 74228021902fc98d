// torvane-list: as a process against a scenario file, and in-process for the
// error path that only the consumer line can reach.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/console/lister.h"
#include "fixtures.h"

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

// Runs torvane-list with TORVANE_SIM naming `scenarioPath`.
ListerRun RunLister(const std::string& scenarioPath) {
    const std::string out = Scratch("out.txt");
    const std::string err = Scratch("err.txt");
    const std::string command = "TORVANE_SIM='" + scenarioPath + "' '" TORVANE_LIST_PATH "' >'" + out +
                                "' 2>'" + err + "' </dev/null";
    const int status = std::system(command.c_str());
    ListerRun run;
    if (status != -1 && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}

std::string WriteScenario(const std::string& json) {
    const std::string path = Scratch("scenario.json");
    std::ofstream(path, std::ios::binary) << json;
    return path;
}

TEST(TorvaneList, PrintsTheGridThenTheLabel) {
    const std::string scenario = WriteScenario(R"({
      "library_version": "0x00030115",
      "devices": [
        {"serial": "FT4XK2A1", "description": "USB Serial Converter", "com_port": 3, "driver_version": "0x00021204"},
        {"serial": "FT7Q0B19", "description": "COM_B", "com_port": 7, "driver_version": "0x00021204"},
        {"serial": "GONE", "description": "x", "fail": {"FT_OpenEx": 2}},
        {"serial": "A5003MQZ", "description": "FT232R USB UART", "com_port": -1, "driver_version": "0x00020C0A"},
        {"serial": "Q1", "description": "port query fails", "com_port": 4, "driver_version": 0,
         "fail": {"FT_GetComPortNumber": 4}}
      ]})");
    const ListerRun run = RunLister(scenario);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(SplitLines(run.out), (std::vector<std::string>{
                                       "PORT\tNAZWA\tWERSJA STEROWNIKA\tS/N",
                                       "COM3\tUSB Serial Converter     \t2.12.04\tFT4XK2A1",
                                       "COM7\tKALDORVENTIX   COM_B     \t2.12.04\tFT7Q0B19",
                                       "\t\t\t",
                                       "----\tFT232R USB UART          \t2.0C.0A\tA5003MQZ",
                                       "????\tport query fails         \t??.??.??\tQ1",
                                       "Wersja biblioteki FTD2XX.DLL: 3.01.15",
                                   }));
    EXPECT_EQ(run.err, "Open_USB_Device_By_Serial_Number - Device not found...\n");
}

TEST(TorvaneList, NoDeviceAndAFailedCount) {
    const struct {
        const char* scenario;
        std::vector<std::string> out;
        std::string err;
    } cases[] = {
        {R"({"library_version": "0x00020C0A", "devices": []})",
         {"PORT\tNAZWA\tWERSJA STEROWNIKA\tS/N", "\t\t\t", "Wersja biblioteki FTD2XX.DLL: 2.0C.0A"},
         ""},
        {R"({"devices": [{"serial": "S"}], "fail": {"FT_ListDevices.count": 4, "FT_GetLibraryVersion": 1}})",
         {"PORT\tNAZWA\tWERSJA STEROWNIKA\tS/N", "\t\t\t", "??.??.??"},
         "GetFTDeviceCount - General IO error...\n"},
    };
    for (const auto& c : cases) {
        const ListerRun run = RunLister(WriteScenario(c.scenario));
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(SplitLines(run.out), c.out);
        EXPECT_EQ(run.err, c.err);
    }
}

TEST(TorvaneList, AMissingScenarioFileListsNothing) {
    const ListerRun run = RunLister(Scratch("no-such-scenario.json"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(SplitLines(run.out),
              (std::vector<std::string>{"PORT\tNAZWA\tWERSJA STEROWNIKA\tS/N", "\t\t\t", "??.??.??"}));
    // The simulator names its fault; the count's status (18) has no dialog text.
    const std::vector<std::string> err = SplitLines(run.err);
    ASSERT_EQ(err.size(), 2u) << run.err;
    EXPECT_EQ(err[0].rfind("torvane-sim: ", 0), 0u) << err[0];
    EXPECT_EQ(err[1], "");
}

TEST(TorvaneList, AnEscapingErrorIsPrintedWithAFullStopAndFails) {
    ClearUsbDevices();
    MemoryRegistry registry;
    AddFtdiPort(registry, "A", "COM5", "a");
    ListSerialPort(registry, 5, "COM5");
    registry.SetValue(kSerialCommPath, "COM9", kRegDword, std::string("\x09\0\0\0", 4));
    const ScopedRegistry installedRegistry(registry);
    FakeVersionQuery windowsMe(true, kPlatformWin32Windows, 4, 90);
    const ScopedVersionQuery installedQuery(windowsMe);
    std::ostringstream out, err;
    EXPECT_EQ(torvane_list::ListDevices(out, err), 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "Invalid data type for 'COM9'.\n");
    ClearUsbDevices();
}

TEST(TorvaneList, TheConsumerLinePrintsTheRegistryRows) {
    ClearUsbDevices();
    LibraryVersionText.clear();
    MemoryRegistry registry;
    AddFtdiPort(registry, "A", "COM5", "USB Serial Port (COM5)");
    ListSerialPort(registry, 5, "COM5");
    const ScopedRegistry installedRegistry(registry);
    FakeVersionQuery windows95(true, kPlatformWin32Windows, 4, 0);
    const ScopedVersionQuery installedQuery(windows95);
    std::ostringstream out, err;
    EXPECT_EQ(torvane_list::ListDevices(out, err), 0);
    EXPECT_EQ(SplitLines(out.str()), (std::vector<std::string>{"PORT\tNAZWA\tWERSJA STEROWNIKA\tS/N",
                                                               "COM5\tUSB Serial Port (COM5)\t\t", "\t\t\t", ""}));
    EXPECT_EQ(err.str(), "");
    ClearUsbDevices();
}

}  // namespace
}  // namespace devlist
