// torvane1: the program entry on Windows. Creates the main window, runs the
// message loop until the window closes, then ends. The executable also
// exports the serial library's 21 functions (winseria.def).
#include <windows.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

#include "app/demo_launch.h"
#include "app/window_options.h"
#include "app/win32/Unit1.h"
#include "app/win32/win32_text.h"

namespace {

void ShowText(const std::string& text, UINT icon) {
    MessageBoxW(nullptr, app::win32::Wide(text).c_str(), L"torvane1", MB_OK | icon);
}

// A GUI program has no console: help, version and usage errors come in a
// message box. Nothing when the window is to run.
std::optional<int> EndedByCommandLine(const app::WindowCommandLine& line) {
    switch (line.request) {
        case app::WindowCommandLine::Request::Help: ShowText(app::WindowUsage(), MB_ICONINFORMATION); return 0;
        case app::WindowCommandLine::Request::Version: ShowText(app::WindowVersion(), MB_ICONINFORMATION); return 0;
        case app::WindowCommandLine::Request::Usage:
            ShowText("torvane1: unknown argument: " + line.unknown + "\n\n" + app::WindowUsage(), MB_ICONERROR);
            return app::kWindowExitUsage;
        case app::WindowCommandLine::Request::Run: break;
    }
    return std::nullopt;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything else: the command line, then a demo run starts
    // demo\torvane1.exe over the simulated library.
    const app::WindowCommandLine line = app::ParseWindowCommandLine(__argc, __argv);
    if (const auto ended = EndedByCommandLine(line)) return *ended;
    std::ostringstream failure;
    if (const auto ended = app::UseSimulatedLibraryIfAsked(line.demo, __argv, "torvane1", failure)) {
        if (!failure.str().empty())
            MessageBoxW(nullptr, app::win32::Wide(failure.str()).c_str(), L"torvane1", MB_OK | MB_ICONERROR);
        return *ended;
    }
    fUrzadzenia = new TfUrzadzenia(instance);
    fUrzadzenia->Show();
    MSG message;
    int result = 0;
    for (;;) {
        result = GetMessageW(&message, nullptr, 0, 0);
        if (result <= 0) break;  // WM_QUIT, or an error
        // Tab and arrow keys move between the window's controls.
        if (IsWindow(fUrzadzenia->Handle) && IsDialogMessageW(fUrzadzenia->Handle, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    delete fUrzadzenia;
    fUrzadzenia = nullptr;
    return result < 0 ? 1 : static_cast<int>(message.wParam);
}
