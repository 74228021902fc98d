// The serial library on the kernel's own ftdi_sio driver, in the guest that
// scripts/kernel-guest.sh boots: bytes through both converters with a data
// peer (a virtio port; a 16550), time-outs, the purge, CharSent, and what
// reached the emulated chip (QEMU's usb_serial trace, a file shared in):
// speeds, line settings, DTR and RTS.
// Run by the checks serial.sh and idle_port.sh; never on the build machine.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "serial/include/winseria.h"
#include "tests/kernel/guest_sysfs.h"
#include "torvane/unique_fd.h"

namespace {

namespace fs = std::filesystem;
using kernel_guest::ReadAttr;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A converter of the harness's layout, found by its USB device name.
struct Converter {
    std::string usb;   // "1-1"
    std::string peer;  // the node at the other end of its data path
};

const Converter kRootPort{"1-1", "virtio:ftdi0peer"};
const Converter kBehindHub{"1-2.1", "/dev/ttyS1"};

int ComOf(const Converter& c) { return kernel_guest::ComOf(c.usb); }

std::string PeerPath(const Converter& c) {
    const std::string prefix = "virtio:";
    if (c.peer.rfind(prefix, 0) != 0) return c.peer;
    for (const auto& e : fs::directory_iterator("/sys/class/virtio-ports"))
        if (ReadAttr(e.path() / "name") == c.peer.substr(prefix.size())) return "/dev/" + e.path().filename().string();
    return {};
}

// The peer, raw; a 16550 at the converter's speed (a virtio port has none).
torvane::UniqueFd OpenPeer(const Converter& c) {
    torvane::UniqueFd fd(open(PeerPath(c).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    termios t{};
    if (fd.Get() >= 0 && tcgetattr(fd.Get(), &t) == 0) {
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        cfsetspeed(&t, B115200);
        tcsetattr(fd.Get(), TCSANOW, &t);
        tcflush(fd.Get(), TCIOFLUSH);
    }
    return fd;
}

// Reads until `count` bytes came or `limit` passed.
std::string ReadPeer(int fd, std::size_t count, std::chrono::milliseconds limit) {
    std::string got;
    auto end = Clock::now() + limit;
    while (got.size() < count && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char buf[512];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

void WritePeer(int fd, const std::string& bytes) {
    std::size_t done = 0;
    auto end = Clock::now() + 2s;
    while (done < bytes.size() && Clock::now() < end) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) done += static_cast<std::size_t>(n);
        else std::this_thread::sleep_for(1ms);
    }
}

std::string AllByteValues() {
    std::string s;
    for (int v = 0; v < 256; ++v) s.push_back(static_cast<char>(v));
    return s;
}

int32_t LastErrorCode() {
    char text[64] = {};
    char* buffer = text;
    int32_t code = 0;
    IsError(&buffer, &code);
    return code;
}

// QEMU's usb_serial trace, from the point where the object was made.
class Trace {
public:
    Trace() : path_(std::getenv("KERNEL_TRACE") ? std::getenv("KERNEL_TRACE") : "") {
        from_ = path_.empty() ? 0 : static_cast<std::uintmax_t>(fs::file_size(path_));
    }
    // What every `event` line since then says of the device QEMU numbers
    // `address` (any device when empty), if it contains `part`: "baud rate 9600".
    std::vector<std::string> all(const std::string& event, const std::string& address = "",
                                 const std::string& part = "") const {
        std::ifstream in(path_);
        in.seekg(static_cast<std::streamoff>(from_));
        std::vector<std::string> found;
        const std::string key = "usb_serial_" + event + " dev 0:" + address;
        for (std::string line; std::getline(in, line);) {
            auto at = line.find(key);
            if (at != std::string::npos && line.find(part) != std::string::npos)
                found.push_back(line.substr(at + key.size()));
        }
        return found;
    }
    std::string last(const std::string& event, const std::string& address = "") const {
        auto found = all(event, address);
        return found.empty() ? "" : found.back();
    }

private:
    std::string path_;
    std::uintmax_t from_ = 0;
};

// The address QEMU's trace names the converter by (xHCI's slot, not the
// kernel's devnum): the device that reports a speed set through its node.
std::string TraceAddressOf(const Converter& c) {
    static std::map<std::string, std::string> known;
    auto& address = known[c.usb];
    if (!address.empty()) return address;
    Trace trace;
    std::string node = "/dev/ttyUSB" + std::to_string(ComOf(c) - 33);
    torvane::UniqueFd fd(open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    termios t{};
    if (fd.Get() >= 0 && tcgetattr(fd.Get(), &t) == 0 && cfsetspeed(&t, B1200) == 0) tcsetattr(fd.Get(), TCSANOW, &t);
    std::string seen = trace.last("set_baud");  // "<address> baud rate 1200"
    address = seen.substr(0, seen.find(' ') + 1);
    return address;
}

class KernelPort : public ::testing::TestWithParam<Converter> {
protected:
    void TearDown() override { UnInitializePort(); }
};

INSTANTIATE_TEST_SUITE_P(Converters, KernelPort, ::testing::Values(kRootPort, kBehindHub),
                         [](const auto& info) { return info.param.peer[0] == '/' ? "BehindHub16550" : "RootVirtio"; });

TEST_P(KernelPort, AllByteValuesBothWays) {
    const Converter& c = GetParam();
    torvane::UniqueFd peer = OpenPeer(c);
    ASSERT_GE(peer.Get(), 0) << c.peer;
    ASSERT_EQ(pInitializePort(static_cast<uint8_t>(ComOf(c)), 115200, 2, 2, 0, 8, 0), 0);
    const std::string bytes = AllByteValues();
    for (char b : bytes) ASSERT_EQ(WriteByte(static_cast<uint8_t>(b)), 1);
    EXPECT_EQ(ReadPeer(peer.Get(), bytes.size(), 5s), bytes);

    WritePeer(peer.Get(), bytes);
    std::string got;
    uint8_t value = 0;
    while (got.size() < bytes.size() && ReadByte(&value) == 1) got.push_back(static_cast<char>(value));
    EXPECT_EQ(got, bytes);
}

TEST_P(KernelPort, ReadTimesOutWhenNothingComes) {
    ASSERT_EQ(InitializePort(static_cast<uint8_t>(ComOf(GetParam())), 115200, 1, 1), 0);
    uint8_t value = 0;
    auto start = Clock::now();
    EXPECT_EQ(ReadByte(&value), 0);
    auto waited = Clock::now() - start;
    EXPECT_EQ(TimeOut(), 1);
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 5s);
}

TEST_P(KernelPort, ClearPortDropsWhatArrived) {
    const Converter& c = GetParam();
    torvane::UniqueFd peer = OpenPeer(c);
    ASSERT_EQ(InitializePort(static_cast<uint8_t>(ComOf(c)), 115200, 1, 1), 0);
    WritePeer(peer.Get(), "stale");
    std::this_thread::sleep_for(1s);  // through the chip and the driver into the port's buffer (ms, unless loaded)
    EXPECT_EQ(ClearPort(), 0);
    WritePeer(peer.Get(), "n");
    uint8_t value = 0;
    ASSERT_EQ(ReadByte(&value), 1);
    EXPECT_EQ(value, 'n');
}

TEST_P(KernelPort, CharSentOnceTheDriverHasSentEverything) {
    const Converter& c = GetParam();
    torvane::UniqueFd peer = OpenPeer(c);
    ASSERT_EQ(InitializePort(static_cast<uint8_t>(ComOf(c)), 115200, 1, 1), 0);
    for (char b : std::string(64, 'x')) ASSERT_EQ(WriteByte(static_cast<uint8_t>(b)), 1);
    auto end = Clock::now() + 2s;
    while (CharSent() != 1 && Clock::now() < end) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(CharSent(), 1);
    EXPECT_EQ(ReadPeer(peer.Get(), 64, 2s).size(), 64u);
}

// What the chip is told: the divisor's rate (QEMU reports the rate it
// decodes; 115200 has no exact divisor) and the line settings.
struct LineCase {
    uint32_t baud;
    uint8_t parity, byteSize, stopBits;
    const char* baudSeen;
    const char* dataSeen;
};

class KernelSettings : public ::testing::TestWithParam<LineCase> {
protected:
    void TearDown() override { UnInitializePort(); }
};

INSTANTIATE_TEST_SUITE_P(
    Lines, KernelSettings,
    ::testing::Values(LineCase{9600, 0, 8, 0, "baud rate 9600", "parity N, data bits 8, stop bits 1"},
                      LineCase{19200, 1, 7, 0, "baud rate 19200", "parity O, data bits 7, stop bits 1"},
                      LineCase{115200, 2, 8, 2, "baud rate 115384", "parity E, data bits 8, stop bits 2"},
                      LineCase{3000000, 2, 7, 2, "baud rate 3000000", "parity E, data bits 7, stop bits 2"}));

TEST_P(KernelSettings, ReachTheChip) {
    const LineCase& l = GetParam();
    const std::string chip = TraceAddressOf(kRootPort);
    Trace trace;
    const uint8_t port = static_cast<uint8_t>(ComOf(kRootPort));
    ASSERT_EQ(pInitializePort(port, l.baud, 1, 1, l.parity, l.byteSize, l.stopBits), 0);
    EXPECT_EQ(trace.last("set_baud", chip), l.baudSeen);
    EXPECT_EQ(trace.last("set_data", chip), l.dataSeen);
}

TEST(KernelSpeed, ChangeSpeedReachesTheChipAndBytesStillPass) {
    const std::string chip = TraceAddressOf(kRootPort);
    torvane::UniqueFd peer = OpenPeer(kRootPort);
    ASSERT_EQ(pInitializePort(static_cast<uint8_t>(ComOf(kRootPort)), 9600, 1, 1, 0, 8, 0), 0);
    Trace trace;
    EXPECT_EQ(ChangeSpeed(19200), 1);
    EXPECT_EQ(trace.last("set_baud", chip), "baud rate 19200");
    EXPECT_EQ(WriteByte(0x5a), 1);
    EXPECT_EQ(ReadPeer(peer.Get(), 1, 2s), "\x5a");
    UnInitializePort();
}

// DTR and RTS as the chip is told them: the modem-control request 0x4001,
// whose value holds the levels (bit 0 DTR, bit 1 RTS) and which lines change
// (bits 8, 9). A pty has no lines, so only here do the line functions act.
struct LineCall {
    const char* name;
    int32_t (*call)();
    std::vector<std::string> seen;
};

const std::string kSetLines = "got control 0x4001, value ";

class KernelLines : public ::testing::TestWithParam<LineCall> {
protected:
    void TearDown() override { UnInitializePort(); }
};

INSTANTIATE_TEST_SUITE_P(
    Calls, KernelLines,
    ::testing::Values(
        LineCall{"UstawKanal1", [] { return int32_t{UstawKanal(1)}; }, {kSetLines + "0x100", kSetLines + "0x202"}},
        LineCall{"UstawKanal2", [] { return int32_t{UstawKanal(2)}; }, {kSetLines + "0x101", kSetLines + "0x202"}},
        LineCall{"UstawKanal3", [] { return int32_t{UstawKanal(3)}; }, {kSetLines + "0x100", kSetLines + "0x200"}},
        LineCall{"UstawKanal4", [] { return int32_t{UstawKanal(4)}; }, {kSetLines + "0x101", kSetLines + "0x200"}},
        LineCall{"SetDTRLine", SetDTRLine, {kSetLines + "0x101"}},
        LineCall{"ClearDTRLine", ClearDTRLine, {kSetLines + "0x100"}},
        LineCall{"SetRTSLine", SetRTSLine, {kSetLines + "0x202"}},
        LineCall{"ClearRTSLine", ClearRTSLine, {kSetLines + "0x200"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(KernelLines, ReachTheChip) {
    const std::string chip = TraceAddressOf(kRootPort);
    ASSERT_EQ(InitializePort(static_cast<uint8_t>(ComOf(kRootPort)), 115200, 1, 1), 0);
    Trace trace;
    EXPECT_NE(GetParam().call(), 0);
    EXPECT_EQ(trace.all("handle_control", chip, "0x4001"), GetParam().seen);
}

// The modem inputs through the driver: QEMU's converter, without a cable,
// reports CTS, DSR and DCD on.
TEST(KernelModemStatus, ReadsTheDriversLines) {
    ASSERT_EQ(InitializePort(static_cast<uint8_t>(ComOf(kRootPort)), 115200, 1, 1), 0);
    EXPECT_EQ(ModemStatus(), 0x10u | 0x20u | 0x80u);
    UnInitializePort();
}

// Data sizes the driver does not give the chip: it reverts CS6 and sends CS5
// as "no size" (the chip then uses 8 bits). The initialization fails with 87,
// as for any setting the device refuses, and the port stays open.
class KernelRefused : public ::testing::TestWithParam<int> {
protected:
    void TearDown() override { UnInitializePort(); }
};

INSTANTIATE_TEST_SUITE_P(DataBits, KernelRefused, ::testing::Values(5, 6));

TEST_P(KernelRefused, InitializationFailsWith87) {
    const uint8_t port = static_cast<uint8_t>(ComOf(kRootPort));
    EXPECT_EQ(pInitializePort(port, 9600, 1, 1, 0, static_cast<uint8_t>(GetParam()), 0), 87);
    EXPECT_EQ(LastErrorCode(), 87);
    EXPECT_EQ(InitializePort(port, 9600, 1, 1), 5) << "the port stays open after a refused setting";
}

// An open port with nothing to do: the CPU its threads take in 10 s.
TEST(KernelIdlePort, CpuInTenSeconds) {
    ASSERT_EQ(InitializePort(static_cast<uint8_t>(ComOf(kRootPort)), 115200, 1, 1), 0);
    auto cpu = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return std::chrono::seconds(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               std::chrono::microseconds(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    };
    auto before = cpu();
    std::this_thread::sleep_for(10s);
    auto used = std::chrono::duration_cast<std::chrono::milliseconds>(cpu() - before);
    UnInitializePort();
    std::printf("idle open port: %lld ms of CPU in 10 s\n", static_cast<long long>(used.count()));
    RecordProperty("cpu_ms", static_cast<int>(used.count()));
    EXPECT_LT(used, 1s) << "an idle port must not spin";
}

}  // namespace
