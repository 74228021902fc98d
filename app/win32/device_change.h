#pragma once
// Hot-plug on Windows: which WM_DEVICECHANGE messages mean that a converter
// came or went, the registration for them, and the rate rule on a timer.
// Shared by the window and by torvane-list --watch (a message-only window).
#include <windows.h>

#include "app/refresh_coalescer.h"

namespace app::win32 {

// A serial port, or a device of the COM port or USB device interface class,
// arrived or was removed. Ports are broadcast to every top-level window; the
// interface classes come to windows registered through DeviceNotifications.
bool IsConverterChange(WPARAM event, LPARAM data);

// The window's registration for the COM port and USB device interface
// classes (Windows 2000 and later), undone on destruction. A class the
// system refuses is left out: port broadcasts still come.
class DeviceNotifications {
public:
    explicit DeviceNotifications(HWND window);
    ~DeviceNotifications();
    DeviceNotifications(const DeviceNotifications&) = delete;
    DeviceNotifications& operator=(const DeviceNotifications&) = delete;

private:
    HDEVNOTIFY ports_ = nullptr;
    HDEVNOTIFY usbDevices_ = nullptr;
};

// The rate rule (app/refresh_coalescer.h) on a timer of `window`: Changed()
// at every converter change, Fired() when WM_TIMER comes with Id(); Fired()
// says whether the list is due now, else arms the timer again. Destroying it
// kills the timer: changes still pending are dropped.
class HotplugTimer {
public:
    HotplugTimer(HWND window, UINT_PTR id) : window_(window), id_(id) {}
    ~HotplugTimer() { KillTimer(window_, id_); }
    HotplugTimer(const HotplugTimer&) = delete;
    HotplugTimer& operator=(const HotplugTimer&) = delete;

    UINT_PTR Id() const { return id_; }
    void Changed();
    bool Fired();

private:
    void Arm(hotplug::Clock::time_point now);

    HWND window_;
    UINT_PTR id_;
    hotplug::RefreshCoalescer rate_{hotplug::CoalescingPolicy{}};
    bool armed_ = false;
};

}  // namespace app::win32
