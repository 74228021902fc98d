#include "app/refresh_coalescer.h"

#include <algorithm>

namespace hotplug {

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

}  // namespace hotplug
