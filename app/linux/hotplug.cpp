#include "app/linux/hotplug.h"

#include <algorithm>
#include <array>

namespace hotplug {

bool IsRelevantDeviceEvent(std::string_view subsystem, std::string_view action) {
    if (subsystem == "usb") {
        constexpr std::array<std::string_view, 4> kUsbActions{"add", "remove", "bind", "unbind"};
        return std::find(kUsbActions.begin(), kUsbActions.end(), action) != kUsbActions.end();
    }
    if (subsystem == "tty") return action == "add" || action == "remove";
    return false;
}

void RefreshCoalescer::OnEvents(Clock::time_point now) {
    if (!firstPending_) firstPending_ = now;
    lastEvent_ = now;
}

std::optional<Clock::time_point> RefreshCoalescer::DueAt() const {
    if (!firstPending_) return std::nullopt;
    const Clock::time_point burstOver =
        std::min(lastEvent_ + policy_.settle, *firstPending_ + policy_.minInterval);
    if (!lastFired_) return burstOver;
    return std::max(burstOver, *lastFired_ + policy_.minInterval);
}

bool RefreshCoalescer::FireIfDue(Clock::time_point now) {
    const auto due = DueAt();
    if (!due || now < *due) return false;
    firstPending_.reset();
    lastFired_ = now;
    return true;
}

HotplugWatcher::HotplugWatcher(std::unique_ptr<DeviceEventSource> source, Callback callback,
                               CoalescingPolicy policy)
    : source_(std::move(source)), callback_(std::move(callback)), coalescer_(policy) {
    thread_ = std::thread([this] { Run(); });
}

HotplugWatcher::~HotplugWatcher() { Stop(); }

void HotplugWatcher::Stop() {
    {
        std::lock_guard guard(stopLock_);
        stopping_ = true;
    }
    source_->Interrupt();
    if (thread_.joinable()) thread_.join();
}

std::optional<Milliseconds> HotplugWatcher::TimeUntilDue(Clock::time_point now) const {
    const auto due = coalescer_.DueAt();
    if (!due) return std::nullopt;
    // Rounded up: a wait that ends before the due time would only loop again.
    return std::max(Milliseconds{0}, std::chrono::ceil<Milliseconds>(*due - now));
}

void HotplugWatcher::Run() {
    for (;;) {
        const int events = source_->Wait(TimeUntilDue(Clock::now()));
        {
            std::lock_guard guard(stopLock_);
            if (stopping_) return;
        }
        if (events == DeviceEventSource::kSourceFailed) return;
        const Clock::time_point now = Clock::now();
        if (events > 0) coalescer_.OnEvents(now);
        if (coalescer_.FireIfDue(now)) {
            try {
                callback_();
            } catch (...) {
                // The list is refreshed again on the next event; a failing
                // callback must not take the watcher thread (and the program) down.
            }
        }
    }
}

}  // namespace hotplug
