#include "tests/app/manual_event_source.h"

namespace hotplug {

void ManualEventSource::Inject(int events) {
    {
        std::lock_guard guard(lock_);
        pending_ += events;
    }
    changed_.notify_all();
}

int ManualEventSource::Wait(std::optional<Milliseconds> timeout) {
    std::unique_lock guard(lock_);
    auto ready = [this] { return pending_ > 0 || interrupted_; };
    if (timeout)
        changed_.wait_for(guard, *timeout, ready);
    else
        changed_.wait(guard, ready);
    if (interrupted_) {
        interrupted_ = false;
        return 0;
    }
    const int taken = pending_;
    pending_ = 0;
    return taken;
}

void ManualEventSource::Interrupt() {
    {
        std::lock_guard guard(lock_);
        interrupted_ = true;
    }
    changed_.notify_all();
}

}  // namespace hotplug
