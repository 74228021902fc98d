#include "app/linux/udev_event_source.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

#include <torvane/unique_fd.h>

namespace hotplug {
namespace {

using torvane::UniqueFd;

struct UdevUnref {
    void operator()(udev* u) const { udev_unref(u); }
};
struct MonitorUnref {
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};
struct DeviceUnref {
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
struct QueueUnref {
    void operator()(udev_queue* q) const { udev_queue_unref(q); }
};
using UdevPtr = std::unique_ptr<udev, UdevUnref>;
using QueuePtr = std::unique_ptr<udev_queue, QueueUnref>;
using MonitorPtr = std::unique_ptr<udev_monitor, MonitorUnref>;
using DevicePtr = std::unique_ptr<udev_device, DeviceUnref>;

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

class UdevEventSource final : public DeviceEventSource {
public:
    UdevEventSource(UdevPtr context, MonitorPtr monitor, UniqueFd wake, int maxEventsPerWait)
        : context_(std::move(context)),
          monitor_(std::move(monitor)),
          wake_(std::move(wake)),
          maxEventsPerWait_(std::max(1, maxEventsPerWait)) {}

    int Wait(std::optional<Milliseconds> timeout) override {
        std::array<pollfd, 2> fds{{{udev_monitor_get_fd(monitor_.get()), POLLIN, 0}, {wake_.Get(), POLLIN, 0}}};
        const int ms = timeout ? static_cast<int>(std::min<Milliseconds::rep>(timeout->count(), INT32_MAX)) : -1;
        const int ready = poll(fds.data(), fds.size(), ms);
        if (ready == 0) return 0;
        if (ready < 0) return errno == EINTR ? 0 : kSourceFailed;  // a signal: the caller waits again
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = read(wake_.Get(), &count, sizeof count);
            return 0;
        }
        const short monitor = fds[0].revents;
        if (monitor & POLLNVAL) return kSourceFailed;
        // POLLERR is a receive-buffer overrun: events were lost, so the list is
        // due for a refresh; receiving clears the error.
        if (monitor & POLLERR) return std::max(TakeEvents(), 1);
        if (monitor & POLLIN) return TakeEvents();
        return (monitor & POLLHUP) ? kSourceFailed : 0;
    }

    void Interrupt() override {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(wake_.Get(), &one, sizeof one);
    }

private:
    // Takes the events already queued, without blocking, up to the bound; the
    // rest wait for the next call. Irrelevant ones count toward the bound too.
    int TakeEvents() {
        int relevant = 0;
        const int fd = udev_monitor_get_fd(monitor_.get());
        int taken = 0;
        do {
            DevicePtr device(udev_monitor_receive_device(monitor_.get()));
            if (!device) break;
            const char* subsystem = udev_device_get_subsystem(device.get());
            const char* action = udev_device_get_action(device.get());
            if (subsystem && action && IsRelevantDeviceEvent(subsystem, action)) ++relevant;
        } while (++taken < maxEventsPerWait_ && Readable(fd));
        return relevant;
    }

    UdevPtr context_;
    MonitorPtr monitor_;
    UniqueFd wake_;
    int maxEventsPerWait_;
};

}  // namespace

std::unique_ptr<DeviceEventSource> MakeUdevEventSource(int maxEventsPerWait) {
    UdevPtr context(udev_new());
    if (!context) return nullptr;
    MonitorPtr monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
    if (!monitor) return nullptr;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", nullptr) < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0)
        return nullptr;
    UniqueFd wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.Valid()) return nullptr;
    return std::make_unique<UdevEventSource>(std::move(context), std::move(monitor), std::move(wake),
                                             maxEventsPerWait);
}

bool UdevDaemonRunning() {
    UdevPtr context(udev_new());
    if (!context) return false;
    const QueuePtr queue(udev_queue_new(context.get()));
    return queue && udev_queue_get_udev_is_active(queue.get()) != 0;
}

std::unique_ptr<HotplugWatcher> StartUdevWatcher(HotplugWatcher::Callback callback, CoalescingPolicy policy) {
    auto source = MakeUdevEventSource();
    if (!source) return nullptr;
    return std::make_unique<HotplugWatcher>(std::move(source), std::move(callback), policy);
}

}  // namespace hotplug
