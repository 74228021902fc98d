// Pure rules of the stand-in: DCB validation and DCB<->termios, the
// COMMTIMEOUTS plan, the in-band line-error decoder, port names.
#include "serial/platform/posix/dcb_termios.h"
#include "serial/platform/posix/device_resolver.h"
#include "serial/platform/posix/port_requests.h"
#include "torvane/com_numbering.h"

#include <gtest/gtest.h>
#include <termios.h>

using namespace winapi;
using namespace winapi::posix;
using std::chrono::milliseconds;

namespace {

DCB validDcb() {
    DCB d{};
    d.DCBlength = sizeof(DCB);
    d.BaudRate = 9600;
    d.ByteSize = 8;
    d.Parity = NOPARITY;
    d.StopBits = ONESTOPBIT;
    d.XonChar = 0x11;
    d.XoffChar = 0x13;
    return d;
}

struct DcbCheck {
    const char* name;
    void (*change)(DCB&);
    bool valid;
};

const DcbCheck kDcbChecks[] = {
    {"defaults", [](DCB&) {}, true},
    {"baud_zero", [](DCB& d) { d.BaudRate = 0; }, false},
    {"baud_odd_value", [](DCB& d) { d.BaudRate = 123457; }, true},
    {"bytesize_4", [](DCB& d) { d.ByteSize = 4; }, false},
    {"bytesize_5", [](DCB& d) { d.ByteSize = 5; }, true},
    {"bytesize_9", [](DCB& d) { d.ByteSize = 9; }, false},
    {"bytesize_0", [](DCB& d) { d.ByteSize = 0; }, false},
    {"parity_space", [](DCB& d) { d.Parity = SPACEPARITY; }, true},
    {"parity_5", [](DCB& d) { d.Parity = 5; }, false},
    {"parity_7", [](DCB& d) { d.Parity = 7; }, false},
    {"stop_two_with_8", [](DCB& d) { d.StopBits = TWOSTOPBITS; }, true},
    {"stop_3", [](DCB& d) { d.StopBits = 3; }, false},
    {"stop_one5_with_8", [](DCB& d) { d.StopBits = ONE5STOPBITS; }, false},
    {"stop_one5_with_5", [](DCB& d) { d.StopBits = ONE5STOPBITS; d.ByteSize = 5; }, true},
    {"stop_two_with_5", [](DCB& d) { d.StopBits = TWOSTOPBITS; d.ByteSize = 5; }, false},
    // No handshake: the library never asks for one.
    {"cts_flow", [](DCB& d) { d.fOutxCtsFlow = 1; }, false},
    {"dsr_flow", [](DCB& d) { d.fOutxDsrFlow = 1; }, false},
    {"xon_output", [](DCB& d) { d.fOutX = 1; }, false},
    {"xon_input", [](DCB& d) { d.fInX = 1; }, false},
    {"dtr_handshake", [](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }, false},
    {"rts_handshake", [](DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; }, false},
    {"rts_toggle", [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }, false},
    {"null_stripping", [](DCB& d) { d.fNull = 1; }, false},
    {"error_char", [](DCB& d) { d.fErrorChar = 1; }, false},
    {"dtr_rts_enabled", [](DCB& d) { d.fDtrControl = DTR_CONTROL_ENABLE; d.fRtsControl = RTS_CONTROL_ENABLE; }, true},
};

class DcbValidation : public ::testing::TestWithParam<DcbCheck> {};

TEST_P(DcbValidation, AcceptsExactlyTheWindowsRange) {
    DCB d = validDcb();
    GetParam().change(d);
    EXPECT_EQ(isValidDcb(d), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(Dcb, DcbValidation, ::testing::ValuesIn(kDcbChecks),
                         [](const auto& info) { return std::string(info.param.name); });

struct LineCase {
    const char* name;
    BYTE byteSize;
    BYTE parity;
    BYTE stopBits;
    std::uint32_t expectedBits;  // within CSIZE | PARENB | PARODD | CMSPAR | CSTOPB
};

constexpr std::uint32_t kLineBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

const LineCase kLineCases[] = {
    {"8N1", 8, NOPARITY, ONESTOPBIT, CS8},
    {"7E1", 7, EVENPARITY, ONESTOPBIT, CS7 | PARENB},
    {"7O2", 7, ODDPARITY, TWOSTOPBITS, CS7 | PARENB | PARODD | CSTOPB},
    {"8M1", 8, MARKPARITY, ONESTOPBIT, CS8 | PARENB | PARODD | CMSPAR},
    {"8S1", 8, SPACEPARITY, ONESTOPBIT, CS8 | PARENB | CMSPAR},
    {"6N2", 6, NOPARITY, TWOSTOPBITS, CS6 | CSTOPB},
    {"5N15", 5, NOPARITY, ONE5STOPBITS, CS5 | CSTOPB},
};

class LineMapping : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineMapping, SetsTheTermiosBitsAndReadsThemBack) {
    const LineCase& c = GetParam();
    DCB d = validDcb();
    d.ByteSize = c.byteSize;
    d.Parity = c.parity;
    d.StopBits = c.stopBits;
    KernelTermios start;
    start.cflag = CS8 | PARENB | PARODD | CMSPAR | CSTOPB;  // everything set: mapping must clear
    KernelTermios t = termiosForDcb(start, d);
    EXPECT_EQ(t.cflag & kLineBits, c.expectedBits);
    EXPECT_EQ(byteSizeOf(t), c.byteSize);
    EXPECT_EQ(parityOf(t), c.parity);
    EXPECT_EQ(stopBitsOf(t), c.stopBits);
}

INSTANTIATE_TEST_SUITE_P(Dcb, LineMapping, ::testing::ValuesIn(kLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct SpeedCase {
    DWORD baud;
    std::uint32_t code;
};

class SpeedMapping : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(SpeedMapping, StandardSpeedsUseTheirCodeOthersBother) {
    KernelTermios t;
    t.cflag = B38400 | CS8;
    applyBaudRate(t, GetParam().baud);
    EXPECT_EQ(t.cflag & CBAUD, GetParam().code);
    EXPECT_EQ(t.ispeed, GetParam().baud);
    EXPECT_EQ(t.ospeed, GetParam().baud);
    EXPECT_EQ(t.cflag & CSIZE, static_cast<std::uint32_t>(CS8)) << "other bits untouched";
    EXPECT_EQ(baudRateOf(t), GetParam().baud);
}

INSTANTIATE_TEST_SUITE_P(Dcb, SpeedMapping,
                         ::testing::Values(SpeedCase{9600, B9600}, SpeedCase{115200, B115200},
                                           SpeedCase{300, B300}, SpeedCase{123457, kTermiosBother},
                                           SpeedCase{250000, kTermiosBother}));

TEST(DcbMapping, ReadsStandardCodeWhenSpeedFieldsAreEmpty) {
    KernelTermios t;
    t.cflag = B19200 | CS8;
    EXPECT_EQ(baudRateOf(t), 19200u);
}

TEST(DcbMapping, RawModeAndErrorMarking) {
    KernelTermios t;
    t.iflag = ICRNL | IXON | IGNPAR | ISTRIP | BRKINT;
    t.oflag = OPOST | ONLCR;
    t.lflag = ICANON | ECHO | ISIG | IEXTEN;
    KernelTermios r = openingTermios(t);
    EXPECT_EQ(r.lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(r.oflag & OPOST, 0u);
    EXPECT_EQ(r.iflag & (ICRNL | IXON | IGNPAR | ISTRIP | BRKINT), 0u);
    EXPECT_EQ(r.iflag & (INPCK | PARMRK), static_cast<std::uint32_t>(INPCK | PARMRK));
    EXPECT_EQ(r.cflag & (CREAD | CLOCAL), static_cast<std::uint32_t>(CREAD | CLOCAL));
    EXPECT_EQ(r.cc[VMIN], 1);
    EXPECT_EQ(r.cc[VTIME], 0);
}

TEST(DcbMapping, OpeningDcbReportsDeviceLineAndWindowsDefaults) {
    KernelTermios t;
    applyBaudRate(t, 19200);
    applyByteSize(t, 7);
    applyParity(t, ODDPARITY);
    DCB d = dcbFromTermios(openingTermios(t));
    EXPECT_EQ(d.DCBlength, sizeof(DCB));
    EXPECT_EQ(d.BaudRate, 19200u);
    EXPECT_EQ(d.ByteSize, 7);
    EXPECT_EQ(d.Parity, ODDPARITY);
    EXPECT_EQ(d.fBinary, 1u);
    EXPECT_EQ(d.fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(d.fOutX, 0u);
    EXPECT_EQ(d.fAbortOnError, 0u);
}

// The modes the library sets, and only those: no multipliers, and a MAXDWORD
// interval only as "return at once" (read total 0).
TEST(Timeouts, AcceptedAreTheLibrarysModes) {
    const struct {
        COMMTIMEOUTS t;
        bool valid;
    } cases[] = {
        {{0, 0, 0, 0, 0}, true},
        {{MAXDWORD, 0, 0, 0, 2000}, true},
        {{2000, 0, 2000, 0, 2000}, true},
        {{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0}, false},
        {{MAXDWORD, 0, 300, 0, 0}, false},
        {{0, 10, 0, 0, 0}, false},
        {{0, 0, 0, 3, 10}, false},
    };
    for (const auto& c : cases) {
        const COMMTIMEOUTS& t = c.t;
        EXPECT_EQ(isValidTimeouts(t), c.valid) << t.ReadIntervalTimeout << " " << t.ReadTotalTimeoutMultiplier << " "
                                               << t.ReadTotalTimeoutConstant << " " << t.WriteTotalTimeoutMultiplier;
    }
}

struct DecoderCase {
    const char* name;
    std::vector<std::vector<std::uint8_t>> chunks;
    std::vector<InputItem> expected;
};

constexpr auto D = InputItem::Kind::Data;
constexpr auto M = InputItem::Kind::Marked;

class MarkedInput : public ::testing::TestWithParam<DecoderCase> {};

TEST_P(MarkedInput, SplitsDataAndMarksAcrossReads) {
    MarkedInputDecoder decoder;
    std::vector<InputItem> items;
    for (const auto& chunk : GetParam().chunks) decoder.feed(chunk.data(), chunk.size(), items);
    EXPECT_EQ(items, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Decoder, MarkedInput,
    ::testing::Values(
        DecoderCase{"plain", {{1, 2, 3}}, {{D, 1}, {D, 2}, {D, 3}}},
        DecoderCase{"escaped_ff", {{0xFF, 0xFF, 7}}, {{D, 0xFF}, {D, 7}}},
        DecoderCase{"error_mark", {{5, 0xFF, 0x00, 0x41}}, {{D, 5}, {M, 0x41}}},
        DecoderCase{"break_mark", {{0xFF, 0x00, 0x00}}, {{M, 0x00}}},
        DecoderCase{"mark_split_in_three", {{0xFF}, {0x00}, {0x42, 9}}, {{M, 0x42}, {D, 9}}},
        DecoderCase{"escaped_ff_split", {{1, 0xFF}, {0xFF}}, {{D, 1}, {D, 0xFF}}},
        DecoderCase{"zero_data_kept", {{0x00, 0x00}}, {{D, 0}, {D, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct NameCase {
    const char* text;
    std::optional<unsigned> number;
};

class PortNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(PortNames, ParsesOnlyComOneTo255) { EXPECT_EQ(parseComPortName(GetParam().text), GetParam().number); }

INSTANTIATE_TEST_SUITE_P(Names, PortNames,
                         ::testing::Values(NameCase{"\\\\.\\COM1", 1u}, NameCase{"\\\\.\\COM255", 255u},
                                           NameCase{"\\\\.\\com12", 12u}, NameCase{"COM3", 3u},
                                           NameCase{"\\\\.\\COM0", std::nullopt},
                                           NameCase{"\\\\.\\COM256", std::nullopt},
                                           NameCase{"\\\\.\\COM01", std::nullopt},
                                           NameCase{"\\\\.\\COM1x", std::nullopt},
                                           NameCase{"\\\\.\\COM", std::nullopt},
                                           NameCase{"\\\\.\\LPT1", std::nullopt},
                                           NameCase{"Comm2", std::nullopt}, NameCase{"", std::nullopt},
                                           NameCase{nullptr, std::nullopt}));

TEST(PortNames, FixedNumberingCoversThreeFamilies) {
    EXPECT_EQ(torvane::ComDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(torvane::ComDevicePath(32), "/dev/ttyS31");
    EXPECT_EQ(torvane::ComDevicePath(33), "/dev/ttyUSB0");
    EXPECT_EQ(torvane::ComDevicePath(160), "/dev/ttyUSB127");
    EXPECT_EQ(torvane::ComDevicePath(161), "/dev/ttyACM0");
    EXPECT_EQ(torvane::ComDevicePath(255), "/dev/ttyACM94");
    EXPECT_FALSE(torvane::ComDevicePath(0).has_value());
    EXPECT_FALSE(torvane::ComDevicePath(256).has_value());
    EXPECT_EQ(portsDirLink("/tmp/p", 7), "/tmp/p/com7");
}

}  // namespace
