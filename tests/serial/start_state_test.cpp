// The library as a process finds it: nothing initialized yet. This binary
// never opens a port, so every case sees the start state.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "serial/include/winseria.h"
#include "serial/src/comm_port.h"
#include "serial/src/library_state.h"
#include "tests/serial/support/error_fetch.h"

namespace winseria {
namespace {

using test::Failure;
using test::FetchError;
using test::Fetched;

// Listed first: the error slot is still as the process started.
TEST(StartState, SlotIsEmptyAndDefaultsAreTheStartValues) {
    EXPECT_EQ(FetchError(), (Fetched{0, "", 0}));
    EXPECT_EQ(Defaults().parity.load(), 2);
    EXPECT_EQ(Defaults().byteSize.load(), 8);
    EXPECT_EQ(Defaults().stopBits.load(), 0);
    EXPECT_EQ(Defaults().ctsFlag.load(), 1);
    EXPECT_EQ(CommPort(), nullptr);
    EXPECT_EQ(TimeOut(), 0);
}

TEST(StartState, UnInitializeBeforeAnyInitializeAnswersZero) {
    EXPECT_EQ(UnInitializePort(), 0);
    EXPECT_EQ(UnInitializePort(), 0);
}

TEST(StartState, WriteByteFailsAtOnceAndEndsWithTheSignallingFailure) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WriteByte(0x55), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(TimeOut(), 0);
    EXPECT_EQ(FetchError(), Failure("Błąd podczas sygnalizacji zdarzenia.", 6));
}

TEST(StartState, ReadByteFailsAtOnceAndLeavesTheValue) {
    std::uint8_t value = 0xA5;
    EXPECT_EQ(ReadByte(&value), 0);
    EXPECT_EQ(value, 0xA5);
    EXPECT_EQ(TimeOut(), 0);
    EXPECT_EQ(FetchError(), Failure("Błąd podczas anulacji zdarzenia.", 6));
}

TEST(StartState, ReadByteIntoNothingChangesNothing) {
    TakeError();
    EXPECT_EQ(ReadByte(nullptr), 0);
    EXPECT_EQ(FetchError(), (Fetched{0, "", 0}));
}

TEST(StartState, PortFunctionsWithoutAPortObjectAnswerNoAndRecordNothing) {
    TakeError();
    EXPECT_EQ(ModemStatus(), 0u);
    EXPECT_EQ(CharSent(), 0);
    EXPECT_EQ(ChangeSpeed(9600), 0);
    EXPECT_EQ(ChangeParity(0), 0);
    EXPECT_EQ(ClearPort(), 0);
    EXPECT_EQ(SetDTRLine(), 0);
    EXPECT_EQ(ClearDTRLine(), 0);
    EXPECT_EQ(SetRTSLine(), 0);
    EXPECT_EQ(ClearRTSLine(), 0);
    for (std::uint8_t channel : {0, 1, 2, 3, 4, 5, 255}) EXPECT_EQ(UstawKanal(channel), 0) << int(channel);
    EXPECT_EQ(FetchError(), (Fetched{0, "", 0}));
    EXPECT_EQ(CommPort(), nullptr);
}

TEST(StartState, VersionIsThreePointZeroZeroInStaticStorage) {
    const char* version = nullptr;
    DllVersion(&version);
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version, "3.00");
    const char* again = nullptr;
    DllVersion(&again);
    EXPECT_EQ(again, version);
    DllVersion(nullptr);  // ignored
}

TEST(StartState, UstawCtsStoresAndReturnsTheFlag) {
    EXPECT_EQ(UstawCTS(0), 0);
    EXPECT_EQ(Defaults().ctsFlag.load(), 0);
    EXPECT_EQ(UstawCTS(200), 200);
    EXPECT_EQ(Defaults().ctsFlag.load(), 200);
    UstawCTS(1);
}

TEST(StartState, OpoznieniePausesForTheGivenTime) {
    const auto start = std::chrono::steady_clock::now();
    Opoznienie(30);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(30));
    EXPECT_LT(elapsed, std::chrono::seconds(2));
}

}  // namespace
}  // namespace winseria
