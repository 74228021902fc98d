#pragma once
// --watch on Windows: the window's WM_DEVICECHANGE hot-plug (same device
// classes, same rate rule: app/win32/device_change.h) on a message-only
// window of the calling thread, as the lister's change feed. Ended by
// Ctrl+C, Ctrl+Break, the console's closing, or WM_CLOSE sent to the window.
#include <windows.h>

#include <memory>

#include "app/console/lister.h"
#include "app/win32/device_change.h"

namespace torvane_list {

// The class of the message-only window, by which other programs find it
// (FindWindowEx with HWND_MESSAGE).
inline constexpr wchar_t kWatchWindowClass[] = L"TorvaneListWatch";

class DeviceChangeFeed final : public ChangeFeed {
public:
    // nullptr when the window cannot be made. One feed at a time: the console
    // control handler it installs knows one window.
    static std::unique_ptr<DeviceChangeFeed> Create();
    ~DeviceChangeFeed() override;
    DeviceChangeFeed(const DeviceChangeFeed&) = delete;
    DeviceChangeFeed& operator=(const DeviceChangeFeed&) = delete;

    // Runs the thread's message loop until the list is due again or the watch ends.
    Next WaitForChange() override;
    // Serves the thread's messages until `object` is signalled (true) or the
    // watch has been ended (false); signalled outranks ended.
    bool ServeUntil(HANDLE object);

private:
    explicit DeviceChangeFeed(HWND window);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static BOOL WINAPI OnConsoleEvent(DWORD event);

    static constexpr UINT_PTR kRateTimer = 1;

    // Destroyed last: the registration and the timer are undone on it first.
    struct OwnedWindow {
        HWND handle;
        ~OwnedWindow() { DestroyWindow(handle); }
    } window_;
    app::win32::DeviceNotifications notifications_;
    app::win32::HotplugTimer timer_;
    bool changed_ = false;
    bool ended_ = false;
};

}  // namespace torvane_list
