#pragma once
// Hot-plug notification for the device list: a watcher thread takes device
// events from a source and calls one callback, at most once per interval, after
// a burst of events (a converter plugged in gives several: the USB device, its
// interfaces, their ttyUSB nodes) has settled. Portable: the source is an
// interface; udev_event_source.h has the Linux one (the tests inject events
// through tests/app/manual_event_source.h).
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

namespace hotplug {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// Where device events come from.
class DeviceEventSource {
public:
    virtual ~DeviceEventSource() = default;
    // Blocks until at least one relevant event arrived, timeout passed (no
    // timeout: until an event or Interrupt) or Interrupt was called; returns the
    // number of relevant events taken, 0 on time-out or interruption, and
    // kSourceFailed when the source can deliver nothing any more.
    virtual int Wait(std::optional<Milliseconds> timeout) = 0;
    static constexpr int kSourceFailed = -1;
    // Makes a pending Wait, or the next one, return at once. Any thread.
    virtual void Interrupt() = 0;
};

// Which udev events change the list: a USB device or interface coming, going,
// or gaining or losing its driver, and a tty node coming or going.
bool IsRelevantDeviceEvent(std::string_view subsystem, std::string_view action);

struct CoalescingPolicy {
    Milliseconds minInterval{1000};  // never two callbacks closer than this
    Milliseconds settle{200};        // this much quiet ends a burst
};

// When the callback is due, as a pure function of the event times; the watcher
// feeds it the clock. A burst is answered once it has been quiet for `settle`,
// but no later than `minInterval` after its first event (an endless stream
// still refreshes), and never sooner than `minInterval` after the last callback.
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

// Runs the source on its own thread and calls the callback, on that thread,
// as the coalescer allows. A source that fails for good ends the thread (the
// program goes on without hot-plug refreshes); Stop still joins it. The callback must not throw, must not block for
// long (hand the work to the GUI thread) and must not destroy the watcher.
class HotplugWatcher {
public:
    using Callback = std::function<void()>;

    HotplugWatcher(std::unique_ptr<DeviceEventSource> source, Callback callback, CoalescingPolicy policy = {});
    ~HotplugWatcher();
    HotplugWatcher(const HotplugWatcher&) = delete;
    HotplugWatcher& operator=(const HotplugWatcher&) = delete;

    // Ends the thread and joins it; events still pending are dropped. A
    // callback under way finishes first. Idempotent; not from the callback.
    void Stop();

private:
    void Run();
    std::optional<Milliseconds> TimeUntilDue(Clock::time_point now) const;

    std::unique_ptr<DeviceEventSource> source_;
    Callback callback_;
    RefreshCoalescer coalescer_;
    std::mutex stopLock_;
    bool stopping_ = false;  // guarded by stopLock_
    std::thread thread_;
};

}  // namespace hotplug
