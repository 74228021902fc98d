// Process and thread priorities, process ids, Sleep.
#include "serial/platform/win32_calls.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

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
    EXPECT_EQ(SetPriorityClass(process, NORMAL_PRIORITY_CLASS), TRUE);
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    EXPECT_EQ(SetPriorityClass(process, 0x12345), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CloseHandle(process), TRUE);
    EXPECT_EQ(SetPriorityClass(process, NORMAL_PRIORITY_CLASS), FALSE);
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
    EXPECT_EQ(SetPriorityClass(event, NORMAL_PRIORITY_CLASS), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetThreadPriority(event, THREAD_PRIORITY_NORMAL), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(event);
}

TEST(Thread, TimeCriticalRaisesTheCallingThreadWhereAllowed) {
    int before = ownNice();
    ASSERT_EQ(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL), TRUE);
    if (geteuid() == 0) {
        EXPECT_EQ(ownNice(), -20);
    }
    EXPECT_EQ(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL), TRUE);
    if (geteuid() == 0) {
        EXPECT_EQ(ownNice(), before);
    }
}

TEST(Thread, UnknownPriorityIsInvalid) {
    EXPECT_EQ(SetThreadPriority(GetCurrentThread(), 7), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Time, SleepPausesAboutTheGivenTime) {
    auto start = std::chrono::steady_clock::now();
    Sleep(30);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 29ms);
    EXPECT_LT(elapsed, 5s);
}

}  // namespace
