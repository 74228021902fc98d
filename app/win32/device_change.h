#pragma once
// Hot-plug on Windows: which WM_DEVICECHANGE messages mean that a converter
// came or went, and the window's registration for them.
#include <windows.h>

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

}  // namespace app::win32
