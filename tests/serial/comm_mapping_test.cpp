// TComm without a device: construction from the library defaults, the
// parameter and time-out mapping, the event mask, the fixed DCB flags, and
// the operations on a closed object.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "serial/src/comm.h"
#include "serial/src/handshake.h"
#include "serial/src/library_state.h"
#include "tests/serial/support/port_fixture.h"

namespace winseria {
namespace {

using namespace winapi;

// Restores the unit's start values after each test that changes them.
class WithDefaults : public ::testing::Test {
protected:
    void TearDown() override {
        test::RestoreStartDefaults();
        TakeError();
    }
    static void Set(std::uint8_t parity, std::uint8_t byteSize, std::uint8_t stopBits) {
        Defaults().parity = parity;
        Defaults().byteSize = byteSize;
        Defaults().stopBits = stopBits;
    }
};

TEST_F(WithDefaults, ConstructionSetsTheDocumentedFields) {
    TComm comm;
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(comm.CommHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(comm.Name(), "Comm2");
    EXPECT_EQ(comm.Events(), 511);
    EXPECT_EQ(comm.ParityCode(), 2u);
    EXPECT_EQ(comm.DataBits(), 8u);
    EXPECT_EQ(comm.StopBitsCode(), 0u);
    EXPECT_EQ(comm.Speed(), 0u);
    EXPECT_EQ(comm.WriteTimeout(), 0);
    EXPECT_EQ(comm.ReadTimeout(), 0);
    EXPECT_EQ(comm.Watcher(), nullptr);
    EXPECT_EQ(comm.Worker(), nullptr);
    const COMMTIMEOUTS zero{};
    EXPECT_EQ(std::memcmp(&comm.Saved(), &zero, sizeof zero), 0);
}

class ParityDefault : public WithDefaults, public ::testing::WithParamInterface<std::pair<int, std::uint32_t>> {};

TEST_P(ParityDefault, MapsToTheObjectsParity) {
    Set(static_cast<std::uint8_t>(GetParam().first), 7, 2);
    TComm comm;
    EXPECT_EQ(comm.ParityCode(), GetParam().second);
    EXPECT_EQ(comm.DataBits(), 7u);
    EXPECT_EQ(comm.StopBitsCode(), 2u);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ParityDefault,
                         ::testing::Values(std::pair{0, 0u}, std::pair{1, 1u}, std::pair{2, 2u}, std::pair{3, 3u},
                                           std::pair{4, 4u}, std::pair{5, 2u}, std::pair{7, 2u},
                                           std::pair{255, 2u}));

TEST_F(WithDefaults, ByteSizeAndStopBitsAreTakenUnchecked) {
    Set(2, 0, 9);
    TComm comm;
    EXPECT_EQ(comm.DataBits(), 0u);
    EXPECT_EQ(comm.StopBitsCode(), 9u);
}

TEST(SetParams, StoresSpeedNameAndTimeouts) {
    const std::tuple<std::uint8_t, const char*> names[] = {
        {0, "\\\\.\\COM0"}, {3, "\\\\.\\COM3"}, {12, "\\\\.\\COM12"}, {255, "\\\\.\\COM255"}};
    for (const auto& [port, name] : names) {
        TComm comm;
        EXPECT_EQ(comm.SetParams(port, 115200, 3, 65535), 0);
        EXPECT_EQ(comm.Name(), name);
        EXPECT_EQ(comm.Speed(), 115200u);
        EXPECT_EQ(comm.WriteTimeout(), 3);
        EXPECT_EQ(comm.ReadTimeout(), 65535);
    }
    EXPECT_EQ(DeviceNameFor(7), "\\\\.\\COM7");
    EXPECT_EQ(std::string_view(DeviceNameFor(7)).substr(0, 7), std::string_view("\\\\.\\COM", 7));
}

struct TimeoutCase {
    std::uint16_t writeSec;
    std::uint16_t readSec;
    COMMTIMEOUTS expected;
};

class TimeoutMapping : public ::testing::TestWithParam<TimeoutCase> {};

TEST_P(TimeoutMapping, GivesTheDeviceRecord) {
    const COMMTIMEOUTS actual = TimeoutsFor(GetParam().writeSec, GetParam().readSec);
    const COMMTIMEOUTS& expected = GetParam().expected;
    EXPECT_EQ(actual.ReadIntervalTimeout, expected.ReadIntervalTimeout);
    EXPECT_EQ(actual.ReadTotalTimeoutMultiplier, expected.ReadTotalTimeoutMultiplier);
    EXPECT_EQ(actual.ReadTotalTimeoutConstant, expected.ReadTotalTimeoutConstant);
    EXPECT_EQ(actual.WriteTotalTimeoutMultiplier, expected.WriteTotalTimeoutMultiplier);
    EXPECT_EQ(actual.WriteTotalTimeoutConstant, expected.WriteTotalTimeoutConstant);
}

INSTANTIATE_TEST_SUITE_P(
    Seconds, TimeoutMapping,
    ::testing::Values(TimeoutCase{0, 0, {MAXDWORD, 0, 0, 0, 0}}, TimeoutCase{2, 2, {2000, 0, 2000, 0, 2000}},
                      TimeoutCase{0, 1, {1000, 0, 1000, 0, 0}}, TimeoutCase{5, 0, {MAXDWORD, 0, 0, 0, 5000}},
                      TimeoutCase{65535, 65535, {65535000, 0, 65535000, 0, 65535000}}));

TEST(EventMask, TranslatesEachMemberThroughTheTable) {
    // The first nine members in the order the exports fix; later ones follow.
    const DWORD byPosition[] = {EV_BREAK, EV_CTS, EV_DSR, EV_ERR, EV_RING, EV_RLSD, EV_RXCHAR, EV_RXFLAG, EV_TXEMPTY};
    for (unsigned position = 0; position < std::size(byPosition); ++position) {
        EXPECT_EQ(PlatformEventMask(static_cast<std::uint16_t>(1u << position)), byPosition[position]) << position;
    }
    EXPECT_EQ(PlatformEventMask(0x1FF), 0x1FFu);
    EXPECT_EQ(PlatformEventMask(0), 0u);
    EXPECT_EQ(PlatformEventMask(static_cast<std::uint16_t>(~kAllEvents)), 0u);  // bits beyond the members mean nothing
}

DCB Filled(unsigned char byte) {
    DCB dcb;
    std::memset(&dcb, byte, sizeof dcb);
    return dcb;
}

TEST(DcbFlags, SetOnlyTheSevenFixedFlags) {
    for (unsigned char fill : {0x00, 0xFF}) {
        DCB dcb = Filled(fill);
        const DCB before = dcb;
        TComm::SetDcbFlags(dcb);
        EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
        EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
        EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_DISABLE);
        EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_DISABLE);
        EXPECT_EQ(dcb.fOutX, 0u);
        EXPECT_EQ(dcb.fInX, 0u);
        EXPECT_EQ(dcb.fAbortOnError, 1u);
        // Everything else as it was.
        EXPECT_EQ(dcb.fBinary, before.fBinary);
        EXPECT_EQ(dcb.fParity, before.fParity);
        EXPECT_EQ(dcb.fDsrSensitivity, before.fDsrSensitivity);
        EXPECT_EQ(dcb.fTXContinueOnXoff, before.fTXContinueOnXoff);
        EXPECT_EQ(dcb.fErrorChar, before.fErrorChar);
        EXPECT_EQ(dcb.fNull, before.fNull);
        EXPECT_EQ(dcb.fDummy2, before.fDummy2);
        EXPECT_EQ(dcb.DCBlength, before.DCBlength);
        EXPECT_EQ(dcb.BaudRate, before.BaudRate);
        EXPECT_EQ(std::memcmp(&dcb.wReserved, &before.wReserved, sizeof(DCB) - offsetof(DCB, wReserved)), 0);
    }
}

class ClosedComm : public ::testing::Test {
protected:
    void SetUp() override { TakeError(); }
    void TearDown() override { TakeError(); }
    TComm comm;
};

TEST_F(ClosedComm, DisconnectAnswersZeroAndTouchesNothing) {
    const HANDLE portClosed = Handshake().PortClosed();
    EXPECT_EQ(comm.Disconnect(), 0);
    EXPECT_EQ(Handshake().PortClosed(), portClosed);
    EXPECT_EQ(comm.Watcher(), nullptr);
    EXPECT_EQ(test::FetchError(), (test::Fetched{0, "", 0}));
}

TEST_F(ClosedComm, ConfigureAndPurgesAnswerZero) {
    EXPECT_EQ(comm.Configure(), 0);
    EXPECT_EQ(comm.ClearOutput(), 0);
    EXPECT_EQ(comm.ClearInput(), 0);
    EXPECT_EQ(test::FetchError(), (test::Fetched{0, "", 0}));
}

TEST_F(ClosedComm, SetTimeoutsReadsTheDeviceBeforeItChecksTheHandle) {
    EXPECT_EQ(comm.SetTimeouts(2, 2), static_cast<std::int32_t>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(test::FetchError(), test::Failure(" Błąd odczytu aktualnych czasów.", 6));
}

TEST_F(ClosedComm, LineEventsOnAClosedPortRecordNothing) {
    comm.HandleCommEvent(nullptr, 0x1FF);
    EXPECT_EQ(comm.LastLineErrors(), 0u);
    EXPECT_EQ(test::FetchError(), (test::Fetched{0, "", 0}));
}

TEST_F(ClosedComm, QueryOnAClosedPortAnswersFalse) { EXPECT_FALSE(comm.QueryTransmitEmpty()); }

}  // namespace
}  // namespace winseria
