// Line-event waits, modem lines and line errors.
#include "tests/serial/platform/port_test_support.h"

using namespace porttest;
using winapi::posix::VirtualLineFault;

namespace {

class Events : public OnEachDevice<true> {};

INSTANTIATE_TEST_SUITE_P(LineEvents, Events, kBothDevices, deviceParamName);

TEST_P(Events, SetCommMaskReleasesThePendingWaitWithMaskZero) {
    ASSERT_EQ(SetCommMask(port, EV_RXCHAR), TRUE);
    Overlapped ov(0xFF);
    DWORD mask = kPoison;
    ASSERT_EQ(WaitCommEvent(port, &mask, &ov.record), FALSE);
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_EQ(mask, kPoison) << "written only at completion";
    EXPECT_FALSE(ov.signalled());
    ASSERT_EQ(SetCommMask(port, EV_RXCHAR | EV_TXEMPTY), TRUE);
    ASSERT_TRUE(ov.signalled(2000));
    DWORD count = kPoison;
    EXPECT_EQ(GetOverlappedResult(port, &ov.record, &count, FALSE), TRUE);
    EXPECT_EQ(mask, 0u);
    EXPECT_EQ(count, sizeof(DWORD));
}

TEST_P(Events, SecondWaitAndEmptyMaskAreInvalid) {
    DWORD mask = 0;
    Overlapped first, second;
    SetLastError(kPoison);
    EXPECT_EQ(WaitCommEvent(port, &mask, &first.record), FALSE) << "mask 0";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(SetCommMask(port, EV_RXCHAR), TRUE);
    ASSERT_EQ(WaitCommEvent(port, &mask, &first.record), FALSE);
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    DWORD other = kPoison;
    EXPECT_EQ(WaitCommEvent(port, &other, &second.record), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(other, kPoison);
    bench->send("r");
    ASSERT_TRUE(first.signalled(3000)) << "the first wait is still alive";
    EXPECT_EQ(mask, EV_RXCHAR);
}

TEST_P(Events, UnknownMaskBitsAreInvalid) {
    EXPECT_EQ(SetCommMask(port, 0x2000), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetCommMask(port, 0x1FFF), TRUE) << "the driver's extra events are accepted";
}

TEST_P(Events, ReceivedCharacterCompletesTheWait) {
    ASSERT_EQ(SetCommMask(port, 0x1FF), TRUE);
    Overlapped ov;
    DWORD mask = kPoison;
    ASSERT_EQ(WaitCommEvent(port, &mask, &ov.record), FALSE);
    bench->send("x");
    DWORD count = 0;
    ASSERT_EQ(GetOverlappedResult(port, &ov.record, &count, TRUE), TRUE);
    EXPECT_TRUE(mask & EV_RXCHAR) << mask;
    EXPECT_EQ(mask & ~(EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_RING), 0u) << mask;
}

TEST_P(Events, EventsWithoutAWaitAreRemembered) {
    ASSERT_EQ(SetCommMask(port, EV_RXCHAR), TRUE);
    bench->send("m");
    ASSERT_TRUE(waitForInQueue(port, 1));
    Overlapped ov;
    DWORD mask = kPoison;
    ASSERT_EQ(WaitCommEvent(port, &mask, &ov.record), TRUE) << "completes at once";
    EXPECT_EQ(mask, EV_RXCHAR);
    EXPECT_TRUE(ov.signalled());
    ASSERT_EQ(WaitCommEvent(port, &mask, &ov.record), FALSE) << "remembered only once";
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    ASSERT_EQ(SetCommMask(port, 0), TRUE);
}

TEST_P(Events, EventsOutsideTheMaskAreNotReported) {
    ASSERT_EQ(SetCommMask(port, EV_TXEMPTY), TRUE);
    Overlapped ov;
    DWORD mask = kPoison;
    ASSERT_EQ(WaitCommEvent(port, &mask, &ov.record), FALSE);
    bench->send("n");
    ASSERT_TRUE(waitForInQueue(port, 1));
    EXPECT_FALSE(ov.signalled(50));
    Overlapped wov;
    DWORD written = 0;
    ASSERT_TRUE(completed(port, WriteFile(port, "o", 1, &written, &wov.record), wov, written)) << GetLastError();
    DWORD count = 0;
    ASSERT_EQ(GetOverlappedResult(port, &ov.record, &count, TRUE), TRUE);
    EXPECT_EQ(mask, EV_TXEMPTY);
}

TEST_P(Events, CloseAbortsThePendingWait) {
    ASSERT_EQ(SetCommMask(port, EV_RXCHAR), TRUE);
    Overlapped ov;
    DWORD mask = kPoison;
    ASSERT_EQ(WaitCommEvent(port, &mask, &ov.record), FALSE);
    ASSERT_EQ(CloseHandle(port), TRUE);
    DWORD count = 0;
    EXPECT_EQ(GetOverlappedResult(port, &ov.record, &count, TRUE), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(mask, kPoison);
}

// ---- modem lines on the virtual null-modem ----

struct LineAction {
    const char* name;
    void (*act)(posix::VirtualNullModem::End& peer);
    DWORD expectedEvents;
    DWORD expectedStatus;
};

const LineAction kLineActions[] = {
    {"peer_rts_on", [](auto& p) { p.setRts(true); }, EV_CTS, MS_CTS_ON},
    {"peer_dtr_on", [](auto& p) { p.setDtr(true); }, EV_DSR | EV_RLSD, MS_DSR_ON | MS_RLSD_ON},
    {"peer_ring_on", [](auto& p) { p.setRing(true); }, EV_RING, MS_RING_ON},
    {"peer_all_on",
     [](auto& p) {
         p.setDtr(true);
         p.setRts(true);
     },
     EV_CTS | EV_DSR | EV_RLSD, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON},
};

class ModemLines : public ::testing::TestWithParam<LineAction> {};

TEST_P(ModemLines, PeerOutputsBecomeEventsAndStatus) {
    VirtualPort v;
    const LineAction& a = GetParam();
    DWORD status = kPoison;
    ASSERT_EQ(GetCommModemStatus(v.port.get(), &status), TRUE);
    EXPECT_EQ(status, 0u);
    ASSERT_EQ(SetCommMask(v.port.get(), EV_CTS | EV_DSR | EV_RLSD | EV_RING), TRUE);
    a.act(v.peer());
    auto deadline = Clock::now() + 3s;
    DWORD seen = 0;
    while ((seen & a.expectedEvents) != a.expectedEvents && Clock::now() < deadline) {
        Overlapped ov;
        DWORD mask = 0;
        if (!WaitCommEvent(v.port.get(), &mask, &ov.record)) {
            if (!ov.signalled(3000)) break;
        }
        seen |= mask;
    }
    EXPECT_EQ(seen, a.expectedEvents);
    ASSERT_EQ(GetCommModemStatus(v.port.get(), &status), TRUE);
    EXPECT_EQ(status, a.expectedStatus);
}

INSTANTIATE_TEST_SUITE_P(Virtual, ModemLines, ::testing::ValuesIn(kLineActions),
                         [](const auto& info) { return std::string(info.param.name); });

// A device whose driver counts line changes (a USB converter's tty) has its
// lines read only when the count moved: wake-ups for data read none, and a
// counted change, which wakes nothing, is still raised by the sampling. Any
// other device has them read at every wake-up.
struct CountCase {
    const char* name;
    bool counts;
    bool readsOnDataWakeUps;
};

const CountCase kCountCases[] = {{"uncounted", false, true}, {"counted", true, false}};

class LineCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(LineCounts, LinesAreReadWhenTheyMayHaveChanged) {
    torvane::testing::PortsDir dir;
    posix::VirtualNullModem modem;
    modem.registerPort(0, 9);
    if (GetParam().counts) modem.end(0).countLineChanges();
    Handle port;
    port.value = openCom(9);
    ASSERT_NE(port.get(), INVALID_HANDLE_VALUE) << GetLastError();
    ASSERT_EQ(SetCommMask(port.get(), EV_RXCHAR | EV_CTS), TRUE);
    auto waitFor = [&](auto act) {
        Overlapped ov;
        DWORD mask = 0;
        if (!WaitCommEvent(port.get(), &mask, &ov.record)) {
            act();
            if (!ov.signalled(3000)) return DWORD{0};
        }
        return mask;
    };
    const std::size_t before = modem.end(0).lineReads();
    constexpr std::size_t kWakeUps = 4;
    for (std::size_t i = 0; i < kWakeUps; ++i) {
        ASSERT_EQ(waitFor([&] { modem.end(1).write("x"); }), DWORD{EV_RXCHAR});
        std::this_thread::sleep_for(30ms);  // past the sample after the event, and a periodic one
    }
    const std::size_t reads = modem.end(0).lineReads() - before;
    if (GetParam().readsOnDataWakeUps)
        EXPECT_GE(reads, kWakeUps);
    else
        EXPECT_EQ(reads, 0u);
    EXPECT_EQ(waitFor([&] { modem.end(1).setRts(true); }), DWORD{EV_CTS});
}

INSTANTIATE_TEST_SUITE_P(Virtual, LineCounts, ::testing::ValuesIn(kCountCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct EscapeCase {
    DWORD function;
    bool dsrAtPeer;
    bool ctsAtPeer;
};

class EscapeFunctions : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeFunctions, SwitchTheLinesThePeerSees) {
    VirtualPort v;
    ASSERT_TRUE(changeState(v.port.get(), [](DCB& dcb) {
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
    }));
    SetLastError(kPoison);
    ASSERT_EQ(EscapeCommFunction(v.port.get(), GetParam().function), TRUE);
    EXPECT_EQ(GetLastError(), kPoison);
    auto lines = v.peer().lines();
    EXPECT_EQ(lines.dsr, GetParam().dsrAtPeer);
    EXPECT_EQ(lines.dcd, GetParam().dsrAtPeer);
    EXPECT_EQ(lines.cts, GetParam().ctsAtPeer);
}

INSTANTIATE_TEST_SUITE_P(Virtual, EscapeFunctions,
                         ::testing::Values(EscapeCase{SETDTR, true, false}, EscapeCase{CLRDTR, false, false},
                                           EscapeCase{SETRTS, true, true}, EscapeCase{CLRRTS, true, false}));

// Only the DTR and RTS functions, the ones the library sends.
TEST(EscapeFunctions, AnyOtherCodeIsInvalid) {
    VirtualPort v;
    for (DWORD code : {DWORD{0}, SETXOFF, SETXON, DWORD{7}, SETBREAK, CLRBREAK, DWORD{10}, DWORD{0xFFFF}}) {
        SetLastError(kPoison);
        EXPECT_EQ(EscapeCommFunction(v.port.get(), code), FALSE) << code;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << code;
    }
}

TEST(EscapeFunctions, PtyHasNoModemLines) {
    PtyPort p;
    SetLastError(kPoison);
    EXPECT_EQ(EscapeCommFunction(p.port.get(), SETDTR), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(EscapeCommFunction(p.port.get(), CLRRTS), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    DWORD status = kPoison;
    EXPECT_EQ(GetCommModemStatus(p.port.get(), &status), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(status, kPoison);
}

// ---- line errors ----

struct FaultCase {
    const char* name;
    void (*inject)(posix::VirtualNullModem::End& peer);
    BYTE parity;
    bool checkParity;
    DWORD expectedErrors;
    DWORD expectedEvents;  // within EV_ERR | EV_BREAK | EV_RXCHAR
    std::string expectedData;
};

const FaultCase kFaults[] = {
    {"framing", [](auto& p) { p.sendFaulty('F', VirtualLineFault::Framing); }, NOPARITY, false, CE_FRAME,
     EV_ERR | EV_RXCHAR, "F"},
    {"parity_checked", [](auto& p) { p.sendFaulty('P', VirtualLineFault::Parity); }, EVENPARITY, true,
     CE_RXPARITY, EV_ERR | EV_RXCHAR, "P"},
    {"parity_unchecked", [](auto& p) { p.sendFaulty('p', VirtualLineFault::Parity); }, EVENPARITY, false, 0,
     EV_RXCHAR, "p"},
    {"break", [](auto& p) { p.sendBreak(); }, NOPARITY, false, CE_BREAK, EV_BREAK, ""},
    {"overrun", [](auto& p) { p.sendFaulty('o', VirtualLineFault::Overrun); }, NOPARITY, false, CE_OVERRUN,
     EV_ERR, ""},
    {"framing_on_ff", [](auto& p) { p.sendFaulty(0xFF, VirtualLineFault::Framing); }, NOPARITY, false, CE_FRAME,
     EV_ERR | EV_RXCHAR, "\xFF"},
};

class LineErrors : public ::testing::TestWithParam<FaultCase> {};

TEST_P(LineErrors, BecomeErrorFlagsEventsAndData) {
    const FaultCase& c = GetParam();
    VirtualPort v;
    ASSERT_TRUE(changeState(v.port.get(), [&c](DCB& dcb) {
        dcb.Parity = c.parity;
        dcb.fParity = c.checkParity;
    }));
    ASSERT_EQ(SetCommMask(v.port.get(), EV_ERR | EV_BREAK | EV_RXCHAR), TRUE);
    Overlapped ov;
    DWORD mask = 0;
    ASSERT_EQ(WaitCommEvent(v.port.get(), &mask, &ov.record), FALSE);
    c.inject(v.peer());
    ASSERT_TRUE(ov.signalled(3000));
    EXPECT_EQ(mask, c.expectedEvents);
    DWORD errors = kPoison;
    COMSTAT stat{};
    ASSERT_EQ(ClearCommError(v.port.get(), &errors, &stat), TRUE);
    EXPECT_EQ(errors, c.expectedErrors);
    EXPECT_EQ(stat.cbInQue, c.expectedData.size());
    std::string data(c.expectedData.size(), '\0');
    setTimeouts(v.port.get(), MAXDWORD, 0, 0);
    DWORD count = 0;
    Overlapped rov;
    ASSERT_EQ(ReadFile(v.port.get(), data.data(), static_cast<DWORD>(data.size()), &count, &rov.record), TRUE);
    EXPECT_EQ(data, c.expectedData);
    ASSERT_EQ(ClearCommError(v.port.get(), &errors, nullptr), TRUE);
    EXPECT_EQ(errors, 0u) << "cleared by the first call";
}

INSTANTIATE_TEST_SUITE_P(Virtual, LineErrors, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

class AbortOnError : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(v.port.get(), INVALID_HANDLE_VALUE);
        ASSERT_TRUE(changeState(v.port.get(), [](DCB& dcb) { dcb.fAbortOnError = 1; }));
        setTimeouts(v.port.get(), 0, 0, 0);
    }
    VirtualPort v;
};

TEST_F(AbortOnError, ErrorCancelsPendingAndRefusesNewTransfersUntilCleared) {
    Overlapped pending;
    char byte = 0;
    ASSERT_EQ(ReadFile(v.port.get(), &byte, 1, nullptr, &pending.record), FALSE);
    v.peer().sendFaulty('E', VirtualLineFault::Framing);
    DWORD count = kPoison;
    EXPECT_EQ(GetOverlappedResult(v.port.get(), &pending.record, &count, TRUE), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(count, 0u);

    Overlapped again;
    EXPECT_EQ(ReadFile(v.port.get(), &byte, 1, nullptr, &again.record), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(WriteFile(v.port.get(), "w", 1, nullptr, &again.record), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);

    DWORD errors = 0;
    ASSERT_EQ(ClearCommError(v.port.get(), &errors, nullptr), TRUE);
    EXPECT_EQ(errors, CE_FRAME);
    setTimeouts(v.port.get(), MAXDWORD, 0, 0);
    ASSERT_EQ(ReadFile(v.port.get(), &byte, 1, &count, &again.record), TRUE);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(byte, 'E') << "the faulty byte stays in the buffer";
}

TEST_F(AbortOnError, BreakAlsoAbortsAPendingWrite) {
    v.peer().setReceiveCapacity(0);
    Overlapped w;
    ASSERT_EQ(WriteFile(v.port.get(), "x", 1, nullptr, &w.record), FALSE);
    v.peer().sendBreak();
    DWORD count = kPoison;
    EXPECT_EQ(GetOverlappedResult(v.port.get(), &w.record, &count, TRUE), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
}

TEST(LineErrorsWithoutAbort, PendingReadContinues) {
    VirtualPort v;
    setTimeouts(v.port.get(), 0, 0, 3000);
    Overlapped ov;
    char byte = 0;
    ASSERT_EQ(ReadFile(v.port.get(), &byte, 1, nullptr, &ov.record), FALSE);
    v.peer().sendFaulty('k', VirtualLineFault::Framing);
    DWORD count = 0;
    ASSERT_EQ(GetOverlappedResult(v.port.get(), &ov.record, &count, TRUE), TRUE);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(byte, 'k');
}

}  // namespace
