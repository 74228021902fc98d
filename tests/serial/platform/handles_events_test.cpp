// Handle table, events and waits of the platform stand-in.
#include "serial/platform/win32_calls.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace winapi;
using namespace std::chrono_literals;

namespace {

constexpr DWORD kPoison = 0xDEADBEEF;

struct EventGuard {
    explicit EventGuard(HANDLE h) : handle(h) {}
    ~EventGuard() {
        if (handle) CloseHandle(handle);
    }
    HANDLE handle;
};

HANDLE manualEvent(bool signalled = false) { return CreateEventA(nullptr, TRUE, signalled, nullptr); }

HANDLE closedHandle() {
    HANDLE h = manualEvent();
    EXPECT_EQ(CloseHandle(h), TRUE);
    return h;
}

struct BadHandleCase {
    const char* name;
    HANDLE (*make)();
};

const BadHandleCase kBadHandles[] = {
    {"null", [] { return HANDLE{nullptr}; }},
    {"invalid_handle_value", [] { return INVALID_HANDLE_VALUE; }},
    {"unaligned", [] { return reinterpret_cast<HANDLE>(std::uintptr_t{0x1235}); }},
    {"never_issued", [] { return reinterpret_cast<HANDLE>(std::uintptr_t{0x7FFF'0000'0100}); }},
    {"closed", closedHandle},
};

class BadHandle : public ::testing::TestWithParam<BadHandleCase> {};

TEST_P(BadHandle, EveryCallFailsWithInvalidHandle) {
    HANDLE h = GetParam().make();
    SetLastError(kPoison);
    EXPECT_EQ(SetEvent(h), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(kPoison);
    EXPECT_EQ(ResetEvent(h), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(kPoison);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(kPoison);
    EXPECT_EQ(CloseHandle(h), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

INSTANTIATE_TEST_SUITE_P(Handles, BadHandle, ::testing::ValuesIn(kBadHandles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HandleTable, RecycledSlotDoesNotRevivePreviousHandle) {
    std::vector<HANDLE> first;
    for (int i = 0; i < 8; ++i) first.push_back(manualEvent());
    for (HANDLE h : first) ASSERT_EQ(CloseHandle(h), TRUE);
    std::vector<HANDLE> second;
    for (int i = 0; i < 64; ++i) second.push_back(manualEvent(true));
    for (HANDLE old : first) {
        for (HANDLE fresh : second) EXPECT_NE(old, fresh);
        EXPECT_EQ(SetEvent(old), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    for (HANDLE h : second) EXPECT_EQ(CloseHandle(h), TRUE);
}

TEST(HandleTable, CurrentThreadPseudoHandleIsNotAnEvent) {
    SetLastError(kPoison);
    EXPECT_EQ(SetEvent(GetCurrentThread()), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // The library never closes it: closing it is refused, as for any handle
    // that names nothing.
    SetLastError(kPoison);
    EXPECT_EQ(CloseHandle(GetCurrentThread()), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Events, CreateReturnsDistinctUsableHandlesAndKeepsLastError) {
    SetLastError(kPoison);
    EventGuard a(manualEvent()), b(manualEvent());
    ASSERT_NE(a.handle, nullptr);
    ASSERT_NE(a.handle, INVALID_HANDLE_VALUE);
    ASSERT_NE(a.handle, b.handle);
    EXPECT_EQ(SetEvent(a.handle), TRUE);
    EXPECT_EQ(ResetEvent(b.handle), TRUE);
    EXPECT_EQ(WaitForSingleObject(a.handle, 0), WAIT_OBJECT_0);
    EXPECT_EQ(GetLastError(), kPoison) << "successful calls must leave the last error alone";
}

TEST(Events, StaySignalledThroughWaitsUntilReset) {
    for (bool initial : {true, false}) {
        EventGuard e(manualEvent(initial));
        if (!initial) {
            ASSERT_EQ(SetEvent(e.handle), TRUE);
        }
        EXPECT_EQ(WaitForSingleObject(e.handle, 0), WAIT_OBJECT_0) << initial;
        EXPECT_EQ(WaitForSingleObject(e.handle, 0), WAIT_OBJECT_0) << initial;
    }
}

// The stand-in makes only what the library uses: manual-reset events and
// waits for any one of them.
TEST(Events, ModesTheLibraryNeverUsesAreRefused) {
    SetLastError(kPoison);
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EventGuard a(manualEvent(true)), b(manualEvent(true));
    HANDLE handles[] = {a.handle, b.handle};
    SetLastError(kPoison);
    EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Events, ResetClearsAManualEvent) {
    EventGuard e(manualEvent(true));
    EXPECT_EQ(ResetEvent(e.handle), TRUE);
    EXPECT_EQ(WaitForSingleObject(e.handle, 0), WAIT_TIMEOUT);
}

struct LowestIndexCase {
    std::vector<bool> signalled;
    DWORD expected;
};

void PrintTo(const LowestIndexCase& c, std::ostream* os) {
    for (bool s : c.signalled) *os << (s ? '1' : '0');
}

class WaitAny : public ::testing::TestWithParam<LowestIndexCase> {};

TEST_P(WaitAny, LowestSignalledIndexWinsAndManualEventsStaySet) {
    const auto& c = GetParam();
    std::vector<HANDLE> handles;
    for (bool s : c.signalled) handles.push_back(manualEvent(s));
    DWORD result = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, 0);
    EXPECT_EQ(result, c.expected);
    for (std::size_t i = 0; i < handles.size(); ++i) {
        EXPECT_EQ(WaitForSingleObject(handles[i], 0), c.signalled[i] ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        CloseHandle(handles[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Waits, WaitAny,
    ::testing::Values(LowestIndexCase{{true, true, true}, WAIT_OBJECT_0},
                      LowestIndexCase{{false, true, true}, WAIT_OBJECT_0 + 1},
                      LowestIndexCase{{false, false, true}, WAIT_OBJECT_0 + 2},
                      LowestIndexCase{{false, true, false}, WAIT_OBJECT_0 + 1},
                      LowestIndexCase{{false, false, false}, WAIT_TIMEOUT}));

TEST(Waits, BadHandleAmongGoodOnesFailsTheWholeWait) {
    EventGuard good(manualEvent(true));
    HANDLE handles[] = {good.handle, closedHandle()};
    SetLastError(kPoison);
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, INFINITE), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Waits, CountOutsideOneToSixtyFourIsInvalid) {
    std::vector<HANDLE> handles;
    for (int i = 0; i < 65; ++i) handles.push_back(manualEvent(true));
    for (DWORD count : {DWORD{0}, DWORD{65}}) {
        SetLastError(kPoison);
        EXPECT_EQ(WaitForMultipleObjects(count, handles.data(), FALSE, 0), WAIT_FAILED) << count;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << count;
    }
    EXPECT_EQ(WaitForMultipleObjects(64, handles.data(), FALSE, 0), WAIT_OBJECT_0);
    for (HANDLE h : handles) CloseHandle(h);
}

TEST(Waits, TimeoutEndsTheWaitWithinBounds) {
    EventGuard e(manualEvent());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(e.handle, 100), WAIT_TIMEOUT);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 95ms);
    EXPECT_LT(elapsed, 5s);
}

TEST(Waits, SetFromAnotherThreadReleasesAnInfiniteWait) {
    EventGuard a(manualEvent()), b(manualEvent()), c(manualEvent());
    std::thread setter([&] {
        std::this_thread::sleep_for(30ms);
        SetEvent(c.handle);
    });
    HANDLE handles[] = {a.handle, b.handle, c.handle};
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, INFINITE), WAIT_OBJECT_0 + 2);
    setter.join();
}

TEST(Waits, ConcurrentSettersAndWaitersNeverLoseAWakeUp) {
    // Ping-pong between two threads over two events, each reset by the side
    // it woke, as the library hands a byte over: a lost wake-up would leave
    // one side waiting until the bound runs out.
    EventGuard ping(manualEvent()), pong(manualEvent());
    constexpr int kRounds = 2000;
    std::atomic<int> failures{0};
    std::thread other([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (WaitForSingleObject(ping.handle, 5000) != WAIT_OBJECT_0) ++failures;
            ResetEvent(ping.handle);
            SetEvent(pong.handle);
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        SetEvent(ping.handle);
        if (WaitForSingleObject(pong.handle, 5000) != WAIT_OBJECT_0) ++failures;
        ResetEvent(pong.handle);
    }
    other.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST(Waits, ClosingAnEventWhileAnotherThreadWaitsIsSafe) {
    HANDLE e = manualEvent();
    std::thread waiter([&] { EXPECT_EQ(WaitForSingleObject(e, 100), WAIT_TIMEOUT); });
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(CloseHandle(e), TRUE);
    waiter.join();
}

TEST(LastError, IsPerThread) {
    SetLastError(kPoison);
    DWORD seenByOther = 1;
    std::thread([&] { seenByOther = GetLastError(); SetLastError(42); }).join();
    EXPECT_EQ(seenByOther, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), kPoison);
}

}  // namespace
