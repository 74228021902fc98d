// The hand-over of calls to the main thread, and the thread base built on it.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "serial/main_thread.h"
#include "serial/platform/win32_calls.h"
#include "serial/src/dispatcher.h"
#include "serial/src/thread.h"
#include "tests/serial/support/pty_port.h"
#include "tests/serial/support/wake_counter.h"

namespace winseria {
namespace {

using namespace std::chrono_literals;
using test::Eventually;

using test::WakeCounter;

class MainThread : public ::testing::Test {
protected:
    void SetUp() override { dispatch::BecomeMainThread(); }
    void TearDown() override { ServeMainThreadCalls(); }
    // Hands `call` to the main thread from a thread of its own.
    std::future<bool> HandOver(std::function<void()> call) {
        return std::async(std::launch::async,
                          [this, call = std::move(call)] { return dispatch::RunOnMainThread(call, released); });
    }
    std::atomic<bool> released{false};
    WakeCounter wakes;
};

TEST_F(MainThread, AQueuedCallRunsOnlyWhenServedAndOnTheMainThread) {
    std::thread::id ranOn;
    auto handedOver = HandOver([&] { ranOn = std::this_thread::get_id(); });
    ASSERT_TRUE(wakes.waitFor(1));
    EXPECT_EQ(handedOver.wait_for(50ms), std::future_status::timeout);  // blocked until served
    ServeMainThreadCalls();
    EXPECT_TRUE(handedOver.get());
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(MainThread, ServingFromAnotherThreadDoesNothing) {
    std::atomic<int> runs{0};
    auto handedOver = HandOver([&] { ++runs; });
    ASSERT_TRUE(wakes.waitFor(1));
    std::thread([] { ServeMainThreadCalls(); }).join();
    EXPECT_EQ(runs.load(), 0);
    EXPECT_EQ(dispatch::ServePending(), 1u);
    EXPECT_TRUE(handedOver.get());
    EXPECT_EQ(runs.load(), 1);
}

TEST_F(MainThread, ReleaseWithdrawsACallThatHasNotRun) {
    std::atomic<int> runs{0};
    auto handedOver = HandOver([&] { ++runs; });
    ASSERT_TRUE(wakes.waitFor(1));
    released = true;
    dispatch::Notify();
    EXPECT_FALSE(handedOver.get());
    EXPECT_EQ(dispatch::ServePending(), 0u);
    EXPECT_EQ(runs.load(), 0);
}

// Calls of several threads queued at once: a release withdraws exactly the
// calls whose own flag it set, wherever they stand in the queue, and the
// queue takes new calls behind the ones left.
TEST_F(MainThread, ReleaseWithdrawsOnlyTheReleasedThreadsCalls) {
    struct Row {
        const char* released;  // which of the three queued calls are released, by position
        std::vector<int> ran;  // the calls served, the one queued after the release last
    };
    const Row rows[] = {
        {"100", {2, 3, 4}}, {"010", {1, 3, 4}}, {"001", {1, 2, 4}}, {"011", {1, 4}}, {"111", {4}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.released);
        std::array<std::atomic<bool>, 4> flags{};
        std::vector<int> ran;
        std::array<std::future<bool>, 4> handedOver;
        // Should an assertion end the row early, its callers are released
        // before their futures wait for them.
        struct ReleaseAll {
            std::array<std::atomic<bool>, 4>& flags;
            ~ReleaseAll() {
                for (auto& flag : flags) flag = true;
                dispatch::Notify();
            }
        } releaseAll{flags};
        auto queue = [&](int call) {
            handedOver[call - 1] = std::async(std::launch::async, [&, call] {
                return dispatch::RunOnMainThread([&ran, call] { ran.push_back(call); }, flags[call - 1]);
            });
        };
        const int wokenBefore = wakes.calls();
        for (int call = 1; call <= 3; ++call) {
            queue(call);
            ASSERT_TRUE(wakes.waitFor(wokenBefore + call));
        }
        for (int i = 0; i < 3; ++i) flags[i] = row.released[i] == '1';
        dispatch::Notify();
        for (int i = 0; i < 3; ++i) {
            if (row.released[i] != '1') continue;
            ASSERT_EQ(handedOver[i].wait_for(3s), std::future_status::ready);
            EXPECT_FALSE(handedOver[i].get());
        }
        queue(4);
        ASSERT_TRUE(wakes.waitFor(wokenBefore + 4));
        EXPECT_EQ(dispatch::ServePending(), row.ran.size());
        EXPECT_EQ(ran, row.ran);
        for (int i = 0; i < 4; ++i) {
            if (!handedOver[i].valid()) continue;
            ASSERT_EQ(handedOver[i].wait_for(3s), std::future_status::ready);
            EXPECT_TRUE(handedOver[i].get());
        }
    }
}

TEST_F(MainThread, AnAlreadyReleasedThreadQueuesNothing) {
    released = true;
    bool ran = false;
    std::thread([&] { EXPECT_FALSE(dispatch::RunOnMainThread([&] { ran = true; }, released)); }).join();
    EXPECT_EQ(dispatch::ServePending(), 0u);
    EXPECT_FALSE(ran);
    EXPECT_EQ(wakes.calls(), 0);
}

TEST_F(MainThread, ACallThatHasBegunIsWaitedForEvenWhenReleased) {
    std::atomic<bool> finished{false};
    auto handedOver = HandOver([&] {
        released = true;
        dispatch::Notify();
        std::this_thread::sleep_for(30ms);
        finished = true;
    });
    ASSERT_TRUE(wakes.waitFor(1));
    ServeMainThreadCalls();
    EXPECT_TRUE(handedOver.get());
    EXPECT_TRUE(finished.load());
}

TEST_F(MainThread, CallsRunInTheOrderTheyCame) {
    std::vector<int> order;
    auto first = HandOver([&] { order.push_back(1); });
    ASSERT_TRUE(wakes.waitFor(1));
    auto second = HandOver([&] { order.push_back(2); });
    ASSERT_TRUE(wakes.waitFor(2));
    EXPECT_EQ(dispatch::ServePending(), 2u);
    EXPECT_TRUE(first.get());
    EXPECT_TRUE(second.get());
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST_F(MainThread, ServingRunsOnlyTheCallsWaitingWhenItStarts) {
    std::future<bool> second;
    auto first = HandOver([&] {
        second = HandOver([] {});  // a call that arrives while the main thread serves
        wakes.waitFor(2);
    });
    ASSERT_TRUE(wakes.waitFor(1));
    EXPECT_EQ(dispatch::ServePending(), 1u);
    EXPECT_TRUE(first.get());
    ASSERT_TRUE(wakes.waitFor(2));
    EXPECT_EQ(second.wait_for(50ms), std::future_status::timeout);
    EXPECT_EQ(dispatch::ServePending(), 1u);
    EXPECT_TRUE(second.get());
}

TEST_F(MainThread, AServedCallKeepsTheMainThreadsLastError) {
    auto handedOver = HandOver([] { winapi::SetLastError(995); });
    ASSERT_TRUE(wakes.waitFor(1));
    winapi::SetLastError(1234);
    ServeMainThreadCalls();
    EXPECT_EQ(winapi::GetLastError(), 1234u);
    EXPECT_TRUE(handedOver.get());
}

TEST_F(MainThread, OnTheMainThreadACallRunsAtOnce) {
    bool ran = false;
    EXPECT_TRUE(dispatch::RunOnMainThread([&] { ran = true; }, released));
    EXPECT_TRUE(ran);
    EXPECT_EQ(wakes.calls(), 0);
}

TEST_F(MainThread, ReplacingTheHookWaitsForARunningCall) {
    std::atomic<bool> hookStarted{false};
    std::atomic<bool> hookFinished{false};
    SetMainThreadWakeHook([&] {
        hookStarted = true;
        std::this_thread::sleep_for(100ms);
        hookFinished = true;
    });
    auto handedOver = HandOver([] {});
    ASSERT_TRUE(Eventually([&] { return hookStarted.load(); }));
    SetMainThreadWakeHook({});
    EXPECT_TRUE(hookFinished.load());
    ServeMainThreadCalls();
    EXPECT_TRUE(handedOver.get());
}

// A thread whose body hands `handOvers` calls to the main thread.
class HandingThread : public TThread {
public:
    explicit HandingThread(int handOvers) : handOvers_(handOvers) { Start(); }
    ~HandingThread() override { StopAndJoin(); }
    void Stop() { RequestStop(); }
    std::atomic<int> served{0};
    std::atomic<int> refused{0};

protected:
    void Run() override {
        for (int i = 0; i < handOvers_ && !Terminated(); ++i) {
            if (Synchronize([this] { ++served; })) continue;
            ++refused;
        }
    }

private:
    int handOvers_;
};

TEST_F(MainThread, WaitForOnTheMainThreadServesTheThreadsHandOvers) {
    HandingThread thread(3);
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());
    EXPECT_EQ(thread.served.load(), 3);
}

TEST_F(MainThread, AStopReleasesAThreadWaitingForTheMainThread) {
    HandingThread thread(1);
    ASSERT_TRUE(wakes.waitFor(1));
    // Stopped and waited for from a thread that does not serve.
    std::thread([&] {
        thread.Stop();
        thread.WaitFor();
    }).join();
    EXPECT_TRUE(thread.Finished());
    EXPECT_EQ(thread.served.load(), 0);
    EXPECT_EQ(thread.refused.load(), 1);
}

TEST_F(MainThread, DestroyingARunningThreadStopsAndJoinsIt) {
    test::SettleThreads();
    const std::size_t before = test::ThreadCount();
    auto thread = std::make_unique<HandingThread>(1000);
    ASSERT_TRUE(wakes.waitFor(1));
    EXPECT_EQ(test::ThreadCount(), before + 1);
    thread.reset();
    EXPECT_EQ(test::ThreadCountOnceItIs(before), before);
}

}  // namespace
}  // namespace winseria
