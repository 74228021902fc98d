// The vendor functions of libftd2xx.so (d2xx/linux), called directly,
// over fake sysfs trees.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "d2xx/ftd2xx_abi.h"
#include "d2xx/linux/version_packing.h"
#include "tests/d2xx_linux/fake_sysfs.h"
#include "tests/d2xx_linux/program_data_record.h"
#include "torvane/unique_fd.h"

namespace {

using fake_sysfs::Ft2232h;
using fake_sysfs::Ft232r;
using fake_sysfs::NonFtdi;
using fake_sysfs::Tree;
using fake_sysfs::UsbDevice;

using program_data_record::kSentinel;

int LowestFreeDescriptor() {
    const torvane::UniqueFd probe(dup(0));
    return probe.Get();
}

// Lowers this process's soft descriptor limit for one test and restores it.
class DescriptorLimit {
public:
    explicit DescriptorLimit(rlim_t limit) {
        getrlimit(RLIMIT_NOFILE, &saved_);
        Lower(limit);
    }
    ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }
    void Lower(rlim_t limit) {
        rlimit lowered = saved_;
        lowered.rlim_cur = std::min(limit, saved_.rlim_cur);
        EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    }

private:
    rlimit saved_{};
};

std::uint32_t Count() {
    std::uint32_t count = 0xDEAD;
    EXPECT_EQ(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    return count;
}

using d2xx_abi::ValueArgument;

// The serial at index as the vendor's list gives it: up to the first zero
// byte, or all 16 bytes when none was written.
std::string SerialAt(std::uint32_t index, FT_STATUS expected = FT_OK) {
    std::array<char, 17> buffer;
    buffer.fill(kSentinel);
    EXPECT_EQ(FT_ListDevices(ValueArgument(index), buffer.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER), expected);
    EXPECT_EQ(buffer[16], kSentinel) << "the list writes at most 16 bytes";
    return std::string(buffer.data(), strnlen(buffer.data(), 16));
}

std::vector<std::string> AllSerials() {
    std::vector<std::string> serials;
    const std::uint32_t n = Count();
    for (std::uint32_t i = 0; i < n; ++i) serials.push_back(SerialAt(i));
    return serials;
}

FT_HANDLE Open(const std::string& serial) {
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_OpenEx(const_cast<char*>(serial.c_str()), FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK) << serial;
    EXPECT_NE(handle, nullptr);
    return handle;
}

FT_STATUS TryOpen(const std::string& serial, FT_HANDLE& handle) {
    return FT_OpenEx(const_cast<char*>(serial.c_str()), FT_OPEN_BY_SERIAL_NUMBER, &handle);
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::int32_t ComPort(FT_HANDLE handle) {
    std::int32_t port = 12345;
    EXPECT_EQ(FT_GetComPortNumber(handle, &port), FT_OK);
    return port;
}

// A record as D2XXUnit prepares it, read from an open handle.
struct Eeprom : program_data_record::Record {
    FT_STATUS Read(FT_HANDLE handle) { return FT_EE_Read(handle, &data); }
};

// The tree most tests list: an FT232R, an FT2232H with two ports, an FT232H
// with no tty bound, a converter of another vendor and the root hub.
void AddMixedSet(Tree& tree) {
    tree.Add(Ft232r("1-1", "A10K1ABC", 0));
    tree.Add(Ft2232h("1-2", "FT5XYZ", 1, 2));
    UsbDevice noTty = Ft232r("1-3", "FTNOTTY1", std::nullopt);
    noTty.idProduct = "6014";
    noTty.bcdDevice = "0900";
    noTty.product = "Single RS232-HS";
    tree.Add(noTty);
    tree.Add(NonFtdi("1-4"));
    UsbDevice hub = NonFtdi("usb1");
    hub.idVendor = "1d6b";
    hub.idProduct = "0002";
    hub.interfaces = {fake_sysfs::Interface{0, std::nullopt, std::nullopt}};
    tree.Add(hub);
}

class FtdiLinux : public testing::Test {
protected:
    void TearDown() override {
        for (FT_HANDLE h : opened_) FT_Close(h);
    }
    FT_HANDLE OpenTracked(const std::string& serial) {
        FT_HANDLE h = Open(serial);
        opened_.push_back(h);
        return h;
    }
    Tree tree_;
    std::vector<FT_HANDLE> opened_;
};

TEST_F(FtdiLinux, EmptyAndMissingTrees) {
    EXPECT_EQ(Count(), 0u);
    std::filesystem::remove_all(tree_.Root() / "bus");
    EXPECT_EQ(Count(), 0u) << "no USB bus at all is an empty list, not a failure";
    setenv("TORVANE_SYSFS_ROOT", "/nonexistent/torvane", 1);
    EXPECT_EQ(Count(), 0u);
}

TEST_F(FtdiLinux, EveryUartProductIdIsListedAndOthersAreNot) {
    const std::vector<std::pair<const char*, int>> products = {
        {"6001", 1}, {"6010", 2}, {"6011", 4}, {"6014", 1}, {"6015", 1}, {"6006", 1},
        {"6040", 2}, {"6048", 4}, {"fbfa", 1}, {"6002", 0}, {"6046", 0}};
    std::vector<std::string> expected;
    int port = 1;
    for (const auto& [pid, channels] : products) {
        UsbDevice d = Ft232r("3-" + std::to_string(port++), std::string("S") + pid, std::nullopt);
        d.idProduct = pid;
        d.interfaces.clear();
        for (int i = 0; i < 4; ++i) d.interfaces.push_back(fake_sysfs::Interface{i, std::nullopt, std::nullopt});
        tree_.Add(d);
        for (int c = 0; c < channels; ++c)
            expected.push_back(std::string("S") + pid + (channels > 1 ? std::string(1, static_cast<char>('A' + c)) : ""));
    }
    EXPECT_EQ(AllSerials(), expected);
}

TEST_F(FtdiLinux, ListOrderIsByPortNumbers) {
    tree_.Add(Ft232r("1-10", "TEN", std::nullopt));
    tree_.Add(Ft232r("1-2", "TWO", std::nullopt));
    tree_.Add(Ft232r("1-1.3", "ONEHUB3", std::nullopt));
    tree_.Add(Ft232r("2-1", "BUS2", std::nullopt));
    EXPECT_EQ(AllSerials(), (std::vector<std::string>{"ONEHUB3", "TWO", "TEN", "BUS2"}));
}

TEST_F(FtdiLinux, SerialBufferTerminator) {
    tree_.Add(Ft232r("1-1", "0123456789ABCDEF", 0));  // exactly 16: no terminator
    tree_.Add(Ft232r("1-2", "SHORT8CH", 1));
    tree_.Add(Ft2232h("1-3", "0123456789ABCDE", 2, 3));  // 15 + channel letter = 16
    std::array<char, 20> buffer;
    buffer.fill(kSentinel);
    ASSERT_EQ(FT_ListDevices(ValueArgument(0), buffer.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER), FT_OK);
    EXPECT_EQ(std::string(buffer.data(), 16), "0123456789ABCDEF");
    EXPECT_EQ(buffer[16], kSentinel);

    buffer.fill(kSentinel);
    ASSERT_EQ(FT_ListDevices(ValueArgument(1), buffer.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER), FT_OK);
    EXPECT_STREQ(buffer.data(), "SHORT8CH");
    EXPECT_EQ(buffer[9], kSentinel) << "only the terminator follows the text";

    EXPECT_EQ(SerialAt(2), "0123456789ABCDEA");
    EXPECT_EQ(SerialAt(3), "0123456789ABCDEB");
}

TEST_F(FtdiLinux, SixteenCharacterSerialRoundTrips) {
    tree_.Add(Ft232r("1-1", "0123456789ABCDEF", 4));
    const std::string listed = SerialAt(0);
    ASSERT_EQ(listed.size(), 16u);
    FT_HANDLE h = OpenTracked(listed);
    EXPECT_EQ(ComPort(h), 37);
    Eeprom e;
    ASSERT_EQ(e.Read(h), FT_OK);
    EXPECT_STREQ(e.data.SerialNumber, "0123456789ABCDE") << "15 bytes and the terminator fit the 16-byte buffer";
}

TEST_F(FtdiLinux, IndexBeyondTheListIsNotFound) {
    AddMixedSet(tree_);
    std::array<char, 16> buffer;
    buffer.fill(kSentinel);
    EXPECT_EQ(FT_ListDevices(ValueArgument(4), buffer.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
              FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(FT_ListDevices(ValueArgument(0xFFFFFFFFu), buffer.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
              FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(buffer[0], kSentinel) << "a failed listing writes nothing";
}

TEST_F(FtdiLinux, ArgumentShapesTheLibraryDoesNotServe) {
    AddMixedSet(tree_);
    std::array<char, 64> buffer{};
    std::uint32_t count = 0;
    EXPECT_EQ(FT_ListDevices(nullptr, nullptr, FT_LIST_NUMBER_ONLY), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_ListDevices(ValueArgument(0), nullptr, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_ListDevices(ValueArgument(0), buffer.data(), FT_LIST_BY_INDEX | 8), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_ListDevices(ValueArgument(0), nullptr, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_ListDevices(buffer.data(), &count, FT_LIST_ALL | FT_OPEN_BY_SERIAL_NUMBER), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_ListDevices(&count, nullptr, 0), FT_INVALID_PARAMETER);
    FT_HANDLE h = nullptr;
    char serial[] = "A10K1ABC";
    EXPECT_EQ(FT_OpenEx(nullptr, FT_OPEN_BY_SERIAL_NUMBER, &h), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_OpenEx(serial, 8, &h), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_OpenEx(ValueArgument(0x111), FT_OPEN_BY_LOCATION, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(FT_GetLibraryVersion(nullptr), FT_INVALID_PARAMETER);

    FT_HANDLE open = OpenTracked("A10K1ABC");
    EXPECT_EQ(FT_EE_Read(open, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_GetComPortNumber(open, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_GetDriverVersion(open, nullptr), FT_INVALID_PARAMETER);
    Eeprom e;
    e.data.Signature2 = 0;
    EXPECT_EQ(e.Read(open), FT_INVALID_PARAMETER);
    EXPECT_EQ(e.description[0], kSentinel);
}

TEST_F(FtdiLinux, SerialsThatMatchNothing) {
    AddMixedSet(tree_);
    const std::vector<std::string> unknown = {
        "NOTFTDI1",                  // the other vendor's converter
        "FT5XYZ",                    // a dual chip's USB serial without its channel letter
        "ft5xyza",                   // case matters
        "A10K1AB",                   // a prefix
        "A10K1ABCD",                 // longer
        "",                          // no device here lacks a serial
        std::string(60, 'A'),        // longer than any listed serial
    };
    for (const std::string& serial : unknown) {
        FT_HANDLE h = reinterpret_cast<FT_HANDLE>(0x77);
        EXPECT_EQ(TryOpen(serial, h), FT_DEVICE_NOT_FOUND) << serial;
        EXPECT_EQ(h, reinterpret_cast<FT_HANDLE>(0x77)) << "a failed open leaves the handle variable alone";
    }
}

TEST_F(FtdiLinux, DeviceWithoutSerialStringIsListedAndOpenedByEmptyText) {
    UsbDevice d = Ft232r("1-1", "", 0);
    d.serial.reset();
    tree_.Add(d);
    EXPECT_EQ(AllSerials(), std::vector<std::string>{""});
    FT_HANDLE h = OpenTracked("");
    Eeprom e;
    ASSERT_EQ(e.Read(h), FT_OK);
    EXPECT_STREQ(e.data.SerialNumber, "");
    EXPECT_EQ(e.data.SerNumEnableR, 0);
}

TEST_F(FtdiLinux, DeviceUnpluggedBetweenListingAndOpening) {
    AddMixedSet(tree_);
    const std::string serial = SerialAt(0);
    tree_.Remove("1-1");
    FT_HANDLE h = nullptr;
    EXPECT_EQ(TryOpen(serial, h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(AllSerials(), (std::vector<std::string>{"FT5XYZA", "FT5XYZB", "FTNOTTY1"}))
        << "the dangling link of the unplugged device is skipped";
}

TEST_F(FtdiLinux, DeviceUnpluggedWhileOpen) {
    AddMixedSet(tree_);
    FT_HANDLE h = Open("FT5XYZB");
    tree_.Remove("1-2");
    Eeprom e;
    EXPECT_EQ(e.Read(h), FT_IO_ERROR);
    EXPECT_EQ(e.description[0], kSentinel);
    std::int32_t port = 99;
    EXPECT_EQ(FT_GetComPortNumber(h, &port), FT_IO_ERROR);
    EXPECT_EQ(port, 99);
    std::uint32_t version = 0;
    EXPECT_EQ(FT_GetDriverVersion(h, &version), FT_IO_ERROR);
    EXPECT_EQ(FT_Close(h), FT_OK) << "the handle itself stays valid until closed";
    EXPECT_EQ(FT_Close(h), FT_INVALID_HANDLE);
}

TEST_F(FtdiLinux, ReplugIntoTheSamePortIsANewDevice) {
    tree_.Add(Ft232r("1-1", "FIRST001", 0));
    FT_HANDLE old = OpenTracked("FIRST001");
    tree_.Replace(Ft232r("1-1", "FIRST001", 5));
    Eeprom e;
    EXPECT_EQ(e.Read(old), FT_IO_ERROR) << "the old handle must not read the new device";
    FT_HANDLE fresh = OpenTracked("FIRST001");  // the dead handle does not hold the channel
    EXPECT_EQ(ComPort(fresh), 38);
}

// The tree changes between the listing and the open of its row: the open
// must fail rather than open whatever took the listed device's place.
TEST_F(FtdiLinux, AnOpenFindsOnlyTheDeviceTheListDescribed) {
    enum class By { Serial, Description, Location };
    struct Case {
        const char* name;
        std::vector<UsbDevice> before;
        std::function<void(Tree&)> change;
        std::uint32_t row;
        By by;
    };
    UsbDevice serialLess = Ft2232h("1-1", "", 0, 1);
    serialLess.serial.reset();
    const std::vector<UsbDevice> clones = fake_sysfs::HardwareSet("two FT232R sharing a serial");
    const std::vector<Case> cases = {
        {"a clone replaced by another converter, opened by location", clones,
         [](Tree& t) { t.Replace(Ft232r("1-2", "B7770001", 1)); }, 1, By::Location},
        {"a serial-less chip replaced by one with a serial", {serialLess},
         [](Tree& t) { t.Replace(Ft2232h("1-1", "FT5XYZ", 0, 1)); }, 0, By::Location},
        {"the first of two sharing a serial unplugged, opened by serial", clones,
         [](Tree& t) { t.Replace(Ft232r("1-1", "OTHER001", 0)); }, 0, By::Serial},
        {"a chip replaced by one of the same description", {Ft232r("1-1", "A10K1ABC", 0)},
         [](Tree& t) { t.Replace(Ft232r("1-1", "A10K1XYZ", 0)); }, 0, By::Description},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tree tree;
        for (const UsbDevice& d : c.before) tree.Add(d);
        ASSERT_EQ(Count(), c.before.size() * (c.before[0].interfaces.size()));
        std::array<char, 64> text{};
        std::uint32_t location = 0;
        const std::uint32_t what = c.by == By::Serial        ? FT_OPEN_BY_SERIAL_NUMBER
                                   : c.by == By::Description ? FT_OPEN_BY_DESCRIPTION
                                                             : FT_OPEN_BY_LOCATION;
        void* listed = c.by == By::Location ? static_cast<void*>(&location) : text.data();
        ASSERT_EQ(FT_ListDevices(ValueArgument(c.row), listed, FT_LIST_BY_INDEX | what), FT_OK);
        c.change(tree);
        FT_HANDLE h = nullptr;
        void* key = c.by == By::Location ? ValueArgument(location) : text.data();
        EXPECT_EQ(FT_OpenEx(key, what, &h), FT_DEVICE_NOT_FOUND);
        EXPECT_EQ(h, nullptr);
    }
}

// A hashed location (a path too deep to pack) that equals a packed one: the
// packed one keeps its value, whatever the list order, and the hashed one
// takes the next value for as long as both stay.
TEST_F(FtdiLinux, AHashedLocationYieldsToAPackedOne) {
    constexpr std::uint32_t kClash = 0x28F1E8A1;  // FNV-1a of "1-1.1.1.1.1.2.6#0"
    const auto locations = [] {
        std::vector<std::uint32_t> listed(Count());
        for (std::uint32_t i = 0; i < listed.size(); ++i)
            EXPECT_EQ(FT_ListDevices(ValueArgument(i), &listed[i], FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION), FT_OK);
        return listed;
    };
    tree_.Add(Ft232r("2-8.15.1.14.8.10", "PACKED01", 0));
    EXPECT_EQ(locations(), std::vector<std::uint32_t>{kClash});
    tree_.Add(Ft232r("1-1.1.1.1.1.2.6", "HASHED01", 1));  // lists first
    EXPECT_EQ(locations(), (std::vector<std::uint32_t>{kClash + 1, kClash}));
    FT_HANDLE h = nullptr;
    ASSERT_EQ(FT_OpenEx(ValueArgument(kClash), FT_OPEN_BY_LOCATION, &h), FT_OK);
    EXPECT_EQ(ComPort(h), 33) << "the packed location still opens its own device";
    EXPECT_EQ(FT_Close(h), FT_OK);
}

TEST_F(FtdiLinux, StaleAndMadeUpHandles) {
    AddMixedSet(tree_);
    FT_HANDLE h = Open("A10K1ABC");
    ASSERT_EQ(FT_Close(h), FT_OK);
    FT_HANDLE again = OpenTracked("A10K1ABC");
    EXPECT_NE(again, h) << "a reopened device gets a handle of its own";
    const std::vector<FT_HANDLE> invalid = {h, nullptr, reinterpret_cast<FT_HANDLE>(1),
                                            reinterpret_cast<FT_HANDLE>(0x12345),
                                            reinterpret_cast<FT_HANDLE>(reinterpret_cast<std::uintptr_t>(again) + 1),
                                            reinterpret_cast<FT_HANDLE>(~std::uintptr_t{0})};
    for (FT_HANDLE bad : invalid) {
        Eeprom e;
        std::uint32_t version = 0;
        std::int32_t port = 0;
        EXPECT_EQ(e.Read(bad), FT_INVALID_HANDLE) << bad;
        EXPECT_EQ(FT_GetDriverVersion(bad, &version), FT_INVALID_HANDLE) << bad;
        EXPECT_EQ(FT_GetComPortNumber(bad, &port), FT_INVALID_HANDLE) << bad;
        EXPECT_EQ(FT_Close(bad), FT_INVALID_HANDLE) << bad;
    }
    EXPECT_EQ(ComPort(again), 33) << "the live handle is untouched by the failed calls";
}

TEST_F(FtdiLinux, AChannelOpensOnceAtATime) {
    AddMixedSet(tree_);
    FT_HANDLE a = Open("FT5XYZA");
    FT_HANDLE second = nullptr;
    EXPECT_EQ(TryOpen("FT5XYZA", second), FT_DEVICE_NOT_OPENED);
    FT_HANDLE b = OpenTracked("FT5XYZB");  // the other channel of the same chip is free
    EXPECT_NE(a, b);
    ASSERT_EQ(FT_Close(a), FT_OK);
    OpenTracked("FT5XYZA");
}

TEST_F(FtdiLinux, TwoDevicesWithTheSameSerialOpenInListOrder) {
    tree_.Add(Ft232r("1-1", "SAME", 0));
    tree_.Add(Ft232r("1-2", "SAME", 1));
    FT_HANDLE first = OpenTracked("SAME");
    FT_HANDLE second = OpenTracked("SAME");
    EXPECT_EQ(ComPort(first), 33);
    EXPECT_EQ(ComPort(second), 34);
    FT_HANDLE third = nullptr;
    EXPECT_EQ(TryOpen("SAME", third), FT_DEVICE_NOT_OPENED);
}

TEST_F(FtdiLinux, ComPortFollowsTheBoundNode) {
    tree_.Add(Ft232r("1-1", "LATE0001", std::nullopt));
    tree_.Add(Ft232r("1-2", "HIGH0127", 127));
    tree_.Add(Ft232r("1-3", "OVER0128", 128));
    FT_HANDLE late = OpenTracked("LATE0001");
    EXPECT_EQ(ComPort(late), -1);
    tree_.BindTty("1-1", 0, 9);  // ftdi_sio bound after the open
    EXPECT_EQ(ComPort(late), 42);
    EXPECT_EQ(ComPort(OpenTracked("HIGH0127")), 160);
    EXPECT_EQ(ComPort(OpenTracked("OVER0128")), -1) << "no COM number beyond the fixed range";
}

// The latency timer is the bound port's latency_timer: read, written as the
// kernel takes it, refused for 0, absent without a bound port, gone with the device.
TEST_F(FtdiLinux, LatencyTimerIsTheBoundPortsAttribute) {
    AddMixedSet(tree_);
    const auto attribute = [&](int tty) { return ReadText(tree_.PortPath(tty) / "latency_timer"); };
    const struct {
        const char* serial;
        int set;                // 0: only read
        FT_STATUS setStatus;
        FT_STATUS getStatus;
        int shown;              // what the get gives after the set
    } cases[] = {
        {"A10K1ABC", 0, FT_OK, FT_OK, 16},
        {"FT5XYZB", 1, FT_OK, FT_OK, 1},
        {"FT5XYZA", 255, FT_OK, FT_OK, 255},
        {"FTNOTTY1", 2, FT_NOT_SUPPORTED, FT_NOT_SUPPORTED, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serial);
        const FT_HANDLE h = OpenTracked(c.serial);
        if (c.set != 0) {
            EXPECT_EQ(FT_SetLatencyTimer(h, static_cast<std::uint8_t>(c.set)), c.setStatus);
        }
        std::uint8_t latency = 0;
        EXPECT_EQ(FT_GetLatencyTimer(h, &latency), c.getStatus);
        EXPECT_EQ(latency, c.shown);
    }
    EXPECT_EQ(attribute(2), "1\n") << "FT5XYZB is ttyUSB2";
    const FT_HANDLE first = opened_.front();
    EXPECT_EQ(FT_SetLatencyTimer(first, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_GetLatencyTimer(first, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(attribute(0), "16\n") << "nothing written for 0";
    tree_.Remove("1-1");
    EXPECT_EQ(FT_SetLatencyTimer(first, 3), FT_IO_ERROR);
}

TEST_F(FtdiLinux, EepromOfAnFt232r) {
    AddMixedSet(tree_);
    FT_HANDLE h = OpenTracked("A10K1ABC");
    Eeprom e;
    ASSERT_EQ(e.Read(h), FT_OK);
    EXPECT_EQ(e.data.VendorId, 0x0403);
    EXPECT_EQ(e.data.ProductId, 0x6001);
    EXPECT_STREQ(e.data.Manufacturer, "FTDI");
    EXPECT_EQ(e.manufacturer[5], kSentinel) << "the terminator and nothing more";
    EXPECT_STREQ(e.data.ManufacturerId, "");
    EXPECT_STREQ(e.data.Description, "FT232R USB UART");
    EXPECT_STREQ(e.data.SerialNumber, "A10K1ABC");
    EXPECT_EQ(e.data.MaxPower, 90);
    EXPECT_EQ(e.data.SelfPowered, 0);
    EXPECT_EQ(e.data.RemoteWakeup, 1);
    EXPECT_EQ(e.data.SerNumEnableR, 1);
    EXPECT_EQ(e.data.Rev4, 0);
    EXPECT_EQ(e.data.Signature2, 0xFFFFFFFFu);
    EXPECT_EQ(e.data.Version, 2u);
}

TEST_F(FtdiLinux, EepromOfADualChipChannel) {
    UsbDevice dual = Ft2232h("1-2", "FT5XYZ", 1, 2);
    dual.interfaces[1].interfaceString = "Port B of the dual";
    dual.bmAttributes = "c0";
    tree_.Add(dual);
    Eeprom a, b;
    ASSERT_EQ(a.Read(OpenTracked("FT5XYZA")), FT_OK);
    ASSERT_EQ(b.Read(OpenTracked("FT5XYZB")), FT_OK);
    EXPECT_STREQ(a.data.Description, "Dual RS232-HS") << "no interface string: the product string";
    EXPECT_STREQ(b.data.Description, "Port B of the dual");
    EXPECT_STREQ(a.data.SerialNumber, "FT5XYZ") << "the EEPROM's serial has no channel letter";
    EXPECT_STREQ(b.data.SerialNumber, "FT5XYZ");
    EXPECT_EQ(b.data.ProductId, 0x6010);
    EXPECT_EQ(b.data.MaxPower, 500);
    EXPECT_EQ(b.data.SelfPowered, 1);
    EXPECT_EQ(b.data.RemoteWakeup, 0);
    EXPECT_EQ(b.data.Rev5, 0) << "an FT2232H is not an FT2232C/D";
}

TEST_F(FtdiLinux, EepromOfAnFt2232d) {
    UsbDevice d = Ft2232h("1-2", "FT2D", 1, 2);
    d.bcdDevice = "0500";
    d.version = " 1.10";
    tree_.Add(d);
    Eeprom e;
    ASSERT_EQ(e.Read(OpenTracked("FT2DA")), FT_OK);
    EXPECT_EQ(e.data.Rev5, 1);
    EXPECT_EQ(e.data.USBVersion5, 0x0110);
    EXPECT_EQ(e.data.SerNumEnable5, 1);
}

TEST_F(FtdiLinux, DescriptionsAtTheBufferBound) {
    UsbDevice d63 = Ft232r("1-1", "DESC63", 0);
    d63.product = std::string(63, 'p');
    UsbDevice d70 = Ft232r("1-2", "DESC70", 1);
    d70.product = std::string(70, 'q');
    UsbDevice absent = Ft232r("1-3", "NODESC", 2);
    absent.product.reset();
    absent.manufacturer.reset();
    tree_.Add(d63);
    tree_.Add(d70);
    tree_.Add(absent);
    Eeprom e63, e70, none;
    ASSERT_EQ(e63.Read(OpenTracked("DESC63")), FT_OK);
    ASSERT_EQ(e70.Read(OpenTracked("DESC70")), FT_OK);
    ASSERT_EQ(none.Read(OpenTracked("NODESC")), FT_OK);
    EXPECT_EQ(std::string(e63.data.Description), std::string(63, 'p'));
    EXPECT_EQ(std::string(e70.data.Description), std::string(63, 'q'));
    EXPECT_STREQ(none.data.Description, "");
    EXPECT_STREQ(none.data.Manufacturer, "");

    std::array<char, 65> listed;
    listed.fill(kSentinel);
    ASSERT_EQ(FT_ListDevices(ValueArgument(1), listed.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION), FT_OK);
    EXPECT_EQ(std::string(listed.data(), 64), std::string(64, 'q')) << "the list form fills all 64 bytes";
    EXPECT_EQ(listed[64], kSentinel);
}

TEST_F(FtdiLinux, StringsArriveInTheEightBitCodePage) {
    UsbDevice d = Ft232r("1-1", "PL000001", 0);
    d.product = "Przejściówka ŁÓDŹ";
    d.manufacturer = "Zakład №1";  // '№' has no Windows-1250 byte
    tree_.Add(d);
    Eeprom e;
    ASSERT_EQ(e.Read(OpenTracked("PL000001")), FT_OK);
    EXPECT_STREQ(e.data.Description, "Przej\x9c""ci\xf3wka \xa3\xd3""D\x8f");
    EXPECT_STREQ(e.data.Manufacturer, "Zak\xb3""ad ?1");
}

// A NUL (as it is, or in the overlong form C0 80) or another malformed
// sequence in a string is one '?' wherever the string is read: listed,
// matched when opening, and in the EEPROM record.
TEST_F(FtdiLinux, MalformedStringsReadAlikeEverywhere) {
    const struct {
        std::string serial;
        std::string product;
        std::string read;
    } cases[] = {
        {std::string("A\0B", 3), std::string("P\0Q", 3), "?"},
        {"A\xC0\x80" "B", "P\xE0\x80\x8A" "Q", "?"},
        {"A\xF8" "B", "P\xED\xA0\x80" "Q", "?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serial);
        Tree tree;
        UsbDevice d = Ft232r("1-1", "", 0);
        d.serial = c.serial;
        d.product = c.product;
        tree.Add(d);
        const std::string serial = "A" + c.read + "B";
        EXPECT_EQ(AllSerials(), std::vector<std::string>{serial});
        Eeprom e;
        FT_HANDLE h = nullptr;
        ASSERT_EQ(TryOpen(serial, h), FT_OK);
        EXPECT_EQ(e.Read(h), FT_OK);
        EXPECT_STREQ(e.data.SerialNumber, serial.c_str());
        EXPECT_STREQ(e.data.Description, ("P" + c.read + "Q").c_str());
        FT_Close(h);
    }
}

// An interface that cannot be read fails the open with its status, instead
// of opening a channel whose port would silently show as absent.
TEST_F(FtdiLinux, AnUnreadableInterfaceFailsTheOpen) {
    tree_.Add(Ft232r("1-1", "A10K1ABC", 0));
    const auto interface = tree_.DevicePath("1-1") / "1-1:1.0";
    std::filesystem::remove_all(interface);
    std::ofstream(interface) << "not a directory";
    FT_HANDLE h = nullptr;
    EXPECT_EQ(TryOpen("A10K1ABC", h), FT_IO_ERROR);
}

// One entry per channel, other vendors' devices left out. Every channel lists
// its own serial (a multi-channel chip's with its letter), location (bus and
// port path, then the interface) and description (with " A", " B"), and opens
// by each.
TEST_F(FtdiLinux, EveryChannelListsAndOpensByItsSerialLocationAndDescription) {
    AddMixedSet(tree_);
    const std::vector<std::tuple<std::string, std::uint32_t, std::string, std::int32_t>> rows = {
        {"A10K1ABC", 0x111, "FT232R USB UART", 33}, {"FT5XYZA", 0x121, "Dual RS232-HS A", 34},
        {"FT5XYZB", 0x122, "Dual RS232-HS B", 35}, {"FTNOTTY1", 0x131, "Single RS232-HS", -1}};
    ASSERT_EQ(Count(), rows.size());
    for (std::uint32_t index = 0; index < rows.size(); ++index) {
        const auto& [serial, location, description, port] = rows[index];
        EXPECT_EQ(SerialAt(index), serial);
        FT_HANDLE bySerial = Open(serial);
        EXPECT_EQ(ComPort(bySerial), port) << serial;
        EXPECT_EQ(FT_Close(bySerial), FT_OK);
        std::uint32_t listedLocation = 0;
        std::array<char, 64> listedDescription{};
        ASSERT_EQ(FT_ListDevices(ValueArgument(index), &listedLocation, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION), FT_OK);
        ASSERT_EQ(FT_ListDevices(ValueArgument(index), listedDescription.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
                  FT_OK);
        EXPECT_EQ(listedLocation, location) << index;
        EXPECT_STREQ(listedDescription.data(), description.c_str());
        FT_HANDLE h = nullptr;
        ASSERT_EQ(FT_OpenEx(ValueArgument(location), FT_OPEN_BY_LOCATION, &h), FT_OK) << index;
        EXPECT_EQ(ComPort(h), port);
        EXPECT_EQ(FT_Close(h), FT_OK);
        ASSERT_EQ(FT_OpenEx(listedDescription.data(), FT_OPEN_BY_DESCRIPTION, &h), FT_OK) << description;
        EXPECT_EQ(ComPort(h), port);
        EXPECT_EQ(FT_Close(h), FT_OK);
    }
    FT_HANDLE h = nullptr;
    char bare[] = "Dual RS232-HS";  // a channel's description carries its letter
    EXPECT_EQ(FT_OpenEx(bare, FT_OPEN_BY_DESCRIPTION, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(FT_OpenEx(ValueArgument(0x123), FT_OPEN_BY_LOCATION, &h), FT_DEVICE_NOT_FOUND);
}

// One entry of FT_GetDeviceInfoDetail; buffers one byte larger than the
// vendor's, pre-filled, so that a write past them shows.
struct InfoEntry {
    std::uint32_t flags = 0, type = 0, id = 0, location = 0;
    std::string serial, description;
    FT_HANDLE handle = nullptr;
    bool operator==(const InfoEntry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const InfoEntry& e) {
    return out << "{flags " << e.flags << ", type " << e.type << ", id " << std::hex << e.id << ", location "
               << e.location << std::dec << ", \"" << e.serial << "\", \"" << e.description << "\", " << e.handle
               << "}";
}

std::vector<InfoEntry> DeviceInfo() {
    std::uint32_t count = 0xDEAD;
    EXPECT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
    std::vector<InfoEntry> entries;
    for (std::uint32_t index = 0; index < count; ++index) {
        InfoEntry e;
        std::array<char, 17> serial;
        std::array<char, 65> description;
        serial.fill(kSentinel);
        description.fill(kSentinel);
        EXPECT_EQ(FT_GetDeviceInfoDetail(index, &e.flags, &e.type, &e.id, &e.location, serial.data(),
                                         description.data(), &e.handle),
                  FT_OK);
        EXPECT_EQ(serial[16], kSentinel);
        EXPECT_EQ(description[64], kSentinel);
        e.serial.assign(serial.data(), strnlen(serial.data(), 16));
        e.description.assign(description.data(), strnlen(description.data(), 64));
        entries.push_back(e);
    }
    return entries;
}

// The device information list over the hardware sets, with the first row
// open through this process.
TEST_F(FtdiLinux, DeviceInfoOfHardwareSets) {
    struct Case {
        const char* set;
        std::vector<InfoEntry> expected;  // handles left null
    };
    const auto channels = [](std::uint32_t type, std::uint32_t id, std::uint32_t flags, const char* product,
                             std::vector<std::uint32_t> devicePrefixes, int count) {
        std::vector<InfoEntry> rows;
        for (const std::uint32_t prefix : devicePrefixes)
            for (int c = 0; c < count; ++c) {
                const std::string letter(1, static_cast<char>('A' + c));
                rows.push_back({flags, type, id, (prefix << 4) | static_cast<std::uint32_t>(c + 1), letter,
                                std::string(product) + " " + letter, nullptr});
            }
        return rows;
    };
    const std::vector<Case> cases = {
        {"an FT232R", {{0, FT_DEVICE_232R, 0x04036001, 0x131, "A5003MQZ", "FT232R USB UART", nullptr}}},
        {"two FT2232H without serials",
         channels(FT_DEVICE_2232H, 0x04036010, FT_FLAGS_HISPEED, "Dual RS232-HS", {0x11, 0x12}, 2)},
        {"four FT4232H without serials in one box",
         channels(FT_DEVICE_4232H, 0x04036011, FT_FLAGS_HISPEED, "Quad RS232-HS", {0x111, 0x112, 0x113, 0x114}, 4)},
        {"two FT232R sharing a serial",
         {{0, FT_DEVICE_232R, 0x04036001, 0x111, "A50285BI", "FT232R USB UART", nullptr},
          {0, FT_DEVICE_232R, 0x04036001, 0x121, "A50285BI", "USB Serial", nullptr}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        Tree tree;
        for (const UsbDevice& d : fake_sysfs::HardwareSet(c.set)) tree.Add(d);
        std::vector<InfoEntry> expected = c.expected;
        ASSERT_EQ(FT_OpenEx(ValueArgument(expected[0].location), FT_OPEN_BY_LOCATION, &expected[0].handle), FT_OK);
        expected[0].flags |= FT_FLAGS_OPENED;
        EXPECT_EQ(DeviceInfo(), expected);
        EXPECT_EQ(FT_Close(expected[0].handle), FT_OK);
    }
    std::uint32_t word = 0;
    char text[64];
    FT_HANDLE h = nullptr;
    EXPECT_EQ(FT_GetDeviceInfoDetail(2, &word, &word, &word, &word, text, text, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(FT_GetDeviceInfoDetail(0, &word, &word, &word, &word, text, nullptr, &h), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_CreateDeviceInfoList(nullptr), FT_INVALID_PARAMETER);
}

// A FIFO where an attribute should be fails the call instead of blocking it;
// should a read block after all, writing the FIFO releases it and the bound fails the test.
TEST_F(FtdiLinux, AnAttributeThatIsNotARegularFileFailsWithoutBlocking) {
    const std::vector<std::pair<const char*, std::function<FT_STATUS()>>> cases = {
        {"serial", [] {
             std::uint32_t count = 0;
             return FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
         }},
        {"manufacturer", [this] {
             Eeprom e;
             return e.Read(OpenTracked("A10K1ABC"));
         }},
    };
    for (const auto& [attribute, call] : cases) {
        Tree tree;
        tree.Add(Ft232r("1-1", "A10K1ABC", 0));
        const auto fifo = tree.DevicePath("1-1") / attribute;
        std::filesystem::remove(fifo);
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        if (std::string(attribute) == "manufacturer") {
            ASSERT_EQ(Count(), 1u) << "the list does not read the manufacturer";
        }
        auto result = std::async(std::launch::async, call);
        if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            const torvane::UniqueFd writer(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
            ADD_FAILURE() << attribute << ": the call blocked on the FIFO";
        }
        EXPECT_EQ(result.get(), FT_IO_ERROR) << attribute;
    }
}

// The walk holds a constant number of descriptors: 1,000 channels list under
// a 256-descriptor limit, and when no descriptor is left the count fails
// instead of coming out short.
TEST_F(FtdiLinux, AThousandChannelsListUnderADescriptorLimit) {
    constexpr int kBoxes = 250;
    for (int box = 0; box < kBoxes; ++box)
        tree_.Add(fake_sysfs::Ft4232h("1-" + std::to_string(box / 10 + 1) + "." + std::to_string(box % 10 + 1),
                                      std::nullopt, 4 * box));
    DescriptorLimit limit(256);
    ASSERT_EQ(Count(), 4u * kBoxes);
    std::set<std::uint32_t> locations;
    for (std::uint32_t index = 0; index < 4 * kBoxes; ++index) {
        std::uint32_t location = 0;
        ASSERT_EQ(FT_ListDevices(ValueArgument(index), &location, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION), FT_OK);
        locations.insert(location);
        FT_HANDLE h = nullptr;
        ASSERT_EQ(FT_OpenEx(ValueArgument(location), FT_OPEN_BY_LOCATION, &h), FT_OK) << index;
        ASSERT_EQ(FT_Close(h), FT_OK);
    }
    EXPECT_EQ(locations.size(), 4u * kBoxes) << "every channel has a location of its own";
    limit.Lower(LowestFreeDescriptor());
    std::uint32_t count = 0xDEAD;
    EXPECT_EQ(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(count, 0xDEADu);
}

TEST_F(FtdiLinux, DriverVersionIsTheRunningKernel) {
    AddMixedSet(tree_);
    utsname names{};
    ASSERT_EQ(uname(&names), 0);
    const auto expected = ftdi_linux::PackReleaseText(names.release);
    ASSERT_TRUE(expected) << names.release;
    std::uint32_t version = 0;
    ASSERT_EQ(FT_GetDriverVersion(OpenTracked("FT5XYZB"), &version), FT_OK);
    EXPECT_EQ(version, *expected);
    EXPECT_NE(version, 0u);
}

TEST_F(FtdiLinux, LibraryVersionNeedsNoDevice) {
    std::uint32_t version = 0;
    ASSERT_EQ(FT_GetLibraryVersion(&version), FT_OK);
    EXPECT_EQ(version, ftdi_linux::PackVersion(TORVANE_VERSION_MAJOR, TORVANE_VERSION_MINOR, TORVANE_VERSION_PATCH));
    EXPECT_NE(version, 0u);
}

TEST_F(FtdiLinux, ConcurrentCallersKeepTheTableConsistent) {
    for (int i = 0; i < 8; ++i) tree_.Add(Ft232r("1-" + std::to_string(i + 1), "PAR" + std::to_string(i), i));
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &failures] {
            const std::string serial = "PAR" + std::to_string(t);
            for (int round = 0; round < 50; ++round) {
                FT_HANDLE h = nullptr;
                std::int32_t port = 0;
                if (TryOpen(serial, h) != FT_OK || FT_GetComPortNumber(h, &port) != FT_OK || port != 33 + t ||
                    FT_Close(h) != FT_OK || FT_Close(h) != FT_INVALID_HANDLE)
                    ++failures;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
