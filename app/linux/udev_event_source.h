#pragma once
// The Linux device event source: udev's monitor (netlink, "udev" group, so
// events arrive after udev has created the nodes and applied its rules),
// filtered to the "usb" and "tty" subsystems.
#include <memory>

#include "app/linux/hotplug.h"

namespace hotplug {

// At most this many events are taken by one Wait: a flood of events never
// keeps the watcher from its rate rule (one call a second) or from Stop.
inline constexpr int kMaxEventsPerWait = 256;

// nullptr when no udev monitor can be had (no netlink in a container, say);
// the program then goes without hot-plug refreshes. One Wait takes at most
// `maxEventsPerWait` events (at least 1).
std::unique_ptr<DeviceEventSource> MakeUdevEventSource(int maxEventsPerWait = kMaxEventsPerWait);

// Whether the udev daemon runs: without it the monitor subscribes but
// nothing ever arrives (a container without udevd).
bool UdevDaemonRunning();

// A watcher over udev events calling `callback` at most once per
// policy.minInterval; nullptr when udev is unavailable.
std::unique_ptr<HotplugWatcher> StartUdevWatcher(HotplugWatcher::Callback callback, CoalescingPolicy policy = {});

}  // namespace hotplug
