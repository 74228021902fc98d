// torvane-list.exe --watch as a script runs it: the copy in demo\, over the
// simulated FTD2XX.DLL beside it, its standard output a pipe. WM_DEVICECHANGE messages are sent to
// its message-only window, found by class name; each settled burst of
// converter changes prints one more document, other devices none; WM_CLOSE
// ends it with status 0.
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/win32/device_change_messages.h"

namespace {

std::string program;  // demo\torvane-list.exe, from the command line

// A Unix path (as CTest passes it under Wine) on Wine's Z: drive.
std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// The program running with its standard output in a pipe that a thread of
// this test reads to the end.
class WatchProcess {
public:
    explicit WatchProcess(const std::string& arguments) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE writeEnd = nullptr;
        if (!CreatePipe(&readEnd_, &writeEnd, &inherit, 0)) return;
        SetHandleInformation(readEnd_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = writeEnd;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::string commandLine = "\"" + WindowsPath(program) + "\" " + arguments;
        PROCESS_INFORMATION info{};
        if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
        }
        CloseHandle(writeEnd);
        reader_ = std::thread([this] { ReadToEnd(); });
    }
    ~WatchProcess() {
        if (process_ != nullptr) {
            if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
            CloseHandle(process_);
        }
        reader_.join();
        CloseHandle(readEnd_);
    }

    bool Started() const { return process_ != nullptr; }

    std::vector<std::string> Lines() {
        std::lock_guard lock(mutex_);
        std::vector<std::string> lines;
        std::istringstream in(output_);
        // Standard output is in text mode: lines end in CR LF.
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

    // The exit status, or -1 when the process has not ended within `limit`.
    long ExitCode(DWORD limitMs) {
        DWORD code = 0;
        if (WaitForSingleObject(process_, limitMs) != WAIT_OBJECT_0 || !GetExitCodeProcess(process_, &code)) return -1;
        return static_cast<long>(code);
    }

private:
    void ReadToEnd() {
        char buffer[4096];
        DWORD got = 0;
        while (readEnd_ != nullptr && ReadFile(readEnd_, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            std::lock_guard lock(mutex_);
            output_.append(buffer, got);
        }
    }

    HANDLE readEnd_ = nullptr;
    HANDLE process_ = nullptr;
    std::mutex mutex_;
    std::string output_;
    std::thread reader_;
};

// Polls `done` every 50 ms for at most `limit`.
template <typename Condition>
bool WaitFor(Condition done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        Sleep(50);
    }
    return true;
}

using torvane_test::Change;
using torvane_test::SendDeviceChange;

TEST(ListWatch, PrintsOneDocumentPerSettledBurstOfConverterChangesAndEndsOnClose) {
    WatchProcess watch("--json --watch");
    ASSERT_TRUE(watch.Started()) << program;
    HWND window = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (window = FindWindowExW(HWND_MESSAGE, nullptr, L"TorvaneListWatch", nullptr)) != nullptr; },
                        std::chrono::seconds(30)));
    ASSERT_TRUE(WaitFor([&] { return watch.Lines().size() == 1; }, std::chrono::seconds(10)));

    const struct {
        const char* name;
        std::vector<Change> changes;
        std::size_t newDocuments;
    } kCases[] = {
        {"one port arrives", {Change::PortArrived}, 1},
        {"a converter comes and goes",
         {Change::UsbDeviceArrived, Change::PortArrived, Change::UsbDeviceRemoved, Change::UsbDeviceArrived},
         1},
        {"other devices", {Change::HidArrived, Change::VolumeArrived, Change::DevnodesChanged}, 0},
    };
    std::size_t documents = 1;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        for (const Change change : c.changes) SendDeviceChange(window, change);
        documents += c.newDocuments;
        // Long enough for the burst's listing (at most a second after the
        // previous one) and for a second one, if the burst wrongly gave one.
        Sleep(1500);
        EXPECT_EQ(watch.Lines().size(), documents);
    }

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(watch.ExitCode(10000), 0);
    for (const std::string& line : watch.Lines()) {
        EXPECT_EQ(line.rfind("{\"format\":1,", 0), 0u) << line;
        EXPECT_NE(line.find("\"devices\":["), std::string::npos) << line;
        EXPECT_EQ(line.back(), '}') << line;
    }
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PATH-OF-demo/torvane-list.exe\n", argv[0]);
        return 2;
    }
    program = argv[1];
    return RUN_ALL_TESTS();
}
