#pragma once
// The main window's behaviour, shared by every view (Qt on Linux, Win32 on
// Windows): when the device list is rebuilt, what the six handlers do, and how
// an error escaping a handler is shown. The views keep their widgets, event
// wiring and message boxes and hand their events to a WindowPresenter.
// Portable: no toolkit or OS header.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace app {

// What the presenter needs of the window. Called on the GUI thread, except
// PostToEventLoop.
class WindowView {
public:
    // The window is the active one.
    virtual bool IsActive() const = 0;
    // The window is shown (not hidden or closed).
    virtual bool IsVisible() const = 0;
    // Runs `call` later on the GUI thread, from the event loop, unless the
    // window is gone by then. Any thread.
    virtual void PostToEventLoop(std::function<void()> call) = 0;
    // Column 0 of the selected row; empty when no data row is selected.
    virtual std::string SelectedPortCell() const = 0;
    virtual void CloseWindow() = 0;
    // The caption of the box that shows an escaped error.
    virtual std::string ErrorCaption() const = 0;
    // After every refresh, whether it ran to its end or not.
    virtual void RefreshFinished() = 0;

protected:
    ~WindowView() = default;
};

// The serial library and device layer calls of the port buttons, replaceable
// so that the rules can be tested without a port (LibraryPortCalls() in
// app/library_port_calls.h binds the real ones).
struct PortCalls {
    std::function<void()> closeDeviceHandle;  // d2xx::Close_USB_Device_Handle
    std::function<std::int32_t()> uninitializePort;
    std::function<std::int32_t(std::uint8_t port, std::uint32_t baud, std::uint16_t writeTimeoutSec,
                               std::uint16_t readTimeoutSec)>
        initializePort;
};

// The settings the open-port button opens the port with.
inline constexpr std::uint32_t kPortBaud = 9600;
inline constexpr std::uint16_t kPortWriteTimeoutSec = 2;
inline constexpr std::uint16_t kPortReadTimeoutSec = 2;

// The text of the exception being handled (call it only inside a catch
// block), with a full stop added when its message lacks one; "Nieznany
// wyjątek." for anything that is not a std::exception.
std::string CurrentExceptionText();
// Shows the exception being handled (only inside a catch block) through the
// message seam's error box with the given caption.
void ShowCurrentException(const std::string& caption);

class WindowPresenter {
public:
    // `refresh` is what a refresh runs (devlist::RefreshDeviceList in the program).
    WindowPresenter(WindowView& view, PortCalls ports, std::function<void()> refresh);
    WindowPresenter(const WindowPresenter&) = delete;
    WindowPresenter& operator=(const WindowPresenter&) = delete;

    // --- Events from the view ---
    // The window became active: the list is rebuilt from the event loop,
    // unless a refresh is running or this activation only hands the window
    // back after a message of a refresh.
    void Activated();
    // A message box is about to show (every box of the message seam).
    void MessageShown();
    // Converters came or went: asks, through the event loop, for
    // HotplugChanged. Any thread; posts made before the posted call has run
    // join it.
    void PostHotplugChanged();

    // --- The handlers' logic ---
    void FormShow();          // rebuilds the list
    void CloseClicked();      // "Zamknij": closes the window
    void RefreshClicked();    // "Odśwież": rebuilds the list
    void CycleClicked();      // the hidden button without an action
    void OpenPortClicked();   // opens the port of the selected row, says how it went
    void ClosePortClicked();  // closes the serial port, says how it went
    // Rebuilds the list once, as "Odśwież". During a refresh the request is
    // kept and one more refresh runs after it; while the window is hidden it
    // is dropped (showing the window activates it, which rebuilds the list).
    void HotplugChanged();

    // Runs a handler; an error escaping it is shown and the program goes on.
    void RunHandler(const std::function<void()>& handler);

    void SetRefreshProcedure(std::function<void()> procedure);
    bool Refreshing() const { return refreshing_; }

private:
    void RunRefresh();
    void NoteActivationOwedAfterRefresh();

    WindowView& view_;
    PortCalls ports_;
    std::function<void()> refresh_;
    bool refreshing_ = false;
    bool messageDuringRefresh_ = false;
    bool swallowNextActivation_ = false;
    bool hotplugDuringRefresh_ = false;
    std::atomic<bool> hotplugPosted_{false};
};

}  // namespace app
