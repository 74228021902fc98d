#pragma once
// Unit1 on Win32: the main window TfUrzadzenia and the program-wide
// fUrzadzenia. The window holds the device grid and status label that the
// device list refresh fills, the close and refresh buttons, and three hidden
// buttons: one that does nothing and two that open and close a serial port.
#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/presenter.h"
#include "app/win32/device_change.h"
#include "app/win32/string_grid.h"
#include "app/win32/win32_view.h"

class TfUrzadzenia {
public:
    // Creates the window, hidden; Show() shows it.
    explicit TfUrzadzenia(HINSTANCE instance);
    ~TfUrzadzenia();
    TfUrzadzenia(const TfUrzadzenia&) = delete;
    TfUrzadzenia& operator=(const TfUrzadzenia&) = delete;

    void Show();

    // The form and its controls, in declaration order. The bevels are frames
    // drawn on the form, not windows.
    HWND Handle = nullptr;
    HWND sgWersja = nullptr;
    RECT Bevel1{};
    HWND bOdswiez = nullptr;
    HWND bRefresh = nullptr;
    HWND Label1 = nullptr;
    RECT Bevel2{};
    HWND bCycle = nullptr;
    HWND bOtworzPort = nullptr;
    HWND bZamknijPort = nullptr;

    // The grid and label as the refresh sees them.
    app::win32::StringGrid& Grid() { return *grid_; }
    app::win32::AutoSizeLabel& StatusLabel() { return *label_; }
    app::win32::MessageBoxSink& MessageBoxes() { return *messageBoxes_; }

    // What a refresh runs; RefreshDeviceList unless a test replaces it.
    void SetRefreshProcedure(std::function<void()> procedure);
    bool RefreshRunning() const { return presenter_->Refreshing(); }

    // Event handlers, in declaration order.
    void FormShow();
    void bOdswiezClick();
    void bRefreshClick();
    void bCycleClick();
    void bOtworzPortClick();
    void bZamknijPortClick();

    // Window messages of the form's own.
    static constexpr UINT kRunPostedCalls = WM_APP + 1;        // the presenter's deferred calls
    static constexpr UINT kServeMainThreadCalls = WM_APP + 2;  // the serial watcher's hand-over
    // The timer that answers a burst of device changes.
    static constexpr UINT_PTR kHotplugTimer = 1;

private:
    // The window as the presenter sees it (defined in Unit1.cpp).
    class PresenterView;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    HWND MakeButton(int id, const char* caption, int left, int width, bool visible);
    void PaintBevels(HDC dc);
    void OnCommand(int id);
    // Runs an event handler; an error escaping it is shown and the program goes on.
    void RunHandler(void (TfUrzadzenia::*handler)());
    // Any thread: `call` runs from this window's message loop.
    void PostCall(std::function<void()> call);
    void RunPostedCalls();
    // Hot-plug: a converter came or went; the timer says the list is due.
    void OnHotplugTimer();

    HFONT font_ = nullptr;
    HFONT labelFont_ = nullptr;
    std::unique_ptr<app::win32::StringGrid> grid_;
    std::unique_ptr<app::win32::AutoSizeLabel> label_;
    std::unique_ptr<app::win32::MessageBoxSink> messageBoxes_;
    // Calls posted to the message loop; they go with the window when it goes.
    std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_;
    // The window's rules: when the list is rebuilt, what the handlers do.
    std::unique_ptr<PresenterView> presenterView_;
    std::unique_ptr<app::WindowPresenter> presenter_;
    // Converters plugged in or removed rebuild the list, at most once a
    // second, by the rule of the Linux window.
    std::unique_ptr<app::win32::DeviceNotifications> deviceNotifications_;
    std::unique_ptr<app::win32::HotplugTimer> hotplugTimer_;
};

// The program's one main window, created at start-up.
extern TfUrzadzenia* fUrzadzenia;

namespace app::win32 {
// The caption of the program's information and error boxes.
inline constexpr const char* kApplicationTitle = "torvane1";
// Shows the exception being handled (call it only inside a catch block) in a
// modal error box, with a full stop added when its message lacks one.
void ShowCurrentException();
}  // namespace app::win32
