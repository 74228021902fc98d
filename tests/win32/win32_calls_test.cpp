// The serial library's platform calls on Windows (run under Wine): each seam
// function reaches the real call and brings back its result and error code.
// Only the seam's header is included, as the library itself does.
#include <gtest/gtest.h>

#include <array>

#include "serial/platform/win32_calls.h"

namespace {

using namespace winapi;

// A port that no test links to a device.
constexpr const char* kMissingPort = "\\\\.\\COM200";

struct Event {
    HANDLE handle;
    explicit Event(bool signalled) : handle(CreateEventA(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr)) {}
    ~Event() {
        if (handle != nullptr) CloseHandle(handle);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
};

TEST(Win32Calls, LastErrorIsKeptPerCall) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    SetLastError(0);
    EXPECT_EQ(GetLastError(), 0u);
}

TEST(Win32Calls, OpeningAMissingPortFailsWithError2) {
    SetLastError(0);
    const HANDLE port = CreateFileA(kMissingPort, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_EQ(port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Win32Calls, ManualResetEventsStaySignalledUntilReset) {
    Event event(false);
    ASSERT_NE(event.handle, nullptr);
    EXPECT_EQ(WaitForSingleObject(event.handle, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event.handle));
    EXPECT_EQ(WaitForSingleObject(event.handle, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event.handle, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event.handle));
    EXPECT_EQ(WaitForSingleObject(event.handle, 0), WAIT_TIMEOUT);
}

TEST(Win32Calls, WaitForAnyGivesTheLowestSignalledIndex) {
    const struct {
        std::array<bool, 3> signalled;
        DWORD expected;
    } kCases[] = {
        {{true, true, true}, WAIT_OBJECT_0},
        {{false, true, true}, WAIT_OBJECT_0 + 1},
        {{false, false, true}, WAIT_OBJECT_0 + 2},
        {{true, false, true}, WAIT_OBJECT_0},
        {{false, false, false}, WAIT_TIMEOUT},
    };
    for (const auto& c : kCases) {
        Event a(c.signalled[0]), b(c.signalled[1]), d(c.signalled[2]);
        const std::array<HANDLE, 3> handles = {a.handle, b.handle, d.handle};
        EXPECT_EQ(WaitForMultipleObjects(3, handles.data(), FALSE, 0), c.expected);
    }
}

TEST(Win32Calls, ABadHandleFailsTheWaitWithError6) {
    Event good(false);
    const std::array<HANDLE, 2> handles = {good.handle, reinterpret_cast<HANDLE>(std::uintptr_t{0x7FF0})};
    SetLastError(0);
    EXPECT_EQ(WaitForMultipleObjects(2, handles.data(), FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Win32Calls, ClosingTwiceFailsWithError6) {
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_TRUE(CloseHandle(event));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Win32Calls, CommCallsOnANonCommHandleFail) {
    Event event(false);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    EXPECT_FALSE(GetCommState(event.handle, &dcb));
    COMMTIMEOUTS timeouts{};
    EXPECT_FALSE(GetCommTimeouts(event.handle, &timeouts));
    EXPECT_FALSE(EscapeCommFunction(event.handle, SETDTR));
    EXPECT_NE(GetFileType(event.handle), FILE_TYPE_CHAR);
}

TEST(Win32Calls, PrioritiesCanBeRaisedAndRestored) {
    const HANDLE process = OpenProcess(PROCESS_SET_INFORMATION, FALSE, GetCurrentProcessId());
    ASSERT_NE(process, nullptr);
    EXPECT_TRUE(SetPriorityClass(process, NORMAL_PRIORITY_CLASS));
    EXPECT_TRUE(CloseHandle(process));
    EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL));
    EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL));
}

}  // namespace
