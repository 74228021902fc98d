// The exported functions on the in-process virtual null-modem: line settings
// as the device records them, DTR/RTS and the channel patterns, modem status,
// CharSent, line errors under abort-on-error, and blocked writes.
#include <future>
#include <thread>
#include <tuple>

#include "tests/serial/platform/fixtures/virtual_null_modem.h"
#include "serial/src/comm.h"
#include "serial/src/comm_threads.h"
#include "tests/serial/support/port_fixture.h"
#include "tests/serial/support/wake_counter.h"

namespace winseria {
namespace {

using namespace std::chrono_literals;
using test::Answers;
using test::Failure;
using test::Fetched;
using test::FetchError;
using winapi::posix::VirtualLineFault;
using winapi::posix::VirtualNullModem;

class NullModemTest : public test::LibraryTest {
public:
    static constexpr std::uint8_t kPort = 9;

protected:
    void SetUp() override {
        modem.registerPort(0, kPort);
        LibraryTest::SetUp();
    }
    VirtualNullModem::End& port() { return modem.end(0); }
    VirtualNullModem::End& peer() { return modem.end(1); }

    test::PortsDir ports;  // set, though the registered end comes first
    VirtualNullModem modem;
};

using OpenNullModem = test::Opened<NullModemTest>;

// ---- Line settings -------------------------------------------------------------------------

struct Settings {
    std::uint32_t speed;
    std::uint8_t parity;
    std::uint8_t byteSize;
    std::uint8_t stopBits;
};

class NullModemSettings : public NullModemTest, public ::testing::WithParamInterface<Settings> {};

TEST_P(NullModemSettings, ReachTheDeviceAsGiven) {
    const Settings wanted = GetParam();
    ASSERT_EQ(pInitializePort(kPort, wanted.speed, 1, 1, wanted.parity, wanted.byteSize, wanted.stopBits), 0)
        << ::testing::PrintToString(FetchError());
    const auto line = port().settings();
    EXPECT_EQ(line.baudRate, wanted.speed);
    EXPECT_EQ(line.parity, wanted.parity);
    EXPECT_EQ(line.byteSize, wanted.byteSize);
    EXPECT_EQ(line.stopBits, wanted.stopBits);
    EXPECT_FALSE(line.ctsFlow);
    EXPECT_FALSE(line.xonOutput);
    EXPECT_FALSE(line.xonInput);
    EXPECT_TRUE(line.rawMode);
}

INSTANTIATE_TEST_SUITE_P(Lines, NullModemSettings,
                         ::testing::Values(Settings{9600, 2, 8, 0}, Settings{1200, 0, 8, 0}, Settings{19200, 1, 7, 0},
                                           Settings{38400, 3, 7, 2}, Settings{57600, 4, 6, 0},
                                           Settings{4800, 2, 5, 1}, Settings{115200, 0, 8, 2}));

TEST_F(OpenNullModem, InitializeUsesEvenParityEightBitsOneStopBitByDefault) {
    const auto line = port().settings();
    EXPECT_EQ(line.baudRate, 9600u);
    EXPECT_EQ(line.parity, winapi::EVENPARITY);
    EXPECT_EQ(line.byteSize, 8);
    EXPECT_EQ(line.stopBits, winapi::ONESTOPBIT);
}

TEST_F(NullModemTest, AnUnknownParityDefaultBecomesEven) {
    ASSERT_EQ(pInitializePort(kPort, 9600, 1, 1, 5, 8, 0), 0);
    EXPECT_EQ(port().settings().parity, winapi::EVENPARITY);
}

TEST_F(OpenNullModem, ChangeParityReachesTheDeviceAndRefusalsAreRecorded) {
    for (std::uint8_t parity : {0, 1, 3, 4, 2}) {
        EXPECT_EQ(ChangeParity(parity), 1) << int(parity);
        EXPECT_EQ(port().settings().parity, parity);
    }
    EXPECT_EQ(ChangeParity(7), 0);  // taken unchanged, refused by the device
    EXPECT_EQ(FetchError(), Failure("Błąd podczas aktualizacji bloku kontroli danych.", 87));
    EXPECT_EQ(port().settings().parity, winapi::EVENPARITY);
}

TEST_F(OpenNullModem, ChangeSpeedReachesTheDevice) {
    EXPECT_EQ(ChangeSpeed(2400), 1);
    EXPECT_EQ(port().settings().baudRate, 2400u);
    EXPECT_EQ(ChangeSpeed(static_cast<std::uint16_t>(115200)), 1);
    EXPECT_EQ(port().settings().baudRate, 49664u);
}

// ---- DTR, RTS, channels, modem status ------------------------------------------------------------

TEST_F(OpenNullModem, ConfiguringLeavesDtrAndRtsLowAndLineFunctionsSwitchOneLineEach) {
    EXPECT_FALSE(port().lines().dtr);
    EXPECT_FALSE(port().lines().rts);
    EXPECT_NE(SetDTRLine(), 0);
    EXPECT_TRUE(port().lines().dtr);
    EXPECT_TRUE(peer().lines().dsr);
    EXPECT_TRUE(peer().lines().dcd);
    EXPECT_FALSE(port().lines().rts);
    EXPECT_NE(SetRTSLine(), 0);
    EXPECT_TRUE(port().lines().rts);
    EXPECT_TRUE(peer().lines().cts);
    EXPECT_NE(ClearDTRLine(), 0);
    EXPECT_FALSE(port().lines().dtr);
    EXPECT_TRUE(port().lines().rts);
    EXPECT_NE(ClearRTSLine(), 0);
    EXPECT_FALSE(port().lines().rts);
    EXPECT_FALSE(peer().lines().cts);
}

struct Channel {
    std::uint8_t channel;
    bool dtr;
    bool rts;
};

class NullModemChannels : public NullModemTest, public ::testing::WithParamInterface<Channel> {};

TEST_P(NullModemChannels, SetTheirPattern) {
    const Channel wanted = GetParam();
    ASSERT_EQ(InitializePort(kPort, 9600, 2, 2), 0);
    // Start from the opposite of the pattern, so that both lines must move.
    (wanted.dtr ? ClearDTRLine : SetDTRLine)();
    (wanted.rts ? ClearRTSLine : SetRTSLine)();
    EXPECT_EQ(UstawKanal(wanted.channel), 1);
    EXPECT_EQ(port().lines().dtr, wanted.dtr);
    EXPECT_EQ(port().lines().rts, wanted.rts);
    EXPECT_EQ(peer().lines().dsr, wanted.dtr);
    EXPECT_EQ(peer().lines().cts, wanted.rts);
}

INSTANTIATE_TEST_SUITE_P(Patterns, NullModemChannels,
                         ::testing::Values(Channel{0, false, true}, Channel{1, false, true}, Channel{2, true, true},
                                           Channel{3, false, false}, Channel{4, true, false}));

TEST_F(OpenNullModem, UnknownChannelsChangeNothing) {
    SetDTRLine();
    const auto before = port().lines();
    for (int channel : {5, 9, 128, 255}) {
        EXPECT_EQ(UstawKanal(static_cast<std::uint8_t>(channel)), 0) << channel;
        EXPECT_EQ(port().lines(), before);
    }
}

TEST_F(OpenNullModem, ModemStatusShowsThePeersLinesAndNothingElse) {
    for (int pattern = 0; pattern < 8; ++pattern) {
        const bool dtr = pattern & 1, rts = pattern & 2, ring = pattern & 4;
        peer().setDtr(dtr);
        peer().setRts(rts);
        peer().setRing(ring);
        const std::uint32_t expected = (rts ? 0x10u : 0u) | (dtr ? 0x20u | 0x80u : 0u) | (ring ? 0x40u : 0u);
        const std::uint32_t status = ModemStatus();
        EXPECT_EQ(status, expected) << pattern;
        EXPECT_EQ(status & ~0xF0u, 0u);
    }
}

TEST_F(OpenNullModem, ModemStatusOfAClosedPortIsZero) {
    peer().setDtr(true);
    ASSERT_NE(ModemStatus(), 0u);
    ASSERT_EQ(UnInitializePort(), 0);
    EXPECT_EQ(ModemStatus(), 0u);
    EXPECT_EQ(SetDTRLine(), 0);
    EXPECT_EQ(UstawKanal(2), 0);
}

// ---- CharSent -------------------------------------------------------------------------------------

// True once every written byte has left, false while one is still queued.
TEST_F(NullModemTest, CharSentTellsWhetherWrittenBytesHaveLeft) {
    ASSERT_EQ(InitializePort(kPort, 9600, 0, 1), 0);  // writes never time out
    EXPECT_EQ(CharSent(), 1);
    ASSERT_EQ(WriteByte(0x41), 1);
    EXPECT_EQ(peer().readExactly(1, 2s), std::vector<std::uint8_t>{0x41});
    EXPECT_EQ(CharSent(), 1);

    peer().setReceiveCapacity(0);  // the byte stays in the port's queue
    auto held = std::async(std::launch::async, [] { return WriteByte(0x42); });
    EXPECT_TRUE(test::Eventually([] { return CharSent() == 0; }));
    EXPECT_EQ(CharSent(), 0);
    peer().setReceiveCapacity(4096);
    EXPECT_EQ(held.get(), 1);
    EXPECT_EQ(CharSent(), 1);
}

// ---- Line errors -----------------------------------------------------------------------------------

struct LineErrorCase {
    std::vector<VirtualLineFault> faults;
    bool withBreak;
    const char* message;
    std::int32_t code;
};

class NullModemLineErrors : public NullModemTest, public ::testing::WithParamInterface<LineErrorCase> {};

TEST_P(NullModemLineErrors, HoldTransfersUntilTheMainThreadClearsThem) {
    const LineErrorCase& line = GetParam();
    test::WakeCounter wakes;
    ASSERT_EQ(InitializePort(kPort, 9600, 2, 1), 0);
    if (line.withBreak) peer().sendBreak();
    for (VirtualLineFault fault : line.faults) peer().sendFaulty(0x41, fault);
    ASSERT_TRUE(wakes.waitFor(1));

    // Not the main thread: nothing is served, the error stays latched.
    auto heldRead = std::async(std::launch::async, [] {
        std::uint8_t value = 0;
        return ReadByte(&value);
    });
    EXPECT_EQ(heldRead.get(), 0);
    EXPECT_EQ(TimeOut(), 1);

    Opoznienie(0);  // the main thread serves the notification
    EXPECT_EQ(FetchError(), Failure(line.message, line.code));

    EXPECT_EQ(ClearPort(), 0);
    peer().write(std::string_view("\x42", 1));
    std::uint8_t value = 0;
    EXPECT_EQ(ReadByte(&value), 1);
    EXPECT_EQ(value, 0x42);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, NullModemLineErrors,
    ::testing::Values(
        LineErrorCase{{VirtualLineFault::Framing}, false, "Urządzenie wykryło błąd ramki (CE_FRAME).", 8},
        LineErrorCase{{VirtualLineFault::Overrun}, false, "Zgubiono znaki (CE_OVERRUN).", 2},
        LineErrorCase{{}, true, "Urządzenie wykryło stan BREAK (CE_BREAK).", 16},
        // Several at once: the last present in the order break, frame, overrun, parity stays.
        LineErrorCase{{VirtualLineFault::Framing}, true, "Urządzenie wykryło błąd ramki (CE_FRAME).", 8},
        LineErrorCase{{VirtualLineFault::Framing, VirtualLineFault::Overrun}, true, "Zgubiono znaki (CE_OVERRUN).",
                      2}));

TEST_F(NullModemTest, ParityCheckingStaysAsTheDeviceReportedIt) {
    // Configuring sets the parity on the line but keeps the device's own
    // parity-check flag, which a fresh device reports off: a byte with a
    // parity error then arrives as data and no line error is raised.
    ASSERT_EQ(InitializePort(kPort, 9600, 2, 1), 0);
    ASSERT_EQ(CommPort()->CurrentDcb().fParity, 0u);
    peer().sendFaulty(0x41, VirtualLineFault::Parity);
    std::uint8_t value = 0;
    EXPECT_EQ(ReadByte(&value), 1);
    EXPECT_EQ(value, 0x41);
    Opoznienie(0);
    EXPECT_EQ(FetchError(), (Fetched{0, "", 0}));
    EXPECT_EQ(CommPort()->LastLineErrors() & winapi::CE_RXPARITY, 0u);
}

// ---- Blocked writes ---------------------------------------------------------------------------------

TEST_F(NullModemTest, AWriteThatCannotLeaveTimesOut) {
    peer().setReceiveCapacity(0);
    ASSERT_EQ(InitializePort(kPort, 9600, 1, 1), 0);
    EXPECT_TRUE(Answers([] { return WriteByte(0x55); }, 0, 4s, 700ms));
    EXPECT_EQ(TimeOut(), 1);
    EXPECT_EQ(FetchError(), Failure("Timeout zapisu.", 0));
}

TEST_F(NullModemTest, UnInitializeFromAnotherThreadEndsAWriteWithoutLimit) {
    peer().setReceiveCapacity(0);
    ASSERT_EQ(InitializePort(kPort, 9600, 0, 1), 0);  // writes never time out
    test::ExpectEndedByACloseFromAnotherThread([] { return WriteByte(0x55); }, "Niepoprawny zapis.");
}

}  // namespace
}  // namespace winseria
