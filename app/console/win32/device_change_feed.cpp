#include "app/console/win32/device_change_feed.h"

#include <atomic>

namespace torvane_list {
namespace {

// What the console control handler, which runs on a thread of its own, needs.
std::atomic<HWND> watchWindow{nullptr};
std::atomic<bool> watchEnded{false};

// After the handler returns from a close, log-off or shut-down event the
// system ends the process: it waits this long for the loop to end first.
constexpr int kCloseWaitMs = 4000;
constexpr int kCloseWaitStepMs = 50;

}  // namespace

std::unique_ptr<DeviceChangeFeed> DeviceChangeFeed::Create() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    static const bool registered = [instance] {
        WNDCLASSEXW cls{};
        cls.cbSize = sizeof cls;
        cls.lpfnWndProc = &DeviceChangeFeed::WindowProc;
        cls.hInstance = instance;
        cls.lpszClassName = kWatchWindowClass;
        return RegisterClassExW(&cls) != 0;
    }();
    if (!registered) return nullptr;
    const HWND window =
        CreateWindowExW(0, kWatchWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (window == nullptr) return nullptr;
    return std::unique_ptr<DeviceChangeFeed>(new DeviceChangeFeed(window));
}

DeviceChangeFeed::DeviceChangeFeed(HWND window)
    : window_{window}, notifications_(window), timer_(window, kRateTimer) {
    SetWindowLongW(window, GWL_USERDATA, reinterpret_cast<LONG>(this));
    watchEnded = false;
    watchWindow = window;
    SetConsoleCtrlHandler(&DeviceChangeFeed::OnConsoleEvent, TRUE);
}

DeviceChangeFeed::~DeviceChangeFeed() {
    SetConsoleCtrlHandler(&DeviceChangeFeed::OnConsoleEvent, FALSE);
    watchWindow = nullptr;
    SetWindowLongW(window_.handle, GWL_USERDATA, 0);
    watchEnded = true;
}

ChangeFeed::Next DeviceChangeFeed::WaitForChange() {
    MSG message;
    while (!ended_ && !changed_) {
        // 0: WM_QUIT; -1: the loop itself failed. Either ends the watch.
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) return Next::Stop;
        DispatchMessageW(&message);
    }
    if (ended_) return Next::Stop;
    changed_ = false;
    return Next::Changed;
}

bool DeviceChangeFeed::ServeUntil(HANDLE object) {
    for (;;) {
        // The queue first: the wait wakes only for messages that came after
        // the thread last looked at it.
        MSG message;
        while (!ended_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) ended_ = true;
            else DispatchMessageW(&message);
        }
        if (ended_) return WaitForSingleObject(object, 0) == WAIT_OBJECT_0;
        const DWORD woken = MsgWaitForMultipleObjects(1, &object, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0) return true;
        if (woken != WAIT_OBJECT_0 + 1) ended_ = true;  // the wait itself failed, as GetMessage's -1
    }
}

LRESULT CALLBACK DeviceChangeFeed::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* feed = reinterpret_cast<DeviceChangeFeed*>(GetWindowLongW(window, GWL_USERDATA));
    if (feed == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_DEVICECHANGE:
        if (app::win32::IsConverterChange(wParam, lParam)) feed->timer_.Changed();
        return TRUE;
    case WM_TIMER:
        if (wParam != feed->timer_.Id()) break;
        if (feed->timer_.Fired()) feed->changed_ = true;
        return 0;
    case WM_CLOSE:
        // The feed's owner destroys the window once the loop has returned.
        feed->ended_ = true;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

BOOL WINAPI DeviceChangeFeed::OnConsoleEvent(DWORD event) {
    const HWND window = watchWindow;
    if (window == nullptr) return FALSE;
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        for (int waited = 0; !watchEnded && waited < kCloseWaitMs; waited += kCloseWaitStepMs) Sleep(kCloseWaitStepMs);
    return TRUE;
}

}  // namespace torvane_list
