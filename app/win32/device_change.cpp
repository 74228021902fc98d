#include "app/win32/device_change.h"

#include <dbt.h>

#include <algorithm>
#include <chrono>

namespace app::win32 {
namespace {

// GUID_DEVINTERFACE_COMPORT and GUID_DEVINTERFACE_USB_DEVICE (ntddser.h,
// usbiodef.h), spelt out: the headers define them only with initguid.h.
constexpr GUID kComPortInterface{0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
constexpr GUID kUsbDeviceInterface{0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

HDEVNOTIFY Register(HWND window, const GUID& interfaceClass) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = interfaceClass;
    return RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void Unregister(HDEVNOTIFY notification) {
    if (notification != nullptr) UnregisterDeviceNotification(notification);
}

}  // namespace

bool IsConverterChange(WPARAM event, LPARAM data) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return false;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header == nullptr) return false;
    if (header->dbch_devicetype == DBT_DEVTYP_PORT) return true;
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return false;
    const GUID& interfaceClass = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header)->dbcc_classguid;
    return IsEqualGUID(interfaceClass, kComPortInterface) || IsEqualGUID(interfaceClass, kUsbDeviceInterface);
}

DeviceNotifications::DeviceNotifications(HWND window)
    : ports_(Register(window, kComPortInterface)), usbDevices_(Register(window, kUsbDeviceInterface)) {}

DeviceNotifications::~DeviceNotifications() {
    Unregister(ports_);
    Unregister(usbDevices_);
}

void HotplugTimer::Changed() {
    const hotplug::Clock::time_point now = hotplug::Clock::now();
    rate_.OnEvents(now);
    // An armed timer is left alone: a change only moves the due time later,
    // and Fired() arms again for it. Arming at every change would push a
    // refresh already due back by the timer's minimum each time, so a stream
    // of changes closer than that would never refresh.
    if (!armed_) Arm(now);
}

bool HotplugTimer::Fired() {
    KillTimer(window_, id_);
    armed_ = false;
    const hotplug::Clock::time_point now = hotplug::Clock::now();
    if (rate_.FireIfDue(now)) return true;
    Arm(now);
    return false;
}

void HotplugTimer::Arm(hotplug::Clock::time_point now) {
    const auto due = rate_.DueAt();
    if (!due) return;
    // Rounded up: a timer that ends before the due time would only be armed again.
    const auto delay = std::chrono::ceil<std::chrono::milliseconds>(*due - now).count();
    armed_ = SetTimer(window_, id_, static_cast<UINT>(std::max<long long>(delay, USER_TIMER_MINIMUM)), nullptr) != 0;
}

}  // namespace app::win32
