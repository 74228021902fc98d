// Process and thread priorities, process ids, Sleep.
#include "serial/platform/win32_calls.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace winapi;
using namespace std::chrono_literals;

namespace {

int ownNice() { return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))); }

TEST(Process, CurrentProcessIdIsThePid) { EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid())); }

TEST(Process, OpenProcessGivesAHandleForPriorityChanges) {
    SetLastError(0xDEADBEEF);
    HANDLE process = OpenProcess(PROCESS_SET_INFORMATION, TRUE, GetCurrentProcessId());
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(SetPriorityClass(process, REALTIME_PRIORITY_CLASS), TRUE);
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    // Only the class the library asks for.
    for (DWORD other : {NORMAL_PRIORITY_CLASS, DWORD{0x12345}}) {
        EXPECT_EQ(SetPriorityClass(process, other), FALSE) << other;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << other;
    }
    EXPECT_EQ(CloseHandle(process), TRUE);
    EXPECT_EQ(SetPriorityClass(process, REALTIME_PRIORITY_CLASS), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// The library raises only its own process.
TEST(Process, OpenProcessOpensOnlyTheCallingProcess) {
    for (DWORD other : {DWORD{0}, static_cast<DWORD>(getppid())}) {
        EXPECT_EQ(OpenProcess(PROCESS_SET_INFORMATION, FALSE, other), nullptr) << other;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << other;
    }
}

TEST(Process, PriorityCallsRejectOtherHandleKinds) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(SetPriorityClass(event, REALTIME_PRIORITY_CLASS), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetThreadPriority(event, THREAD_PRIORITY_TIME_CRITICAL), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(event);
}

// On a thread of its own: the raised priority goes with it.
TEST(Thread, TimeCriticalRaisesTheCallingThreadWhereAllowed) {
    std::thread([] {
        ASSERT_EQ(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL), TRUE);
        if (geteuid() == 0) {
            EXPECT_EQ(ownNice(), -20);
        }
    }).join();
}

// Only the priority the library asks for.
TEST(Thread, OtherPrioritiesAreInvalid) {
    for (int priority : {THREAD_PRIORITY_NORMAL, 7}) {
        EXPECT_EQ(SetThreadPriority(GetCurrentThread(), priority), FALSE) << priority;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << priority;
    }
}

TEST(Time, SleepPausesAboutTheGivenTime) {
    auto start = std::chrono::steady_clock::now();
    Sleep(30);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 29ms);
    EXPECT_LT(elapsed, 5s);
}

}  // namespace
