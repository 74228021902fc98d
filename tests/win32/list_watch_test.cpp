// torvane-list.exe as a script runs it: the copy in demo\, over the
// simulated FTD2XX.DLL beside it, its standard output a pipe. WM_DEVICECHANGE
// messages are sent to --watch's message-only window, found by class name;
// each settled burst of converter changes prints one more document, other
// devices none; WM_CLOSE ends it with status 0. And the output's reader
// misbehaving: gone before the first write, or never reading, with the watch
// then ended by WM_CLOSE or Ctrl+C.
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

// Who is at the other end of the program's standard output.
enum class Reader {
    Reads,    // a thread of this test, to the end
    Gone,     // nobody: the read end is closed before the program starts
    Stalled,  // nobody reads; the pipe holds next to nothing (Wine keeps to the size asked)
};

// The program running with its standard output in a pipe and its standard
// error in another, read once it has ended. `flags`: CreateProcess's.
class ListerProcess {
public:
    ListerProcess(const std::string& arguments, Reader reader, DWORD flags = 0) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE writeEnd = nullptr;
        HANDLE errorWriteEnd = nullptr;
        if (!CreatePipe(&readEnd_, &writeEnd, &inherit, reader == Reader::Stalled ? 1 : 0)) return;
        if (!CreatePipe(&errorReadEnd_, &errorWriteEnd, &inherit, 0)) return;
        SetHandleInformation(readEnd_, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(errorReadEnd_, HANDLE_FLAG_INHERIT, 0);
        if (reader == Reader::Gone) {
            CloseHandle(readEnd_);
            readEnd_ = nullptr;
        }
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = writeEnd;
        startup.hStdError = errorWriteEnd;
        std::string commandLine = "\"" + WindowsPath(program) + "\" " + arguments;
        PROCESS_INFORMATION info{};
        if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup,
                           &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
            id_ = info.dwProcessId;
        }
        CloseHandle(writeEnd);
        CloseHandle(errorWriteEnd);
        if (reader == Reader::Reads) reader_ = std::thread([this] { ReadToEnd(); });
    }
    ~ListerProcess() {
        if (process_ != nullptr) {
            if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
            CloseHandle(process_);
        }
        if (reader_.joinable()) reader_.join();
        if (readEnd_ != nullptr) CloseHandle(readEnd_);
        CloseHandle(errorReadEnd_);
    }

    bool Started() const { return process_ != nullptr; }
    DWORD Id() const { return id_; }

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

    // What the program wrote on standard error, once it has ended.
    std::string ErrorOutput() {
        std::string text;
        char buffer[4096];
        DWORD waiting = 0;
        DWORD got = 0;
        while (PeekNamedPipe(errorReadEnd_, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0 &&
               ReadFile(errorReadEnd_, buffer, sizeof buffer, &got, nullptr) && got > 0)
            text.append(buffer, got);
        return text;
    }

private:
    void ReadToEnd() {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd_, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            std::lock_guard lock(mutex_);
            output_.append(buffer, got);
        }
    }

    HANDLE readEnd_ = nullptr;
    HANDLE errorReadEnd_ = nullptr;
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
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

HWND WatchWindow() { return FindWindowExW(HWND_MESSAGE, nullptr, L"TorvaneListWatch", nullptr); }

// Ctrl+C as a user types it in the console of the program (started with
// CREATE_NEW_CONSOLE): this test joins that console for the moment of it,
// ignoring the event itself.
void PressCtrlC(DWORD processId) {
    FreeConsole();
    ASSERT_TRUE(AttachConsole(processId)) << GetLastError();
    SetConsoleCtrlHandler(nullptr, TRUE);
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
    FreeConsole();
    SetConsoleCtrlHandler(nullptr, FALSE);
}

TEST(ListWatch, PrintsOneDocumentPerSettledBurstOfConverterChangesAndEndsOnClose) {
    ListerProcess watch("--json --watch", Reader::Reads);
    ASSERT_TRUE(watch.Started()) << program;
    HWND window = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (window = WatchWindow()) != nullptr; }, std::chrono::seconds(30)));
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

// A reader that went away is the quiet end: status 3 for a single listing
// or the help (not delivered), 0 for a watch (its ordinary end). A watch
// whose reader stopped reading still ends on WM_CLOSE and Ctrl+C, with
// status 3 (its listing was cut short) and no message.
TEST(ListWatch, EndsQuietlyWhenTheOutputsReaderIsGoneOrStalled) {
    enum class End { Itself, WmClose, CtrlC };
    const struct {
        const char* name;
        const char* arguments;
        Reader reader;
        End end;
        long status;
    } kCases[] = {
        {"a listing, reader gone", "--json", Reader::Gone, End::Itself, 3},
        {"the help, reader gone", "--help", Reader::Gone, End::Itself, 3},
        {"a watch, reader gone", "--json --watch", Reader::Gone, End::Itself, 0},
        {"a watch, reader stalled, WM_CLOSE", "--json --watch", Reader::Stalled, End::WmClose, 3},
        {"a watch, reader stalled, Ctrl+C", "--json --watch", Reader::Stalled, End::CtrlC, 3},
        {"a watch, reader reading, Ctrl+C", "--json --watch", Reader::Reads, End::CtrlC, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        ListerProcess lister(c.arguments, c.reader, c.end == End::CtrlC ? CREATE_NEW_CONSOLE : 0);
        ASSERT_TRUE(lister.Started()) << program;
        if (c.end != End::Itself) {
            HWND window = nullptr;
            ASSERT_TRUE(WaitFor([&] { return (window = WatchWindow()) != nullptr; }, std::chrono::seconds(30)));
            Sleep(500);  // the first listing written (or stalled)
            if (c.end == End::WmClose) PostMessageW(window, WM_CLOSE, 0, 0);
            if (c.end == End::CtrlC) PressCtrlC(lister.Id());
        }
        EXPECT_EQ(lister.ExitCode(10000), c.status);
        EXPECT_EQ(lister.ErrorOutput(), "");
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
