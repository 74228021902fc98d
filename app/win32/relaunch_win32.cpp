// The relaunch over the simulated library on Windows. A DLL in the program's
// own folder is loaded before the system folder's, so the simulated
// FTD2XX.DLL lives in the subfolder demo\ with its own copy of the program;
// that copy is started with the same command line (a changed PATH would not
// do: the system folder, where the vendor installs its DLL, comes first).
// ANSI calls, which Windows 95/98/Me have too (they only stub the wide
// ones); the cost: a program folder or argument that the ANSI code page
// cannot spell does not reach the copy (docs/windows.md).
#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

#include "app/demo_launch.h"

namespace app {
namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

BOOL WINAPI LeaveConsoleEventsToTheChild(DWORD event) { return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT; }

std::string OwnPath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);  // truncated: try a larger buffer
    }
}

std::string LastErrorText(const char* what) { return std::string(what) + " (error " + std::to_string(GetLastError()) + ")"; }

}  // namespace

std::optional<int> RelaunchOverSimulatedLibrary(char**, std::string& failure) {
    const std::string own = OwnPath();
    const std::size_t slash = own.find_last_of("\\/");
    if (own.empty() || slash == std::string::npos) {
        failure = LastErrorText("cannot find the running program");
        return std::nullopt;
    }
    const std::string demo = own.substr(0, slash) + "\\demo" + own.substr(slash);
    if (GetFileAttributesA(demo.c_str()) == INVALID_FILE_ATTRIBUTES) {
        failure = "the simulated library is not installed (no demo folder beside the program)";
        return std::nullopt;
    }
    SetEnvironmentVariableA(kRelaunchedVariable, "1");
    std::string commandLine = GetCommandLineA();  // CreateProcessA may write to it
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;  // a console program shares the console and redirections
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(demo.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        failure = LastErrorText("cannot start the demo program");
        return std::nullopt;
    }
    const UniqueHandle child(process.hProcess);
    const UniqueHandle thread(process.hThread);
    // Ctrl+C and Ctrl+Break reach the child too, in the same console: it
    // decides how it ends (torvane-list --watch ends cleanly), and this
    // process then ends with its status instead of being cut off first.
    SetConsoleCtrlHandler(&LeaveConsoleEventsToTheChild, TRUE);
    // The child's end is the release: it runs for as long as the user keeps it.
    DWORD status = 2;
    if (WaitForSingleObject(child.get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(child.get(), &status)) {
        failure = LastErrorText("lost the demo program");
        return std::nullopt;
    }
    return static_cast<int>(status);
}

}  // namespace app
