// torvane1: the program entry on Windows. Creates the main window, runs the
// message loop until the window closes, then ends. The executable also
// exports the serial library's 21 functions (winseria.def).
#include <windows.h>

#include "app/win32/Unit1.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
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
