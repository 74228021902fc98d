// The serial exports over a real Windows serial stack (Wine's), on COM ports
// that with_pty_pair.sh links to the two ends of a pseudo-terminal pair: the
// library opens TORVANE_WINE_PORT, the test talks through TORVANE_WINE_PEER.
//
// Where Wine differs from Windows, the test says so and checks what Wine
// shows (docs/windows.md lists the differences):
// - a pseudo-terminal has no modem lines: EscapeCommFunction and
//   GetCommModemStatus fail there with error 50;
// - a timed-out overlapped read completes with FALSE and error 1460 instead
//   of TRUE and 0 bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <future>
#include <cstdlib>
#include <string>

#include "serial/include/winseria.h"
#include "torvane/cp1250.h"

namespace {

int PortFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? 0 : std::atoi(value);
}

struct SlotContents {
    bool result;
    std::string text;  // UTF-8
    std::int32_t code;
};

SlotContents FetchError() {
    char buffer[64] = {};
    char* address = buffer;
    SlotContents slot{};
    slot.result = IsError(&address, &slot.code) != 0;
    slot.text = torvane::Cp1250ToUtf8(buffer);
    return slot;
}

class WinseriaOverPty : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = PortFromEnvironment("TORVANE_WINE_PORT");
        const int peer = PortFromEnvironment("TORVANE_WINE_PEER");
        ASSERT_GT(port_, 0) << "run through tests/win32/with_pty_pair.sh";
        ASSERT_GT(peer, 0) << "run through tests/win32/with_pty_pair.sh";
        const std::string peerName = "\\\\.\\COM" + std::to_string(peer);
        peer_ = CreateFileA(peerName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(peer_, INVALID_HANDLE_VALUE) << "error " << GetLastError();
        // The peer never waits longer than 3 s for a byte.
        COMMTIMEOUTS timeouts{0, 0, 3000, 0, 3000};
        ASSERT_TRUE(SetCommTimeouts(peer_, &timeouts));
        PurgeComm(peer_, PURGE_RXCLEAR | PURGE_TXCLEAR);
        FetchError();
    }

    void TearDown() override {
        UnInitializePort();
        if (peer_ != INVALID_HANDLE_VALUE) CloseHandle(peer_);
    }

    std::uint8_t Port() const { return static_cast<std::uint8_t>(port_); }

    bool PeerReads(std::uint8_t& value) {
        DWORD count = 0;
        return ReadFile(peer_, &value, 1, &count, nullptr) && count == 1;
    }
    bool PeerWrites(std::uint8_t value) {
        DWORD count = 0;
        return WriteFile(peer_, &value, 1, &count, nullptr) && count == 1;
    }

    int port_ = 0;
    HANDLE peer_ = INVALID_HANDLE_VALUE;
};

TEST_F(WinseriaOverPty, OnePortAtATimeAndThePortIsHeldExclusively) {
    EXPECT_TRUE(SerialPortPresent(Port()));
    ASSERT_EQ(InitializePort(Port(), 9600, 2, 2), 0) << FetchError().text;
    // Windows: the open port cannot be opened again, so it is not present.
    // Wine does not hold a character device exclusively: the probe's own
    // open succeeds there. Only the library's own refusal is checked.
    const bool presentWhileOpen = SerialPortPresent(Port()) != 0;
    if (presentWhileOpen) std::printf("note: Wine let a second open of the held port succeed\n");

    EXPECT_EQ(InitializePort(Port(), 9600, 2, 2), 5);
    const SlotContents refused = FetchError();
    EXPECT_TRUE(refused.result);
    EXPECT_EQ(refused.text, "Ten port jest już zainicjowany");
    EXPECT_EQ(refused.code, 5);

    EXPECT_EQ(UnInitializePort(), 0);
    EXPECT_TRUE(SerialPortPresent(Port()));
    // And it opens again after being closed. Without parity: Wine refuses a
    // second parity setting on the same pty (see with_pty_pair.sh).
    EXPECT_EQ(pInitializePort(Port(), 9600, 2, 2, 0, 8, 0), 0) << FetchError().text;
    EXPECT_EQ(UnInitializePort(), 0);
}

TEST_F(WinseriaOverPty, BytesTravelBothWaysUnchanged) {
    ASSERT_EQ(InitializePort(Port(), 9600, 2, 2), 0) << FetchError().text;
    // Includes the flow-control characters and the bytes a line error marks.
    for (const std::uint8_t value : {0x00, 0x11, 0x13, 0x5A, 0x7F, 0xA5, 0xFF}) {
        SCOPED_TRACE(static_cast<int>(value));
        EXPECT_EQ(WriteByte(value), 1);
        EXPECT_EQ(TimeOut(), 0);
        std::uint8_t received = static_cast<std::uint8_t>(~value);
        ASSERT_TRUE(PeerReads(received));
        EXPECT_EQ(received, value);
        EXPECT_EQ(CharSent(), 1);  // the driver holds nothing more to send

        ASSERT_TRUE(PeerWrites(static_cast<std::uint8_t>(~value)));
        std::uint8_t read = value;
        EXPECT_EQ(ReadByte(&read), 1);
        EXPECT_EQ(TimeOut(), 0);
        EXPECT_EQ(read, static_cast<std::uint8_t>(~value));
    }
    EXPECT_FALSE(FetchError().result);
}

TEST_F(WinseriaOverPty, AReadWithNothingToReadTimesOut) {
    ASSERT_EQ(InitializePort(Port(), 9600, 1, 1), 0) << FetchError().text;
    std::uint8_t value = 0x42;
    EXPECT_EQ(ReadByte(&value), 0);
    EXPECT_EQ(TimeOut(), 1);
    EXPECT_EQ(value, 0x42) << "nothing was read into the caller's byte";
    const SlotContents slot = FetchError();
    if (slot.code == 1460) {
        // Wine: GetOverlappedResult reports the time-out as a failure (1460).
        EXPECT_EQ(slot.text, "Niepoprawny odczyt.");
    } else {
        // Windows: a time-out is no failure; the read ends with 0 bytes.
        EXPECT_EQ(slot.text, "Timeout odczytu.");
        EXPECT_EQ(slot.code, 0);
    }
    // The line still works after the time-out.
    ASSERT_TRUE(PeerWrites(0x33));
    EXPECT_EQ(ReadByte(&value), 1);
    EXPECT_EQ(value, 0x33);
}

// Wine's PurgeComm leaves a pending read running to its own time-out; the
// worker's CancelIo ends it, so the close ends it within a bound here too.
TEST_F(WinseriaOverPty, ACloseFromAnotherThreadEndsAReadWithALongTimeOut) {
    ASSERT_EQ(InitializePort(Port(), 9600, 1, 60), 0) << FetchError().text;
    std::uint8_t value = 0x42;
    auto reader = std::async(std::launch::async, [&value] { return ReadByte(&value); });
    ASSERT_EQ(reader.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    const auto closing = std::chrono::steady_clock::now();
    auto closer = std::async(std::launch::async, [] { return UnInitializePort(); });
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(1)), std::future_status::ready) << "the read outlived the close";
    EXPECT_EQ(reader.get(), 0);
    ASSERT_EQ(closer.wait_for(std::chrono::seconds(1) - (std::chrono::steady_clock::now() - closing)),
              std::future_status::ready);
    EXPECT_EQ(closer.get(), 0);
    EXPECT_EQ(value, 0x42);
    EXPECT_EQ(TimeOut(), 1);
    const SlotContents slot = FetchError();
    EXPECT_EQ(slot.text, "Odczyt przerwany");
    EXPECT_EQ(slot.code, 995);
}

TEST_F(WinseriaOverPty, SpeedAndParityChangesKeepTheLineWorking) {
    ASSERT_EQ(InitializePort(Port(), 9600, 2, 2), 0) << FetchError().text;
    // Parity first: Wine refuses a second parity setting on the same pty,
    // and the speed change re-applies the object's parity.
    EXPECT_EQ(ChangeParity(0), 1);
    EXPECT_EQ(ChangeSpeed(19200), 1);
    EXPECT_EQ(ClearPort(), 0);
    EXPECT_EQ(WriteByte(0x61), 1);
    std::uint8_t received = 0;
    ASSERT_TRUE(PeerReads(received));
    EXPECT_EQ(received, 0x61);
}

TEST_F(WinseriaOverPty, APtyHasNoModemLines) {
    ASSERT_EQ(InitializePort(Port(), 9600, 2, 2), 0) << FetchError().text;
    // Windows with a real port: non-zero, and UstawKanal(2) true. Wine on a
    // pseudo-terminal: EscapeCommFunction fails (error 50), so every line
    // function reports failure and the channel cannot be set.
    EXPECT_EQ(SetDTRLine(), 0);
    EXPECT_EQ(ClearRTSLine(), 0);
    EXPECT_EQ(UstawKanal(2), 0);
    // Whatever GetCommModemStatus does, no bit outside the four lines.
    EXPECT_EQ(ModemStatus() & ~0xF0u, 0u);
    // The line is still usable for data.
    EXPECT_EQ(WriteByte(0x62), 1);
    std::uint8_t received = 0;
    ASSERT_TRUE(PeerReads(received));
    EXPECT_EQ(received, 0x62);
}

TEST_F(WinseriaOverPty, PInitializePortStoresTheDefaultsEvenWhenItFails) {
    // No parity, 7 data bits, two stop bits, stored before the open of a
    // port that does not exist fails.
    EXPECT_EQ(pInitializePort(200, 4800, 2, 2, 0, 7, 2), 2);
    FetchError();
    // InitializePort takes them: the first configuration of this pty.
    ASSERT_EQ(InitializePort(Port(), 9600, 2, 2), 0) << FetchError().text;
    EXPECT_EQ(WriteByte(0x41), 1);
    std::uint8_t received = 0;
    ASSERT_TRUE(PeerReads(received));
    EXPECT_EQ(received & 0x7F, 0x41);
}

}  // namespace
