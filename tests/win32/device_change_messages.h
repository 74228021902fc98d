#pragma once
// WM_DEVICECHANGE messages as Windows sends them, for the Win32 hot-plug
// tests (the window's and torvane-list --watch's).
#include <windows.h>
#include <dbt.h>

namespace torvane_test {

// Device changes as Windows delivers them to a window (sent: the message
// and its record arrive before SendDeviceChange returns).
enum class Change { PortArrived, PortRemoved, UsbDeviceArrived, UsbDeviceRemoved, HidArrived, VolumeArrived,
                    DevnodesChanged };

inline void SendDeviceChange(HWND window, Change change) {
    constexpr GUID kUsbDevice{0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
    constexpr GUID kHid{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
    const bool arrived = change != Change::PortRemoved && change != Change::UsbDeviceRemoved;
    const WPARAM event = arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    DEV_BROADCAST_PORT_W port{};
    port.dbcp_size = sizeof port;
    port.dbcp_devicetype = DBT_DEVTYP_PORT;
    DEV_BROADCAST_DEVICEINTERFACE_W device{};
    device.dbcc_size = sizeof device;
    device.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    device.dbcc_classguid = change == Change::HidArrived ? kHid : kUsbDevice;
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    switch (change) {
    case Change::PortArrived:
    case Change::PortRemoved: SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&port)); break;
    case Change::UsbDeviceArrived:
    case Change::UsbDeviceRemoved:
    case Change::HidArrived: SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&device)); break;
    case Change::VolumeArrived: SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume)); break;
    case Change::DevnodesChanged: SendMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0); break;
    }
}

}  // namespace torvane_test
