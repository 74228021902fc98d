// The exported functions end to end, on a pseudo-terminal.
#include <cstring>
#include <functional>
#include <future>
#include <numeric>
#include <thread>

#include "serial/platform/win32_calls.h"
#include "serial/src/comm.h"
#include "serial/src/comm_threads.h"
#include "tests/serial/support/event_failures.h"
#include "tests/serial/support/port_fixture.h"
#include "tests/serial/support/wake_counter.h"

namespace winseria {
namespace {

using namespace std::chrono_literals;
using test::Answers;
using test::Eventually;
using test::Failure;
using test::Fetched;
using test::FetchError;

using PtyPort = test::PtyPortTest;
using OpenPty = test::Opened<test::PtyPortTest>;
constexpr std::uint8_t kPort = test::PtyPortTest::kPort;

std::vector<std::uint8_t> AllByteValues() {
    std::vector<std::uint8_t> values(256);
    std::iota(values.begin(), values.end(), std::uint8_t{0});
    return values;
}

winapi::COMMTIMEOUTS DeviceTimeouts() {
    winapi::COMMTIMEOUTS timeouts{};
    winapi::GetCommTimeouts(CommPort()->CommHandle(), &timeouts);
    return timeouts;
}

// WriteByte answers "not written" without waiting for its time-out.
void ExpectWriteRefusedAtOnce(std::uint8_t byte) {
    EXPECT_TRUE(Answers([byte] { return WriteByte(byte); }, 0, 1s));
}

// ---- Opening ------------------------------------------------------------------------

TEST_F(OpenPty, InitializeOpensWithNineThousandSixHundredAndTheDefaults) {
    EXPECT_EQ(FetchError(), (Fetched{0, "", 0}));
    const termios line = pty.slaveTermios();
    EXPECT_EQ(cfgetospeed(&line), B9600);
    EXPECT_EQ(line.c_cflag & CSTOPB, 0u);  // one stop bit
    EXPECT_EQ(line.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF), 0u);
    const winapi::COMMTIMEOUTS timeouts = DeviceTimeouts();
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 2000u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 2000u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 2000u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 0u);
    const winapi::DCB& dcb = CommPort()->CurrentDcb();
    EXPECT_EQ(dcb.Parity, winapi::EVENPARITY);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.fAbortOnError, 1u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_NE(CommPort()->Watcher(), nullptr);
    EXPECT_NE(CommPort()->Worker(), nullptr);
}

TEST_F(OpenPty, ASecondInitializeIsRefusedWhateverThePort) {
    TComm* first = CommPort();
    EXPECT_EQ(InitializePort(kPort, 9600, 2, 2), 5);
    EXPECT_EQ(FetchError(), Failure("Ten port jest już zainicjowany", 5));
    EXPECT_EQ(FetchError(), (Fetched{0, "", 0}));
    EXPECT_EQ(InitializePort(kPort + 1, 19200, 1, 1), 5);
    EXPECT_EQ(FetchError(), Failure("Ten port jest już zainicjowany", 5));
    EXPECT_EQ(CommPort(), first);
    EXPECT_TRUE(WriteByte(0x42));  // the first connection is untouched
    EXPECT_EQ(pty.read(1, 2s), std::vector<std::uint8_t>{0x42});
}

TEST_F(PtyPort, AMissingPortGivesTwoAndStartsNoThread) {
    test::SettleThreads();
    const std::size_t threads = test::ThreadCount();
    EXPECT_EQ(InitializePort(kPort + 2, 9600, 2, 2), 2);  // no link
    EXPECT_EQ(FetchError(), Failure("System nie potrafi znależć danego urządzenia.", 2));
    ports.link(kPort + 2, ports.path() + "/nothing-here");  // a dangling link
    EXPECT_EQ(InitializePort(kPort + 2, 9600, 2, 2), 2);
    EXPECT_EQ(FetchError(), Failure("System nie potrafi znależć danego urządzenia.", 2));
    EXPECT_EQ(test::ThreadCount(), threads);
    EXPECT_EQ(CommPort()->Watcher(), nullptr);
    EXPECT_EQ(UnInitializePort(), 0);
}

TEST_F(PtyPort, APortHeldByAnotherProcessIsRefusedWithAccessDenied) {
    torvane::testing::HeldByAnotherProcess holder(pty.slavePath(), true);
    ASSERT_TRUE(holder.held());
    EXPECT_EQ(InitializePort(kPort, 9600, 2, 2), 5);
    EXPECT_EQ(FetchError(), Failure("Zabroniony dostęp do urządzenia.", 5));
    EXPECT_EQ(SerialPortPresent(kPort), 0);
    EXPECT_TRUE(holder.release());
    EXPECT_EQ(InitializePort(kPort, 9600, 2, 2), 0);
}

// ---- Settings ---------------------------------------------------------------------------

struct LineCase {
    std::uint32_t speed;
    std::uint8_t stopBits;
};

class PtySettings : public test::PtyPortTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(PtySettings, SpeedAndStopBitsReachTheTerminal) {
    const LineCase line = GetParam();
    ASSERT_EQ(pInitializePort(kPort, line.speed, 1, 1, 2, 8, line.stopBits), 0) << FetchError().code;
    EXPECT_EQ(pty.slaveSpeed(), line.speed);
    EXPECT_EQ((pty.slaveTermios().c_cflag & CSTOPB) != 0, line.stopBits == 2);
    ASSERT_EQ(UnInitializePort(), 0);  // a configured port is left configured, raw
    EXPECT_EQ(pty.slaveSpeed(), line.speed);
    EXPECT_EQ((pty.slaveTermios().c_cflag & CSTOPB) != 0, line.stopBits == 2);
    EXPECT_EQ(pty.slaveTermios().c_lflag & (ICANON | ECHO | ISIG), 0u);
}

INSTANTIATE_TEST_SUITE_P(Lines, PtySettings,
                         ::testing::Values(LineCase{300, 0}, LineCase{9600, 2}, LineCase{19200, 0},
                                           LineCase{115200, 2}, LineCase{230400, 0}, LineCase{250000, 2}));

TEST_F(OpenPty, ChangeSpeedTakesSixteenBits) {
    EXPECT_EQ(ChangeSpeed(static_cast<std::uint16_t>(115200)), 1);
    EXPECT_EQ(CommPort()->Speed(), 49664u);
    EXPECT_EQ(pty.slaveSpeed(), 49664u);
    EXPECT_EQ(ChangeSpeed(57600), 1);
    EXPECT_EQ(pty.slaveSpeed(), 57600u);
}

TEST_F(OpenPty, ChangesOnAClosedPortStayInTheObject) {
    ASSERT_EQ(UnInitializePort(), 0);
    EXPECT_EQ(ChangeSpeed(1200), 1);
    EXPECT_EQ(ChangeParity(4), 1);
    EXPECT_EQ(CommPort()->Speed(), 1200u);
    EXPECT_EQ(CommPort()->ParityCode(), 4u);
    ASSERT_EQ(InitializePort(kPort, 9600, 2, 2), 0);
    EXPECT_EQ(CommPort()->ParityCode(), 2u);  // the new object takes the default
}

TEST_F(OpenPty, DefaultsOfARefusedCallSurviveForTheNextInitialize) {
    EXPECT_EQ(pInitializePort(1, 9600, 1, 1, 0, 7, 2), 5);
    EXPECT_EQ(FetchError(), Failure("Ten port jest już zainicjowany", 5));
    ASSERT_EQ(UnInitializePort(), 0);
    ASSERT_EQ(InitializePort(kPort, 9600, 1, 1), 0) << FetchError().code;
    EXPECT_EQ(CommPort()->ParityCode(), 0u);
    EXPECT_EQ(CommPort()->DataBits(), 7u);
    EXPECT_EQ(CommPort()->StopBitsCode(), 2u);
    EXPECT_NE(pty.slaveTermios().c_cflag & CSTOPB, 0u);
}

TEST_F(PtyPort, AConfigureFailureLeavesThePortOpenWithBothThreads) {
    // Make sure an earlier connection left a PortClosed behind.
    ASSERT_EQ(InitializePort(kPort, 9600, 1, 1), 0);
    ASSERT_EQ(UnInitializePort(), 0);

    EXPECT_EQ(pInitializePort(kPort, 9600, 1, 1, 2, 9, 0), 87);  // nine data bits
    EXPECT_EQ(FetchError(), Failure("Błąd podczas aktualizacji bloku kontroli danych.", 87));
    ASSERT_TRUE(CommPort()->IsOpen());
    ASSERT_NE(CommPort()->Watcher(), nullptr);
    ASSERT_NE(CommPort()->Worker(), nullptr);
    EXPECT_FALSE(CommPort()->Watcher()->Finished());
    EXPECT_FALSE(CommPort()->Worker()->Finished());
    // The time-outs were never read: the close writes zeros back.
    const winapi::COMMTIMEOUTS zero{};
    EXPECT_EQ(std::memcmp(&CommPort()->Saved(), &zero, sizeof zero), 0);

    EXPECT_EQ(InitializePort(kPort, 9600, 1, 1), 5);
    // The connection's PortClosed is the signalled one of before.
    ExpectWriteRefusedAtOnce(0x10);
    EXPECT_EQ(UnInitializePort(), 0);
    EXPECT_FALSE(CommPort()->IsOpen());
}

// ---- Transfers --------------------------------------------------------------------------

TEST_F(PtyPort, EveryByteValueTravelsBothWays) {
    ASSERT_EQ(InitializePort(kPort, 115200, 2, 2), 0);
    const std::vector<std::uint8_t> values = AllByteValues();
    for (std::uint8_t value : values) ASSERT_EQ(WriteByte(value), 1) << int(value);
    EXPECT_EQ(TimeOut(), 0);
    EXPECT_EQ(pty.read(values.size(), 5s), values);

    pty.write(values);
    for (std::uint8_t expected : values) {
        std::uint8_t value = static_cast<std::uint8_t>(~expected);
        ASSERT_EQ(ReadByte(&value), 1) << int(expected);
        EXPECT_EQ(value, expected);
        EXPECT_EQ(TimeOut(), 0);
    }
    EXPECT_EQ(FetchError(), (Fetched{0, "", 0}));
}

TEST_F(OpenPty, AReadWithNothingToReadTimesOutAfterItsTwoSeconds) {
    std::uint8_t value = 0xA5;
    EXPECT_TRUE(Answers([&] { return ReadByte(&value); }, 0, 5s, 1500ms));
    EXPECT_EQ(TimeOut(), 1);
    EXPECT_EQ(value, 0xA5);
    EXPECT_EQ(FetchError(), Failure("Timeout odczytu.", 0));
    // A byte that comes later is read normally.
    pty.write(0x33);
    EXPECT_EQ(ReadByte(&value), 1);
    EXPECT_EQ(value, 0x33);
    EXPECT_EQ(TimeOut(), 0);
}

TEST_F(PtyPort, AReadWithTimeoutZeroAnswersAtOnce) {
    ASSERT_EQ(InitializePort(kPort, 9600, 2, 0), 0);
    std::uint8_t value = 0x11;
    EXPECT_TRUE(Answers([&] { return ReadByte(&value); }, 0, 1s));
    EXPECT_EQ(TimeOut(), 1);
    EXPECT_EQ(value, 0x11);
    EXPECT_EQ(FetchError(), Failure("Niepoprawny odczyt.", 0));
}

// No system call fails there, so the code is 0 also when an earlier call
// left its error on the thread (a missing port 2, a closed handle 6).
TEST_F(OpenPty, TransfersAfterUnInitializeFailAtOnceWithCodeZero) {
    ASSERT_EQ(UnInitializePort(), 0);
    const std::function<void()> earlierFailures[] = {
        [] {}, [] { EXPECT_EQ(SerialPortPresent(99), 0); }, [] { EXPECT_EQ(SetDTRLine(), 0); }};
    for (const auto& earlierFailure : earlierFailures) {
        earlierFailure();
        ExpectWriteRefusedAtOnce(0x55);
        EXPECT_EQ(TimeOut(), 0);
        EXPECT_EQ(FetchError(), Failure("Błąd funkcji WaitForMultipleObjects.", 0));
        earlierFailure();
        std::uint8_t value = 0x77;
        EXPECT_EQ(ReadByte(&value), 0);
        EXPECT_EQ(value, 0x77);
        EXPECT_EQ(TimeOut(), 0);
        EXPECT_EQ(FetchError(), Failure("Błąd funkcji WaitForMultipleObjects.", 0));
    }
    EXPECT_EQ(UnInitializePort(), 0);
    EXPECT_TRUE(pty.drain(100ms).empty());
}

TEST_F(OpenPty, ReadByteIntoNothingChangesNothing) {
    pty.write(0x21);
    EXPECT_EQ(ReadByte(nullptr), 0);
    std::uint8_t value = 0;
    EXPECT_EQ(ReadByte(&value), 1);  // the byte was not consumed
    EXPECT_EQ(value, 0x21);
}

TEST_F(PtyPort, UnInitializeFromAnotherThreadEndsAWaitingRead) {
    ASSERT_EQ(InitializePort(kPort, 9600, 2, 10), 0);  // ten seconds: the close must end it first
    std::uint8_t value = 0x66;
    test::ExpectEndedByACloseFromAnotherThread([&] { return ReadByte(&value); }, "Odczyt przerwany");
    EXPECT_EQ(value, 0x66);
    EXPECT_FALSE(CommPort()->IsOpen());
}

TEST_F(PtyPort, TheOtherEndClosingEndsATransfer) {
    ASSERT_EQ(InitializePort(kPort, 9600, 2, 4), 0);
    auto closer = std::async(std::launch::async, [this] {
        std::this_thread::sleep_for(300ms);
        pty.closeMaster();
    });
    std::uint8_t value = 0x12;
    EXPECT_TRUE(Answers([&] { return ReadByte(&value); }, 0, 7s));
    closer.get();
    EXPECT_EQ(value, 0x12);
    EXPECT_EQ(TimeOut(), 1);
    EXPECT_TRUE(Answers([] { return WriteByte(0x01); }, 0, 5s));
    EXPECT_TRUE(Answers([] { return UnInitializePort(); }, 0, 5s));
}

TEST_F(PtyPort, ClearPortDropsWhatHasArrived) {
    ASSERT_EQ(InitializePort(kPort, 9600, 2, 0), 0);
    pty.write({1, 2, 3});
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(ClearPort(), 0);
    std::uint8_t value = 0;
    EXPECT_EQ(ReadByte(&value), 0);
    pty.write(4);
    EXPECT_TRUE(Eventually([&] { return ReadByte(&value) == 1; }));
    EXPECT_EQ(value, 4);
}

TEST_F(PtyPort, SerialPortPresentProbesWithoutKeepingThePort) {
    EXPECT_EQ(SerialPortPresent(kPort), 1);
    EXPECT_EQ(SerialPortPresent(kPort), 1);
    EXPECT_EQ(SerialPortPresent(kPort + 4), 0);
    ASSERT_EQ(InitializePort(kPort, 9600, 2, 2), 0);
    EXPECT_EQ(SerialPortPresent(kPort), 0);  // held by this library
    ASSERT_EQ(UnInitializePort(), 0);
    EXPECT_EQ(SerialPortPresent(kPort), 1);
    EXPECT_EQ(FetchError(), (Fetched{0, "", 0}));
}

// The probe answers true only for what opens as a serial port, and leaves
// the terminal's settings exactly as it found them (here a terminal in
// canonical mode with echo and signals, which a port's raw mode clears).
struct ProbeCase {
    const char* name;
    void (*makeEntry)(test::PortsDir& ports, const std::string& ptySlave, std::uint8_t port);
    std::uint8_t present;
};

class Probe : public test::PtyPortTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(Probe, IsTrueOnlyForATerminalAndLeavesItsSettings) {
    termios before = pty.slaveTermios();
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_oflag |= OPOST;
    pty.setSlaveTermios(before);
    before = pty.slaveTermios();
    GetParam().makeEntry(ports, pty.slavePath(), kPort + 5);
    EXPECT_EQ(SerialPortPresent(kPort + 5), GetParam().present);
    const termios after = pty.slaveTermios();
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof before.c_cc), 0);
    EXPECT_EQ(FetchError(), (Fetched{0, "", 0}));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, Probe,
    ::testing::Values(
        ProbeCase{"pty", [](test::PortsDir& p, const std::string& slave, std::uint8_t n) { p.link(n, slave); }, 1},
        ProbeCase{"regular_file", [](test::PortsDir& p, const std::string&, std::uint8_t n) { p.linkRegularFile(n); },
                  0},
        ProbeCase{"fifo", [](test::PortsDir& p, const std::string&, std::uint8_t n) { p.linkFifo(n); }, 0},
        ProbeCase{"missing_link", [](test::PortsDir&, const std::string&, std::uint8_t) {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpenPty, AReplacedPortObjectIsReleased) {
    ASSERT_EQ(UnInitializePort(), 0);
    // The object stays after the close and goes with the next initialization.
    EXPECT_NE(CommPort(), nullptr);
    ASSERT_EQ(InitializePort(kPort + 5, 9600, 2, 2), 2);
    EXPECT_FALSE(CommPort()->IsOpen());
}

TEST_F(OpenPty, LineFunctionsOnATerminalWithoutModemLinesAnswerNo) {
    EXPECT_EQ(ModemStatus(), 0u);
    EXPECT_EQ(SetDTRLine(), 0);
    EXPECT_EQ(SetRTSLine(), 0);
    EXPECT_EQ(UstawKanal(2), 0);
    EXPECT_EQ(UstawKanal(9), 0);
    EXPECT_EQ(FetchError(), (Fetched{0, "", 0}));
    EXPECT_TRUE(WriteByte(0x5C));  // the port is still usable
}

// ---- Early exits and ended workers ------------------------------------------------------

TEST_F(OpenPty, AWriteThatCannotCreateItsEventReleasesTheCaller) {
    testing::FailEventCreationAfter(0);
    ExpectWriteRefusedAtOnce(0x61);
    EXPECT_EQ(TimeOut(), 1);
    EXPECT_EQ(FetchError(), Failure("Błąd CreateEvent. ", 8));
    EXPECT_TRUE(pty.drain(100ms).empty());
    EXPECT_EQ(WriteByte(0x62), 1);  // the next transfer works again
    EXPECT_EQ(pty.read(1, 2s), std::vector<std::uint8_t>{0x62});
}

TEST_F(OpenPty, AReadThatCannotCreateItsEventReleasesTheCaller) {
    pty.write(0x71);
    testing::FailEventCreationAfter(0);
    std::uint8_t value = 0;
    EXPECT_TRUE(Answers([&] { return ReadByte(&value); }, 0, 1s));
    EXPECT_EQ(TimeOut(), 1);
    EXPECT_EQ(FetchError(), Failure("Błąd CreateEvent.", 8));
    EXPECT_EQ(ReadByte(&value), 1);
    EXPECT_EQ(value, 0x71);
}

TEST_F(PtyPort, AWorkerWithoutItsEventsMakesTransfersFailAtOnce) {
    testing::FailEventCreationAfter(3);  // the watcher's two, the worker's TransferReady, then its stop signal
    EXPECT_EQ(InitializePort(kPort, 9600, 2, 2), 0);
    EXPECT_EQ(FetchError(), Failure("Błąd CreateEvent. ", 8));
    EXPECT_TRUE(CommPort()->Worker()->Finished());
    ExpectWriteRefusedAtOnce(0x01);
    EXPECT_EQ(FetchError(), Failure("Błąd podczas sygnalizacji zdarzenia.", 6));
    std::uint8_t value = 0;
    EXPECT_EQ(ReadByte(&value), 0);
    EXPECT_EQ(UnInitializePort(), 0);
}

TEST_F(PtyPort, AWatcherWithoutItsEventsLeavesTransfersWorking) {
    test::WakeCounter wakes;
    testing::FailEventCreationAfter(1);  // the watcher's EventSignal
    EXPECT_EQ(InitializePort(kPort, 9600, 2, 2), 0);
    EXPECT_EQ(FetchError(), Failure("Błąd CreateEvent. ", 8));
    EXPECT_TRUE(Eventually([] { return CommPort()->Watcher()->Finished(); }));
    EXPECT_EQ(WriteByte(0x44), 1);
    pty.write(0x45);
    std::uint8_t value = 0;
    EXPECT_EQ(ReadByte(&value), 1);
    EXPECT_EQ(value, 0x45);
    EXPECT_EQ(wakes.calls(), 0);
    EXPECT_EQ(UnInitializePort(), 0);
}

TEST_F(OpenPty, AWorkerThatHasEndedRefusesTransfersAtOnce) {
    TZapisOdczytThread* worker = CommPort()->Worker();
    worker->StopThread();
    worker->WaitFor();
    ExpectWriteRefusedAtOnce(0x01);
    EXPECT_EQ(TimeOut(), 0);
    EXPECT_EQ(FetchError(), Failure("Zapis przerwany.", 0));
    std::uint8_t value = 0x3C;
    EXPECT_EQ(ReadByte(&value), 0);
    EXPECT_EQ(value, 0x3C);
    EXPECT_EQ(FetchError(), Failure("Przerwany zapis ", 0));
    EXPECT_TRUE(pty.drain(100ms).empty());
    EXPECT_EQ(UnInitializePort(), 0);
}

TEST_F(PtyPort, AStopTogetherWithAPendingRequestSkipsTheRequest) {
    ASSERT_EQ(InitializePort(kPort, 9600, 2, 1), 0);
    HandshakeState& handshake = Handshake();
    // A read keeps the worker busy for its one second.
    auto reader = std::async(std::launch::async, [] {
        std::uint8_t value = 0;
        return ReadByte(&value);
    });
    ASSERT_TRUE(Eventually([&] { return winapi::WaitForSingleObject(handshake.TransferReady(), 0) == winapi::WAIT_TIMEOUT; }));
    winapi::SetEvent(handshake.WriteRequest());  // as a second caller's hand-over would
    CommPort()->Worker()->StopThread();
    EXPECT_EQ(reader.get(), 0);
    EXPECT_TRUE(Eventually([] { return CommPort()->Worker()->Finished(); }));
    EXPECT_TRUE(pty.drain(200ms).empty());
    EXPECT_EQ(UnInitializePort(), 0);
}

// ---- Hand-over to the main thread --------------------------------------------------------

// The port open and the watcher, having reported a byte (0x31) to the main
// thread, waiting in its hand-over until that is served.
class HandOver : public OpenPty {
protected:
    void SetUp() override {
        OpenPty::SetUp();
        if (HasFatalFailure()) return;
        pty.write(0x31);
        ASSERT_TRUE(wakes.waitFor(1));
    }
    test::WakeCounter wakes;
};

TEST_F(HandOver, TheWatcherWaitsForTheMainThreadBetweenNotifications) {
    pty.write(0x32);
    EXPECT_FALSE(wakes.waitFor(2, 300ms));  // blocked in its hand-over
    ServeMainThreadCalls();
    EXPECT_TRUE(wakes.waitFor(2));  // the second byte was remembered
}

TEST_F(HandOver, ExportsOnTheMainThreadServeWaitingNotifications) {
    pty.write(0x32);
    Opoznienie(0);
    EXPECT_TRUE(wakes.waitFor(2));
    std::uint8_t value = 0;
    EXPECT_EQ(ReadByte(&value), 1);
    EXPECT_EQ(value, 0x31);
}

TEST_F(HandOver, OtherThreadsDoNotServe) {
    pty.write(0x32);
    std::thread([] {
        ServeMainThreadCalls();
        Opoznienie(0);
    }).join();
    EXPECT_FALSE(wakes.waitFor(2, 300ms));
}

TEST_F(HandOver, UnInitializeFromAnotherThreadReleasesAWaitingHandOver) {
    auto closer = std::async(std::launch::async, [] { return UnInitializePort(); });
    ASSERT_EQ(closer.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(closer.get(), 0);
    EXPECT_FALSE(CommPort()->IsOpen());
}

TEST_F(HandOver, UnInitializeOnTheMainThreadWithAWaitingHandOver) {
    EXPECT_TRUE(Answers([] { return UnInitializePort(); }, 0, 5s));
}

TEST_F(PtyPort, CharSentWhileTheWatcherWaitsAnswersAtOnceAndDisturbsNothing) {
    test::WakeCounter wakes;
    ASSERT_EQ(InitializePort(kPort, 9600, 2, 2), 0);
    ASSERT_EQ(WriteByte(0x41), 1);
    pty.read(1, 2s);
    ServeMainThreadCalls();
    EXPECT_TRUE(Answers([] { return CharSent(); }, 1, 1s));  // a pty's output queue is empty once the byte was read
    const int before = wakes.calls();
    ServeMainThreadCalls();
    pty.write(0x42);
    EXPECT_TRUE(wakes.waitFor(before + 1));  // the watcher still watches
}

}  // namespace
}  // namespace winseria
