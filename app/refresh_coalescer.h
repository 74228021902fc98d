#pragma once
// The rate rule for hot-plug refreshes, shared by every window (udev on
// Linux, WM_DEVICECHANGE on Windows): when the list is rebuilt after device
// events, as a pure function of the event times. Portable: no OS header.
#include <chrono>
#include <optional>

namespace hotplug {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

struct CoalescingPolicy {
    Milliseconds minInterval{1000};  // never two callbacks closer than this
    Milliseconds settle{200};        // this much quiet ends a burst
};

// When the callback is due; the caller feeds it the clock. A burst is
// answered once it has been quiet for `settle`, but no later than
// `minInterval` after its first event (an endless stream still refreshes),
// and never sooner than `minInterval` after the last callback.
class RefreshCoalescer {
public:
    explicit RefreshCoalescer(CoalescingPolicy policy) : policy_(policy) {}

    void OnEvents(Clock::time_point now);
    // When the callback is due; nullopt while no event is pending.
    std::optional<Clock::time_point> DueAt() const;
    // True when the callback is due at now: the caller runs it, and the pending
    // events count as served.
    bool FireIfDue(Clock::time_point now);

private:
    CoalescingPolicy policy_;
    std::optional<Clock::time_point> firstPending_;
    Clock::time_point lastEvent_{};
    std::optional<Clock::time_point> lastFired_;
};

}  // namespace hotplug
