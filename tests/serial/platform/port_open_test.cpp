// Opening ports: name resolution, missing devices, exclusive use, file types,
// and the failure of every comm call on a handle that is not a port.
#include "serial/platform/posix/kernel_termios.h"
#include "tests/serial/platform/port_test_support.h"

using namespace porttest;
using torvane::testing::PortsDir;
using torvane::testing::PtyPair;

namespace {

struct MissingCase {
    const char* name;
    const char* fileName;
};

class MissingDevice : public ::testing::TestWithParam<MissingCase> {};

// Only a terminal opens as a port: whatever else a name reaches is a
// missing device, as a name that reaches nothing is.
TEST_P(MissingDevice, FailsWithFileNotFound) {
    PortsDir dir;
    dir.link(5, "/nonexistent/device");  // a dangling link is a missing device
    dir.linkRegularFile(13);
    dir.linkFifo(14);
    dir.link(15, dir.path());
    SetLastError(kPoison);
    HANDLE h = CreateFileA(GetParam().fileName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(Open, MissingDevice,
                         ::testing::Values(MissingCase{"no_link", "\\\\.\\COM4"},
                                           MissingCase{"dangling_link", "\\\\.\\COM5"},
                                           MissingCase{"regular_file", "\\\\.\\COM13"},
                                           MissingCase{"fifo", "\\\\.\\COM14"},
                                           MissingCase{"directory", "\\\\.\\COM15"},
                                           MissingCase{"com0", "\\\\.\\COM0"},
                                           MissingCase{"com256", "\\\\.\\COM256"},
                                           MissingCase{"not_a_port_name", "\\\\.\\PIPE\\x"},
                                           MissingCase{"null_name", nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Open, PtyThroughPortsDirIsACharacterDeviceWithOrWithoutOverlapped) {
    for (bool overlapped : {true, false}) {
        PtyPort p(overlapped);
        ASSERT_NE(p.port.get(), INVALID_HANDLE_VALUE) << GetLastError();
        ASSERT_NE(p.port.get(), nullptr);
        SetLastError(kPoison);
        EXPECT_EQ(GetFileType(p.port.get()), FILE_TYPE_CHAR) << overlapped;
        EXPECT_EQ(GetLastError(), kPoison);
    }
}

TEST(Open, SecondOpenInTheSameProcessIsDenied) {
    PtyPort p;
    ASSERT_NE(p.port.get(), INVALID_HANDLE_VALUE);
    p.dir.link(8, p.pty.slavePath());  // another name for the same device
    for (unsigned number : {7u, 8u}) {
        SetLastError(kPoison);
        EXPECT_EQ(openCom(number), INVALID_HANDLE_VALUE) << number;
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << number;
    }
    p.port.reset();
    Handle again(openCom(8));
    EXPECT_NE(again.get(), INVALID_HANDLE_VALUE) << "closing releases the device";
}

TEST(Open, DeviceLockedByAnotherProcessIsDenied) {
    PtyPair pty;
    PortsDir dir;
    dir.link(7, pty.slavePath());
    torvane::testing::HeldByAnotherProcess holder(pty.slavePath(), false);
    ASSERT_TRUE(holder.held());
    SetLastError(kPoison);
    Handle denied(openCom(7));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(denied.get(), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(holder.release());
    Handle after(openCom(7));
    EXPECT_NE(after.get(), INVALID_HANDLE_VALUE) << "free again once the other process is gone";
}

TEST(Open, OnlyOpenExistingIsAccepted) {
    PtyPort p;
    p.dir.link(6, p.pty.slavePath());
    HANDLE h = CreateFileA("\\\\.\\COM6", GENERIC_READ | GENERIC_WRITE, 0, nullptr, 2 /* CREATE_ALWAYS */, 0,
                           nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Open, VirtualEndByNumberTakesPrecedenceAndIsExclusive) {
    VirtualPort v;
    ASSERT_NE(v.port.get(), INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_TRUE(v.modem.end(0).isOpen());
    EXPECT_FALSE(v.peer().isOpen());
    EXPECT_EQ(GetFileType(v.port.get()), FILE_TYPE_CHAR);
    SetLastError(kPoison);
    EXPECT_EQ(openCom(9), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    v.port.reset();
    EXPECT_FALSE(v.modem.end(0).isOpen());
}

TEST(Open, VirtualEndByLinkTarget) {
    PortsDir dir;
    posix::VirtualNullModem modem;
    modem.registerPath(0, "/virtual/cable-a");
    dir.link(12, "/virtual/cable-a");
    Handle h(openCom(12));
    ASSERT_NE(h.get(), INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_TRUE(modem.end(0).isOpen());
}

TEST(Open, BothEndsAsPortsTalkToEachOther) {
    PortsDir dir;
    posix::VirtualNullModem modem;
    modem.registerPort(0, 20);
    modem.registerPort(1, 21);
    Handle a(openCom(20)), b(openCom(21));
    ASSERT_NE(a.get(), INVALID_HANDLE_VALUE);
    ASSERT_NE(b.get(), INVALID_HANDLE_VALUE);
    setTimeouts(b.get(), 0, 0, 2000);
    Overlapped written, read;
    DWORD n = 0;
    WriteFile(a.get(), "hi", 2, nullptr, &written.record);
    ASSERT_EQ(GetOverlappedResult(a.get(), &written.record, &n, TRUE), TRUE);
    char got[2] = {};
    ReadFile(b.get(), got, 2, nullptr, &read.record);
    ASSERT_EQ(GetOverlappedResult(b.get(), &read.record, &n, TRUE), TRUE);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(std::string(got, 2), "hi");
}

TEST(Open, UnregisteredWhenTheModemGoes) {
    PortsDir dir;
    {
        posix::VirtualNullModem modem;
        modem.registerPort(0, 30);
    }
    EXPECT_EQ(openCom(30), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// Every comm call on a handle that names no port fails with error 6 and
// leaves the caller's records alone.
TEST(Open, CommCallsOnBadHandlesFailWithInvalidHandle) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE closed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(closed);
    for (HANDLE h : {HANDLE{nullptr}, INVALID_HANDLE_VALUE, event, closed}) {
        DCB dcb;
        std::memset(&dcb, 0xFF, sizeof dcb);
        COMMTIMEOUTS t;
        std::memset(&t, 0xFF, sizeof t);
        DWORD value = kPoison;
        auto expect6 = [&](BOOL result, const char* call) {
            EXPECT_EQ(result, FALSE) << call;
            EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << call;
            SetLastError(kPoison);
        };
        SetLastError(kPoison);
        expect6(GetCommState(h, &dcb), "GetCommState");
        expect6(SetCommState(h, &dcb), "SetCommState");
        expect6(SetupComm(h, 4096, 2048), "SetupComm");
        expect6(GetCommTimeouts(h, &t), "GetCommTimeouts");
        expect6(SetCommTimeouts(h, &t), "SetCommTimeouts");
        expect6(PurgeComm(h, PURGE_RXCLEAR), "PurgeComm");
        expect6(ClearCommError(h, &value, nullptr), "ClearCommError");
        expect6(SetCommMask(h, EV_RXCHAR), "SetCommMask");
        expect6(EscapeCommFunction(h, SETDTR), "EscapeCommFunction");
        expect6(GetCommModemStatus(h, &value), "GetCommModemStatus");
        char byte = 0;
        expect6(ReadFile(h, &byte, 1, &value, nullptr), "ReadFile");
        EXPECT_EQ(value, 0u) << "ReadFile clears the count first";
        value = kPoison;
        expect6(WriteFile(h, &byte, 1, &value, nullptr), "WriteFile");
        EXPECT_EQ(GetFileType(h), FILE_TYPE_UNKNOWN);
        DCB untouched;
        std::memset(&untouched, 0xFF, sizeof untouched);
        EXPECT_EQ(std::memcmp(&dcb, &untouched, sizeof dcb), 0);
    }
    CloseHandle(event);
}

}  // namespace
