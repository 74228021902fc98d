// The hot-plug watcher without udev: which events count, the coalescing rule
// on a simulated clock, and the watcher thread driven by injected events.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "app/linux/hotplug.h"
#include "tests/app/manual_event_source.h"

namespace hotplug {
namespace {

using namespace std::chrono_literals;

TEST(HotplugEvents, WhichEventsCount) {
    struct Case {
        const char* subsystem;
        const char* action;
        bool relevant;
    };
    const std::vector<Case> cases = {
        {"usb", "add", true},     {"usb", "remove", true}, {"usb", "bind", true},   {"usb", "unbind", true},
        {"usb", "change", false}, {"usb", "move", false},  {"usb", "online", false}, {"tty", "add", true},
        {"tty", "remove", true},  {"tty", "change", false}, {"tty", "bind", false},  {"block", "add", false},
        {"net", "remove", false}, {"", "add", false},      {"usb", "", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsRelevantDeviceEvent(c.subsystem, c.action), c.relevant)
        << c.subsystem << " " << c.action;
}

// The coalescer on a simulated clock: events at given offsets, and the
// offsets at which the callback fires when the watcher looks at every due time.
struct Timeline {
    std::vector<int> eventsMs;
    std::vector<int> firesMs;
};

std::vector<int> Simulate(const std::vector<int>& eventsMs, CoalescingPolicy policy, int untilMs) {
    RefreshCoalescer coalescer(policy);
    const Clock::time_point start{};
    std::vector<int> fires;
    std::size_t next = 0;
    for (int t = 0; t <= untilMs; ++t) {
        const Clock::time_point now = start + Milliseconds(t);
        while (next < eventsMs.size() && eventsMs[next] == t) {
            coalescer.OnEvents(now);
            ++next;
        }
        if (coalescer.FireIfDue(now)) fires.push_back(t);
    }
    return fires;
}

TEST(RefreshCoalescer, Timelines) {
    const CoalescingPolicy policy{1000ms, 200ms};
    const std::vector<Timeline> cases = {
        {{}, {}},                                  // nothing happens
        {{0}, {200}},                              // one event: after the settle time
        {{0, 50, 100, 150}, {350}},                // a plug-in burst: once, 200 ms after its last event
        {{0, 2000}, {200, 2200}},                  // two separate plug-ins
        {{0, 300}, {200, 1200}},                   // the second comes after a callback: 1 s spacing
        {{0, 300, 400, 1100}, {200, 1300}},        // events while waiting for the spacing join the next call
        // A stream every 100 ms: no quiet time, yet a call at most 1 s after the
        // first pending event (1000, 2100), and the last event served one
        // interval after the call before it (3100).
        {{0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000, 1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800,
          1900, 2000, 2100, 2200},
         {1000, 2100, 3100}},
    };
    for (const Timeline& c : cases) {
        EXPECT_EQ(Simulate(c.eventsMs, policy, 5000), c.firesMs)
            << testing::PrintToString(c.eventsMs);
    }
}

TEST(RefreshCoalescer, NeverTwoCallsWithinTheInterval) {
    const CoalescingPolicy policy{1000ms, 200ms};
    std::vector<int> events;
    for (int t = 0; t < 10000; t += 37) events.push_back(t);
    const std::vector<int> fires = Simulate(events, policy, 12000);
    ASSERT_GE(fires.size(), 9u);
    for (std::size_t i = 1; i < fires.size(); ++i) EXPECT_GE(fires[i] - fires[i - 1], 1000);
    const int lastEvent = events.back();
    EXPECT_GE(fires.back(), lastEvent) << "the stream's last events are served";
    EXPECT_LE(fires.back(), lastEvent + 1000);
}

TEST(RefreshCoalescer, DueTimeOnlyWhilePending) {
    RefreshCoalescer coalescer({1000ms, 200ms});
    const Clock::time_point t0{};
    EXPECT_FALSE(coalescer.DueAt());
    EXPECT_FALSE(coalescer.FireIfDue(t0));
    coalescer.OnEvents(t0);
    ASSERT_TRUE(coalescer.DueAt());
    EXPECT_EQ(*coalescer.DueAt(), t0 + 200ms);
    EXPECT_FALSE(coalescer.FireIfDue(t0 + 199ms));
    EXPECT_TRUE(coalescer.FireIfDue(t0 + 200ms));
    EXPECT_FALSE(coalescer.DueAt());
    EXPECT_FALSE(coalescer.FireIfDue(t0 + 5000ms)) << "served events do not fire again";
}

// Counts callbacks and lets a test wait, bounded, for a number of them.
class CallbackLog {
public:
    void Record() {
        {
            std::lock_guard guard(lock_);
            times_.push_back(Clock::now());
        }
        changed_.notify_all();
    }
    bool WaitFor(std::size_t count, Milliseconds limit) {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, limit, [&] { return times_.size() >= count; });
    }
    std::vector<Clock::time_point> Times() {
        std::lock_guard guard(lock_);
        return times_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Clock::time_point> times_;
};

// A watcher over a manual source whose callback is logged, then runs `then`.
struct WatcherRig {
    explicit WatcherRig(CoalescingPolicy policy, std::function<void()> then = [] {}) {
        auto owned = std::make_unique<ManualEventSource>();
        source = owned.get();
        watcher = std::make_unique<HotplugWatcher>(
            std::move(owned),
            [this, then = std::move(then)] {
                log.Record();
                then();
            },
            policy);
    }
    CallbackLog log;
    ManualEventSource* source = nullptr;  // owned by the watcher
    std::unique_ptr<HotplugWatcher> watcher;
};

TEST(HotplugWatcher, BurstGivesOneCallback) {
    WatcherRig rig({300ms, 50ms});
    for (int i = 0; i < 20; ++i) rig.source->Inject();
    ASSERT_TRUE(rig.log.WaitFor(1, 5s));
    // Nothing more is pending: no second call however long we look (bounded).
    EXPECT_FALSE(rig.log.WaitFor(2, 700ms));
    rig.watcher->Stop();
    EXPECT_EQ(rig.log.Times().size(), 1u);
}

TEST(HotplugWatcher, CallbacksKeepTheirSpacing) {
    const Milliseconds interval = 250ms;
    WatcherRig rig({interval, 20ms});
    // Events keep coming for a while; the callbacks stay at least an interval apart.
    const Clock::time_point end = Clock::now() + 1200ms;
    while (Clock::now() < end) {
        rig.source->Inject();
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(rig.log.WaitFor(2, 5s));
    rig.watcher->Stop();
    const auto times = rig.log.Times();
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], interval);
}

TEST(HotplugWatcher, StopEndsAnIdleWaitAndDropsPendingEvents) {
    WatcherRig rig({10s, 10s});
    rig.source->Inject(3);
    const Clock::time_point before = Clock::now();
    rig.watcher->Stop();
    EXPECT_LT(Clock::now() - before, 5s) << "Stop must not wait for the 10 s due time";
    EXPECT_TRUE(rig.log.Times().empty());
    rig.watcher->Stop();  // idempotent
}

TEST(HotplugWatcher, ThrowingCallbackDoesNotEndTheWatcher) {
    std::atomic<int> calls{0};
    WatcherRig rig({50ms, 10ms}, [&] {
        if (++calls == 1) throw std::runtime_error("refresh failed");
    });
    rig.source->Inject();
    ASSERT_TRUE(rig.log.WaitFor(1, 5s));
    rig.source->Inject();
    EXPECT_TRUE(rig.log.WaitFor(2, 5s));
}

// A source that delivers a few events and then breaks down.
class BreakingSource final : public DeviceEventSource {
public:
    int Wait(std::optional<Milliseconds>) override { return ++waits_ == 1 ? 1 : kSourceFailed; }
    void Interrupt() override {}
    int Waits() const { return waits_; }

private:
    std::atomic<int> waits_{0};
};

TEST(HotplugWatcher, FailedSourceEndsTheThreadWithoutSpinning) {
    auto owned = std::make_unique<BreakingSource>();
    BreakingSource* source = owned.get();
    std::atomic<int> calls{0};
    HotplugWatcher watcher(std::move(owned), [&] { ++calls; }, {10ms, 1ms});
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(source->Waits(), 2) << "no further waits after the failure";
    EXPECT_EQ(calls.load(), 0) << "the pending event is dropped with the source";
    watcher.Stop();
}

TEST(ManualEventSource, WaitReturnsEventsTimeoutsAndInterrupts) {
    ManualEventSource source;
    EXPECT_EQ(source.Wait(10ms), 0);
    source.Inject(2);
    source.Inject();
    EXPECT_EQ(source.Wait(10ms), 3);
    EXPECT_EQ(source.Wait(0ms), 0) << "events are taken once";
    source.Interrupt();
    EXPECT_EQ(source.Wait(std::nullopt), 0) << "an interrupt before the wait still releases it";
    std::thread releaser([&] {
        std::this_thread::sleep_for(20ms);
        source.Interrupt();
    });
    EXPECT_EQ(source.Wait(std::nullopt), 0);
    releaser.join();
}

}  // namespace
}  // namespace hotplug
