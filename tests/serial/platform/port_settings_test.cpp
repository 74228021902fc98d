// DCB, buffer sizes and time-outs: validation, what reaches the device, what
// GetCommState reports back.
#include "serial/platform/posix/kernel_termios.h"
#include "tests/serial/platform/port_test_support.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace porttest;

namespace {

DCB stateOf(HANDLE port) {
    DCB dcb;
    std::memset(&dcb, 0xFF, sizeof dcb);
    EXPECT_EQ(GetCommState(port, &dcb), TRUE);
    return dcb;
}

TEST(CommState, FreshPortReportsRawDeviceAndDefaults) {
    VirtualPort v;
    DCB dcb = stateOf(v.port.get());
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.BaudRate, 38400u) << "a new tty's speed";
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fDummy2, 0u);
    EXPECT_TRUE(v.modem.end(0).settings().rawMode);
    EXPECT_TRUE(v.peer().lines().dsr) << "opening raises DTR";
}

TEST(CommState, EveryFieldSetIsReportedBack) {
    VirtualPort v;
    DCB want = stateOf(v.port.get());
    want.BaudRate = 57600;
    want.ByteSize = 7;
    want.Parity = EVENPARITY;
    want.StopBits = TWOSTOPBITS;
    want.fParity = 1;
    want.fAbortOnError = 1;
    want.fDtrControl = DTR_CONTROL_DISABLE;
    want.fRtsControl = RTS_CONTROL_ENABLE;
    want.fDsrSensitivity = 1;
    want.XonLim = 100;
    want.XoffLim = 200;
    want.XonChar = 0x21;
    want.XoffChar = 0x22;
    want.ErrorChar = '?';
    want.EofChar = 0x1A;
    want.EvtChar = '\n';
    SetLastError(kPoison);
    ASSERT_EQ(SetCommState(v.port.get(), &want), TRUE);
    EXPECT_EQ(GetLastError(), kPoison);
    DCB got = stateOf(v.port.get());
    EXPECT_EQ(std::memcmp(&got, &want, sizeof(DCB)), 0);
    auto s = v.modem.end(0).settings();
    EXPECT_EQ(s.baudRate, 57600u);
    EXPECT_EQ(s.byteSize, 7);
    EXPECT_EQ(s.parity, EVENPARITY);
    EXPECT_EQ(s.stopBits, TWOSTOPBITS);
    EXPECT_TRUE(s.rawMode);
    auto lines = v.peer().lines();
    EXPECT_FALSE(lines.dsr) << "DTR disabled";
    EXPECT_TRUE(lines.cts) << "RTS enabled";
}

struct LineCase {
    const char* name;
    DWORD baud;
    BYTE byteSize;
    BYTE parity;
    BYTE stopBits;
};

class LineSettings : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineSettings, ReachTheVirtualDevice) {
    const LineCase& c = GetParam();
    VirtualPort v;
    DCB dcb = stateOf(v.port.get());
    dcb.BaudRate = c.baud;
    dcb.ByteSize = c.byteSize;
    dcb.Parity = c.parity;
    dcb.StopBits = c.stopBits;
    ASSERT_EQ(SetCommState(v.port.get(), &dcb), TRUE);
    auto s = v.modem.end(0).settings();
    EXPECT_EQ(s.baudRate, c.baud);
    EXPECT_EQ(s.byteSize, c.byteSize);
    EXPECT_EQ(s.parity, c.parity);
    EXPECT_EQ(s.stopBits, c.stopBits);
    EXPECT_FALSE(s.ctsFlow);
    EXPECT_FALSE(s.xonOutput);
    DCB back = stateOf(v.port.get());
    EXPECT_EQ(back.BaudRate, c.baud);
    EXPECT_EQ(back.Parity, c.parity);
}

INSTANTIATE_TEST_SUITE_P(Virtual, LineSettings,
                         ::testing::Values(LineCase{"9600_8E1", 9600, 8, EVENPARITY, ONESTOPBIT},
                                           LineCase{"19200_7O2", 19200, 7, ODDPARITY, TWOSTOPBITS},
                                           LineCase{"300_5N15", 300, 5, NOPARITY, ONE5STOPBITS},
                                           LineCase{"115200_8M1", 115200, 8, MARKPARITY, ONESTOPBIT},
                                           LineCase{"4800_6S1", 4800, 6, SPACEPARITY, ONESTOPBIT},
                                           LineCase{"123457_8N1", 123457, 8, NOPARITY, ONESTOPBIT}),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadDcb {
    const char* name;
    void (*spoil)(DCB&);
};

class InvalidState : public ::testing::TestWithParam<BadDcb> {};

TEST_P(InvalidState, FailsWith87AndChangesNothing) {
    VirtualPort v;
    DCB good = stateOf(v.port.get());
    good.BaudRate = 4800;
    good.Parity = ODDPARITY;
    ASSERT_EQ(SetCommState(v.port.get(), &good), TRUE);
    posix::KernelTermios before = v.modem.end(0).termios();
    DCB bad = good;
    GetParam().spoil(bad);
    SetLastError(kPoison);
    EXPECT_EQ(SetCommState(v.port.get(), &bad), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    DCB after = stateOf(v.port.get());
    EXPECT_EQ(std::memcmp(&after, &good, sizeof(DCB)), 0);
    posix::KernelTermios now = v.modem.end(0).termios();
    EXPECT_EQ(std::memcmp(&now, &before, sizeof now), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Virtual, InvalidState,
    ::testing::Values(BadDcb{"baud_0", [](DCB& d) { d.BaudRate = 0; }},
                      BadDcb{"bytesize_0", [](DCB& d) { d.ByteSize = 0; }},
                      BadDcb{"bytesize_9", [](DCB& d) { d.ByteSize = 9; }},
                      BadDcb{"parity_7", [](DCB& d) { d.Parity = 7; }},
                      BadDcb{"stopbits_3", [](DCB& d) { d.StopBits = 3; }},
                      BadDcb{"one5_with_8_bits", [](DCB& d) { d.StopBits = ONE5STOPBITS; }},
                      BadDcb{"two_with_5_bits",
                             [](DCB& d) {
                                 d.ByteSize = 5;
                                 d.StopBits = TWOSTOPBITS;
                             }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommState, NullRecordIsInvalid) {
    VirtualPort v;
    EXPECT_EQ(SetCommState(v.port.get(), nullptr), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetCommState(v.port.get(), nullptr), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CommState, ClosingDropsDtrAndRts) {
    VirtualPort v;
    EXPECT_TRUE(v.peer().lines().dsr);
    v.port.reset();
    EXPECT_FALSE(v.peer().lines().dsr);
    EXPECT_FALSE(v.peer().lines().cts);
}

// A pty stores speed, CSTOPB and PARODD but forces CS8 and clears PARENB;
// the settings are read back from the device with TCGETS2.
struct PtyCase {
    const char* name;
    DWORD baud;
    BYTE parity;
    BYTE stopBits;
    bool bother;
    bool parodd;
};

class PtySettings : public ::testing::TestWithParam<PtyCase> {};

TEST_P(PtySettings, AreStoredInTheTty) {
    const PtyCase& c = GetParam();
    PtyPort p;
    ASSERT_NE(p.port.get(), INVALID_HANDLE_VALUE);
    DCB dcb = stateOf(p.port.get());
    dcb.BaudRate = c.baud;
    dcb.ByteSize = 8;
    dcb.Parity = c.parity;
    dcb.StopBits = c.stopBits;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;  // no modem lines on a pty: must not fail
    ASSERT_EQ(SetCommState(p.port.get(), &dcb), TRUE) << GetLastError();
    int fd = open(p.pty.slavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) GTEST_SKIP() << "cannot open the slave beside the port (not root)";
    posix::KernelTermios t;
    ASSERT_EQ(posix::readKernelTermios(fd, t), 0);
    close(fd);
    EXPECT_EQ(t.ospeed, c.baud);
    EXPECT_EQ((t.cflag & CBAUD) == posix::kTermiosBother, c.bother);
    EXPECT_EQ((t.cflag & CSTOPB) != 0, c.stopBits == TWOSTOPBITS);
    EXPECT_EQ((t.cflag & PARODD) != 0, c.parodd);
    EXPECT_EQ(t.lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(t.iflag & (INPCK | PARMRK), static_cast<tcflag_t>(INPCK | PARMRK));
    EXPECT_EQ(stateOf(p.port.get()).BaudRate, c.baud);
}

INSTANTIATE_TEST_SUITE_P(Pty, PtySettings,
                         ::testing::Values(PtyCase{"9600_even_one", 9600, EVENPARITY, ONESTOPBIT, false, false},
                                           PtyCase{"115200_odd_two", 115200, ODDPARITY, TWOSTOPBITS, false, true},
                                           PtyCase{"123457_mark_one", 123457, MARKPARITY, ONESTOPBIT, true, true},
                                           PtyCase{"250000_none_two", 250000, NOPARITY, TWOSTOPBITS, true,
                                                   false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Setup, RemembersSizesAndRejectsAbsurdOnes) {
    VirtualPort v;
    SetLastError(kPoison);
    EXPECT_EQ(SetupComm(v.port.get(), 4096, 2048), TRUE);
    EXPECT_EQ(GetLastError(), kPoison);
    EXPECT_EQ(SetupComm(v.port.get(), 0x7FFFFFFF, 2048), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Setup, LargerBufferHoldsMoreInput) {
    VirtualPort v;
    v.modem.end(0).setReceiveCapacity(20000);  // the line itself must not be the limit
    ASSERT_EQ(SetupComm(v.port.get(), 10000, 2048), TRUE);
    std::string block(9000, 'b');
    ASSERT_EQ(v.peer().write(block), block.size());
    EXPECT_TRUE(waitForInQueue(v.port.get(), 9000));
}

TEST(Timeouts, RoundTripAndInvalidTriple) {
    VirtualPort v;
    COMMTIMEOUTS t;
    std::memset(&t, 0xFF, sizeof t);
    ASSERT_EQ(GetCommTimeouts(v.port.get(), &t), TRUE);
    EXPECT_EQ(t.ReadIntervalTimeout, 0u) << "a new port has no time-outs";
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 0u);
    COMMTIMEOUTS want{MAXDWORD, 0, 0, 0, 2000};
    ASSERT_EQ(SetCommTimeouts(v.port.get(), &want), TRUE);
    COMMTIMEOUTS invalid{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
    SetLastError(kPoison);
    EXPECT_EQ(SetCommTimeouts(v.port.get(), &invalid), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    std::memset(&t, 0xFF, sizeof t);
    ASSERT_EQ(GetCommTimeouts(v.port.get(), &t), TRUE);
    EXPECT_EQ(std::memcmp(&t, &want, sizeof t), 0) << "the refused triple changed nothing";
}

TEST(ClearError, ReportsQueueCountsAndFillsEveryField) {
    VirtualPort v;
    v.peer().write("12345");
    ASSERT_TRUE(waitForInQueue(v.port.get(), 5));
    COMSTAT stat;
    std::memset(&stat, 0xFF, sizeof stat);
    DWORD errors = kPoison;
    SetLastError(kPoison);
    ASSERT_EQ(ClearCommError(v.port.get(), &errors, &stat), TRUE);
    EXPECT_EQ(GetLastError(), kPoison);
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(stat.cbInQue, 5u);
    EXPECT_EQ(stat.cbOutQue, 0u);
    EXPECT_EQ(stat.fReserved, 0u);
    EXPECT_EQ(ClearCommError(v.port.get(), nullptr, nullptr), TRUE);
}

}  // namespace

namespace {

// Every output record is written in full: the answer must not depend on
// what the caller's memory held before.
template <class Record, class Call>
void expectSameWhateverTheFill(Call call, const char* what) {
    Record zeros, ones;
    std::memset(&zeros, 0x00, sizeof zeros);
    std::memset(&ones, 0xFF, sizeof ones);
    SetLastError(kPoison);
    ASSERT_EQ(call(&zeros), TRUE) << what;
    ASSERT_EQ(call(&ones), TRUE) << what;
    EXPECT_EQ(GetLastError(), kPoison) << what << ": success leaves the last error alone";
    EXPECT_EQ(std::memcmp(&zeros, &ones, sizeof(Record)), 0) << what;
}

TEST(Records, OutputRecordsAreWrittenInFull) {
    VirtualPort v;
    HANDLE port = v.port.get();
    expectSameWhateverTheFill<DCB>([&](DCB* d) { return GetCommState(port, d); }, "GetCommState");
    expectSameWhateverTheFill<COMMTIMEOUTS>([&](COMMTIMEOUTS* t) { return GetCommTimeouts(port, t); },
                                            "GetCommTimeouts");
    expectSameWhateverTheFill<COMSTAT>([&](COMSTAT* s) { return ClearCommError(port, nullptr, s); },
                                       "ClearCommError");
    expectSameWhateverTheFill<DWORD>([&](DWORD* s) { return GetCommModemStatus(port, s); }, "GetCommModemStatus");
    expectSameWhateverTheFill<DWORD>([&](DWORD* e) { return ClearCommError(port, e, nullptr); },
                                     "ClearCommError errors");
}

TEST(Records, ImmediateReadFillsTheRecordWhateverItHeld) {
    VirtualPort v;
    setTimeouts(v.port.get(), MAXDWORD, 0, 0);
    for (unsigned char fill : {0x00, 0xFF}) {
        v.peer().write("ab");
        ASSERT_TRUE(waitForInQueue(v.port.get(), 2));
        Overlapped ov(fill);
        char buffer[4] = {};
        DWORD count = kPoison;
        ASSERT_EQ(ReadFile(v.port.get(), buffer, 4, &count, &ov.record), TRUE);
        EXPECT_EQ(count, 2u);
        EXPECT_EQ(ov.record.Internal, 0u);
        EXPECT_EQ(ov.record.InternalHigh, 2u);
        EXPECT_EQ(ov.record.Offset, fill == 0 ? 0u : 0xFFFFFFFFu) << "the offset is the caller's";
    }
}

}  // namespace
