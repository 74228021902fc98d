// torvane1: the program entry on Windows. Creates the main window, runs the
// message loop until the window closes, then ends. The executable also
// exports the serial library's 21 functions (winseria.def).
#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "app/demo_launch.h"
#include "app/win32/Unit1.h"
#include "app/win32/win32_text.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything else: a demo run starts demo\torvane1.exe over the simulated library.
    std::ostringstream failure;
    if (const auto ended = app::UseSimulatedLibraryIfAsked(app::DemoFlagGiven(__argc, __argv), __argv, "torvane1",
                                                           failure)) {
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
