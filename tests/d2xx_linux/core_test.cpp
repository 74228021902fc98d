// The Linux vendor-ABI library's portable logic: version packing, chip and
// channel naming, COM numbering, sysfs text parsing, buffer copies, the EEPROM
// record mapping and the handle table.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>
#include <tuple>
#include <string>
#include <vector>

#include "d2xx/linux/ftdi_chips.h"
#include "d2xx/linux/handle_table.h"
#include "d2xx/linux/program_data.h"
#include "d2xx/linux/sysfs.h"
#include "d2xx/linux/version_packing.h"
#include "tests/d2xx_linux/program_data_record.h"

namespace ftdi_linux {
namespace {

struct ReleaseCase {
    const char* release;
    std::optional<std::uint32_t> packed;
};

TEST(VersionPacking, ReleaseTexts) {
    const std::vector<ReleaseCase> cases = {
        {"6.18.44", 0x00061844},
        {"6.18.44-fc-v1300", 0x00061844},
        {"5.10.0-8-amd64", 0x00051000},  // Debian: the ABI number after the dash is not a part
        {"6.1.0-18-amd64", 0x00060100},
        {"6.8.0-rc3", 0x00060800},
        {"6.9", 0x00060900},
        {"6", 0x00060000},
        {"6.9-rc1", 0x00060900},
        {"5.15.0.1034-azure", 0x00051500},    // a fourth part is dropped
        {"4.19.325-cip", 0x00041999},         // three-digit parts saturate at 99
        {"123.456.789", 0x00999999},
        {"99999999999999999999.1.2", 0x00990102},  // no overflow on long digit runs
        {"3.2.", 0x00030200},
        {"3..2", 0x00030000},
        {"10.0.1", 0x00100001},
        {"", std::nullopt},
        {"v6.1", std::nullopt},
        {"-5.10", std::nullopt},
        {"linux", std::nullopt},
    };
    for (const ReleaseCase& c : cases) {
        EXPECT_EQ(PackReleaseText(c.release), c.packed) << c.release;
    }
}

TEST(VersionPacking, PartsAsTwoDigits) {
    EXPECT_EQ(PackVersion(1, 0, 0), 0x00010000u);
    EXPECT_EQ(PackVersion(3, 1, 15), 0x00030115u);
    EXPECT_EQ(PackVersion(0, 0, 9), 0x00000009u);
    EXPECT_EQ(PackVersion(100, 250, 1000), 0x00999999u);
    // Order is kept across the saturation.
    EXPECT_LT(PackVersion(4, 19, 98), PackVersion(4, 19, 325));
}

TEST(FtdiChips, ChannelCounts) {
    const std::vector<std::pair<std::uint16_t, int>> cases = {
        {0x6001, 1}, {0x6006, 1}, {0x6010, 2}, {0x6011, 4}, {0x6014, 1}, {0x6015, 1},
        {0x6040, 2}, {0x6041, 4}, {0x6042, 2}, {0x6043, 4}, {0x6044, 1}, {0x6045, 1}, {0x6048, 4},
        {0x8372, 1}, {0xFBFA, 1},
        {0x6000, 0}, {0x6002, 0}, {0x6012, 0}, {0x6046, 0}, {0x6047, 0}, {0x6049, 0}, {0x0000, 0},
    };
    for (const auto& [pid, channels] : cases) EXPECT_EQ(ChannelCount(pid), channels) << std::hex << pid;
}

TEST(FtdiChips, ChipIdentity) {
    const std::vector<std::tuple<std::uint16_t, std::uint16_t, Chip>> cases = {
        {0x6001, 0x0200, Chip::FT232AM}, {0x6001, 0x0400, Chip::FT232B},  {0x6001, 0x0600, Chip::FT232R},
        {0x6001, 0x0900, Chip::Unknown}, {0x6010, 0x0500, Chip::FT2232CD}, {0x6010, 0x0700, Chip::FT2232H},
        {0x6010, 0x0600, Chip::Unknown}, {0x6011, 0x0800, Chip::FT4232H}, {0x6014, 0x0900, Chip::FT232H},
        {0x6015, 0x1000, Chip::FTX},     {0x6006, 0x0600, Chip::FT232R},  {0xFBFA, 0x0600, Chip::FT232R},
        {0x6040, 0x2800, Chip::FT2233HP}, {0x6043, 0x3100, Chip::FT4232HP}, {0x6048, 0x3600, Chip::FT4232HA},
        {0x8372, 0x0200, Chip::SIO},     {0x6002, 0x0600, Chip::Unknown},
    };
    for (const auto& [pid, bcd, chip] : cases) EXPECT_EQ(IdentifyChip(pid, bcd), chip) << std::hex << pid << " " << bcd;
}

TEST(FtdiChips, ListedDescriptions) {
    const std::string k63(63, 'd');
    const std::vector<std::tuple<std::string, int, int, std::string>> cases = {
        {"FT232R USB UART", 0, 1, "FT232R USB UART"},
        {"Dual RS232-HS", 0, 2, "Dual RS232-HS A"},
        {"Dual RS232-HS", 1, 2, "Dual RS232-HS B"},
        {"Quad RS232-HS", 3, 4, "Quad RS232-HS D"},
        {"", 1, 2, " B"},
        {k63 + "xy", 0, 1, k63 + "x"},        // cut to the 64 bytes of the list
        {k63, 1, 2, k63.substr(0, 62) + " B"},  // the suffix stays
    };
    for (const auto& [product, channel, channels, listed] : cases)
        EXPECT_EQ(ListedDescription(product, channel, channels), listed) << product << " " << channel;
}

TEST(FtdiChips, PackedLocations) {
    const std::vector<std::tuple<std::string, int, std::optional<std::uint32_t>>> cases = {
        {"1-1", 0, 0x111},
        {"1-1.3", 0, 0x1131},
        {"1-1.3", 1, 0x1132},
        {"3-2.4.1", 3, 0x32414},
        {"2-1.1.1.1.1.1", 0, 0x21111111},    // eight digits: the most that fit
        {"2-1.1.1.1.1.1.1", 0, std::nullopt}, // nine
        {"16-1", 0, std::nullopt},            // bus above 15
        {"1-1.16", 0, std::nullopt},          // port above 15
        {"0-1", 0, std::nullopt},             // zero digits would not pack uniquely
        {"1-1.0", 0, std::nullopt},
        {"1-15", 14, 0x1FF},
        {"1-15", 15, std::nullopt},           // interface digit above 15
        {"usb1", 0, std::nullopt},
        {"1-", 0, std::nullopt},
        {"1-1..2", 0, std::nullopt},
    };
    for (const auto& [name, interface, packed] : cases) EXPECT_EQ(PackedLocation(name, interface), packed) << name;
}

TEST(FtdiChips, ListedSerials) {
    struct Case {
        const char* usbSerial;
        int channel;
        int channels;
        const char* listed;
    };
    const std::vector<Case> cases = {
        {"A10K1ABC", 0, 1, "A10K1ABC"},
        {"FT5XYZ", 0, 2, "FT5XYZA"},
        {"FT5XYZ", 1, 2, "FT5XYZB"},
        {"FT4Q", 3, 4, "FT4QD"},
        {"", 0, 1, ""},
        {"", 1, 2, "B"},
        {"0123456789ABCDEF", 0, 1, "0123456789ABCDEF"},   // 16: kept whole
        {"0123456789ABCDEFGH", 0, 1, "0123456789ABCDEF"}, // longer: cut to 16
        {"0123456789ABCDE", 1, 2, "0123456789ABCDEB"},    // 15 + letter fills 16
        {"0123456789ABCDEF", 0, 2, "0123456789ABCDEA"},   // 16 + letter: the letter stays
        {"0123456789ABCDEF", 1, 2, "0123456789ABCDEB"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ListedSerial(c.usbSerial, c.channel, c.channels), c.listed) << c.usbSerial << " " << c.channel;
    }
}

TEST(FtdiChips, ComNumbering) {
    EXPECT_EQ(ComPortForTtyUsb(0), 33);
    EXPECT_EQ(ComPortForTtyUsb(1), 34);
    EXPECT_EQ(ComPortForTtyUsb(127), 160);
    EXPECT_EQ(ComPortForTtyUsb(128), -1);
    EXPECT_EQ(ComPortForTtyUsb(-1), -1);
    EXPECT_EQ(ComPortForTtyUsb(std::nullopt), -1);
}

TEST(FtdiChips, TtyNodeNames) {
    const std::vector<std::pair<const char*, std::optional<int>>> cases = {
        {"ttyUSB0", 0},  {"ttyUSB17", 17}, {"ttyUSB", std::nullopt},  {"ttyUSB-1", std::nullopt},
        {"ttyUSB+1", std::nullopt}, {"ttyUSB1x", std::nullopt}, {"ttyACM0", std::nullopt}, {"ttyS0", std::nullopt},
        {"tty", std::nullopt}, {"ttyUSB 1", std::nullopt},
    };
    for (const auto& [name, index] : cases) EXPECT_EQ(TtyUsbIndex(name), index) << name;
}

TEST(SysfsText, Parsers) {
    EXPECT_EQ(ParseHex16("0403"), 0x0403);
    EXPECT_EQ(ParseHex16("6001"), 0x6001);
    EXPECT_EQ(ParseHex16("a0"), 0xa0);
    EXPECT_EQ(ParseHex16(""), std::nullopt);
    EXPECT_EQ(ParseHex16("12345"), std::nullopt);
    EXPECT_EQ(ParseHex16("04g3"), std::nullopt);
    EXPECT_EQ(ParseInterfaceNumber("00"), 0);
    EXPECT_EQ(ParseInterfaceNumber("0a"), 10);
    EXPECT_EQ(ParseInterfaceNumber("-1"), std::nullopt);
    EXPECT_EQ(ParseInterfaceNumber("100"), std::nullopt);
    EXPECT_EQ(ParseMaxPower("90mA"), 90);
    EXPECT_EQ(ParseMaxPower("500mA"), 500);
    EXPECT_EQ(ParseMaxPower("0mA"), 0);
    EXPECT_EQ(ParseMaxPower("mA"), std::nullopt);
    EXPECT_EQ(ParseMaxPower("90 W"), std::nullopt);
    EXPECT_EQ(ParseUsbVersion(" 2.00"), 0x0200);
    EXPECT_EQ(ParseUsbVersion(" 1.10"), 0x0110);
    EXPECT_EQ(ParseUsbVersion(" 3.20"), 0x0320);
    EXPECT_EQ(ParseUsbVersion("2.0"), std::nullopt);
    EXPECT_EQ(ParseUsbVersion("2"), std::nullopt);
    EXPECT_EQ(ParseUsbVersion(".00"), std::nullopt);
}

TEST(SysfsText, NaturalOrderOfDeviceNames) {
    std::vector<std::string> names = {"2-1", "1-1.10", "1-10", "1-1.2", "1-2", "1-1", "usb1", "1-01.3"};
    std::sort(names.begin(), names.end(), NaturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"1-1", "1-1.2", "1-01.3", "1-1.10", "1-2", "1-10", "2-1", "usb1"}));
    EXPECT_FALSE(NaturalLess("1-1", "1-1"));
}

// Buffers are pre-filled with a sentinel so that every byte written shows.
using program_data_record::kSentinel;

template <std::size_t N>
std::array<char, N> Filled() {
    std::array<char, N> a;
    a.fill(kSentinel);
    return a;
}

// Each copy writes exactly `written` (its terminator included) and nothing past it.
struct CopyCase {
    void (*copy)(char*, std::size_t, std::string_view);
    std::size_t capacity;
    std::string text;
    std::string written;
};

TEST(BufferCopies, ListedFormTerminatesOnlyShorterTextsTerminatedFormAlwaysTerminates) {
    const std::string k16 = "0123456789ABCDEF";
    const std::vector<CopyCase> cases = {
        {CopyListed, 16, k16, k16},  // a full buffer gets no terminator
        {CopyListed, 16, "FT5XYZA", std::string("FT5XYZA\0", 8)},
        {CopyListed, 16, k16 + "XYZ", k16},
        {CopyListed, 16, "", std::string(1, '\0')},
        {CopyTerminated, 64, std::string(63, 'd'), std::string(63, 'd') + '\0'},
        {CopyTerminated, 64, std::string(64, 'e'), std::string(63, 'e') + '\0'},
        {CopyTerminated, 16, k16, k16.substr(0, 15) + '\0'},
        {CopyTerminated, 0, "x", ""},
    };
    for (const CopyCase& c : cases) {
        auto buffer = Filled<70>();
        c.copy(buffer.data(), c.capacity, c.text);
        EXPECT_EQ(std::string(buffer.data(), c.written.size()), c.written) << c.text;
        EXPECT_EQ(buffer[c.written.size()], kSentinel) << c.text;
    }
    CopyTerminated(nullptr, 16, "ignored");  // must not crash
}

using PreparedRecord = program_data_record::Record;

ChannelDescriptors Ft232rDescriptors() {
    ChannelDescriptors d;
    d.vendorId = 0x0403;
    d.productId = 0x6001;
    d.bcdDevice = 0x0600;
    d.bcdUsb = 0x0200;
    d.maxPowerMa = 90;
    d.configAttributes = 0xA0;
    d.manufacturer = "FTDI";
    d.description = "FT232R USB UART";
    d.serialNumber = "A10K1ABC";
    d.hasSerialNumber = true;
    return d;
}

TEST(ProgramData, CommonFields) {
    PreparedRecord r;
    FillProgramData(Ft232rDescriptors(), r.data);
    EXPECT_EQ(r.data.VendorId, 0x0403);
    EXPECT_EQ(r.data.ProductId, 0x6001);
    EXPECT_STREQ(r.data.Manufacturer, "FTDI");
    EXPECT_STREQ(r.data.ManufacturerId, "");
    EXPECT_STREQ(r.data.Description, "FT232R USB UART");
    EXPECT_STREQ(r.data.SerialNumber, "A10K1ABC");
    EXPECT_EQ(r.data.MaxPower, 90);
    EXPECT_EQ(r.data.PnP, 0);
    EXPECT_EQ(r.data.SelfPowered, 0);
    EXPECT_EQ(r.data.RemoteWakeup, 1);
    // The pointers still designate the caller's buffers.
    EXPECT_EQ(r.data.Description, r.description.data());
}

TEST(ProgramData, PowerAttributes) {
    const std::vector<std::tuple<std::optional<std::uint8_t>, std::uint16_t, std::uint16_t>> cases = {
        {0x80, 0, 0}, {0xA0, 0, 1}, {0xC0, 1, 0}, {0xE0, 1, 1}, {std::nullopt, 0, 0},
    };
    for (const auto& [attributes, self, wakeup] : cases) {
        PreparedRecord r;
        ChannelDescriptors d = Ft232rDescriptors();
        d.configAttributes = attributes;
        FillProgramData(d, r.data);
        EXPECT_EQ(r.data.SelfPowered, self);
        EXPECT_EQ(r.data.RemoteWakeup, wakeup);
    }
}

TEST(ProgramData, ChipSpecificFields) {
    struct Case {
        std::uint16_t productId, bcdDevice;
        std::uint8_t rev4, rev5, serNumEnable, serNumEnable5, serNumEnableR;
        std::uint16_t usbVersion, usbVersion5;
    };
    const std::vector<Case> cases = {
        {0x6001, 0x0600, 0, 0, 0, 0, 1, 0, 0},           // FT232R
        {0x6001, 0x0400, 1, 0, 1, 0, 0, 0x0110, 0},      // FT232B
        {0x6010, 0x0500, 0, 1, 0, 1, 0, 0, 0x0110},      // FT2232D
        {0x6010, 0x0700, 0, 0, 0, 0, 0, 0, 0},           // FT2232H: none of these fields are its own
        {0x6015, 0x1000, 0, 0, 0, 0, 0, 0, 0},           // FT-X
    };
    for (const Case& c : cases) {
        PreparedRecord r;
        std::memset(&r.data.Rev4, 0x5A, sizeof r.data - offsetof(FT_PROGRAM_DATA, Rev4));  // all must be rewritten
        ChannelDescriptors d = Ft232rDescriptors();
        d.productId = c.productId;
        d.bcdDevice = c.bcdDevice;
        d.bcdUsb = 0x0110;
        FillProgramData(d, r.data);
        SCOPED_TRACE(testing::Message() << std::hex << c.productId << "/" << c.bcdDevice);
        EXPECT_EQ(r.data.Rev4, c.rev4);
        EXPECT_EQ(r.data.Rev5, c.rev5);
        EXPECT_EQ(r.data.SerNumEnable, c.serNumEnable);
        EXPECT_EQ(r.data.SerNumEnable5, c.serNumEnable5);
        EXPECT_EQ(r.data.SerNumEnableR, c.serNumEnableR);
        EXPECT_EQ(r.data.USBVersion, c.usbVersion);
        EXPECT_EQ(r.data.USBVersion5, c.usbVersion5);
        EXPECT_EQ(r.data.IsoIn, 0);
        EXPECT_EQ(r.data.AIsVCP, 0);
        EXPECT_EQ(r.data.UseExtOsc, 0);
        EXPECT_EQ(r.data.RIsD2XX, 0);
    }
}

TEST(ProgramData, NoSerialStringClearsTheEnableFlag) {
    PreparedRecord r;
    ChannelDescriptors d = Ft232rDescriptors();
    d.serialNumber.clear();
    d.hasSerialNumber = false;
    FillProgramData(d, r.data);
    EXPECT_EQ(r.data.SerNumEnableR, 0);
    EXPECT_STREQ(r.data.SerialNumber, "");
}

TEST(ProgramData, FieldsBeyondTheRecordVersionStayUntouched) {
    for (std::uint32_t version : {0u, 1u}) {
        PreparedRecord r(version);
        std::memset(&r.data.Rev4, 0x5A, sizeof r.data - offsetof(FT_PROGRAM_DATA, Rev4));
        FillProgramData(Ft232rDescriptors(), r.data);
        EXPECT_EQ(r.data.MaxPower, 90) << version;
        EXPECT_EQ(r.data.UseExtOsc, 0x5A) << version;
        EXPECT_EQ(r.data.RIsD2XX, 0x5A) << version;
        EXPECT_EQ(r.data.Rev4, version >= 1 ? 0 : 0x5A) << version;
    }
}

TEST(ProgramData, StringsAreBoundedByTheVendorCapacities) {
    PreparedRecord r;
    ChannelDescriptors d = Ft232rDescriptors();
    d.manufacturer = std::string(40, 'm');
    d.description = std::string(63, 'd');
    d.serialNumber = "0123456789ABCDEF";
    FillProgramData(d, r.data);
    EXPECT_EQ(std::string(r.data.Manufacturer), std::string(31, 'm'));
    EXPECT_EQ(r.manufacturer[32], kSentinel);
    EXPECT_EQ(std::string(r.data.Description), std::string(63, 'd'));
    EXPECT_EQ(std::string(r.data.SerialNumber), "0123456789ABCDE");
    EXPECT_EQ(r.manufacturerId[1], kSentinel);

    d.description = std::string(80, 'x');
    FillProgramData(d, r.data);
    EXPECT_EQ(std::string(r.data.Description), std::string(63, 'x'));
}

TEST(ProgramData, NullTextPointersAreSkipped) {
    PreparedRecord r;
    r.data.Manufacturer = nullptr;
    r.data.SerialNumber = nullptr;
    FillProgramData(Ft232rDescriptors(), r.data);
    EXPECT_STREQ(r.data.Description, "FT232R USB UART");
    EXPECT_EQ(r.manufacturer[0], kSentinel);
    EXPECT_EQ(r.serialNumber[0], kSentinel);
}

TEST(ProgramData, Signatures) {
    PreparedRecord r;
    EXPECT_TRUE(HasValidSignatures(r.data));
    r.data.Signature2 = 0;
    EXPECT_FALSE(HasValidSignatures(r.data));
    r.data.Signature2 = 0xFFFFFFFFu;
    r.data.Signature1 = 1;
    EXPECT_FALSE(HasValidSignatures(r.data));
}

TEST(HandleTable, HandlesAreNonZeroAndDistinct) {
    HandleTable<int, 4> table;
    std::vector<std::uintptr_t> handles;
    for (int i = 0; i < 4; ++i) {
        const auto h = table.Insert(i * 10);
        ASSERT_TRUE(h);
        EXPECT_NE(*h, 0u);
        handles.push_back(*h);
    }
    for (std::size_t i = 0; i < handles.size(); ++i) {
        ASSERT_NE(table.Find(handles[i]), nullptr);
        EXPECT_EQ(*table.Find(handles[i]), static_cast<int>(i) * 10);
    }
    EXPECT_FALSE(table.Insert(99)) << "a full table refuses";
}

TEST(HandleTable, ClosedHandlesStayStaleWhenTheSlotIsReused) {
    HandleTable<int, 2> table;
    const auto first = *table.Insert(1);
    ASSERT_TRUE(table.Remove(first));
    EXPECT_EQ(table.Find(first), nullptr);
    EXPECT_FALSE(table.Remove(first)) << "closing twice";
    const auto second = *table.Insert(2);
    EXPECT_NE(second, first);
    EXPECT_EQ(table.Find(first), nullptr) << "the old handle must not reach the new occupant";
    ASSERT_NE(table.Find(second), nullptr);
    EXPECT_EQ(*table.Find(second), 2);
}

TEST(HandleTable, MadeUpHandlesAreRefused) {
    HandleTable<int, 4> table;
    const auto h = *table.Insert(7);
    for (std::uintptr_t bogus : {std::uintptr_t{0}, std::uintptr_t{1}, std::uintptr_t{5}, h + 1, h ^ 0x100,
                                 ~std::uintptr_t{0}, h & 0xFF}) {
        if (bogus == h) continue;
        EXPECT_EQ(table.Find(bogus), nullptr) << std::hex << bogus;
    }
    EXPECT_NE(table.Find(h), nullptr);
}

TEST(HandleTable, FindIf) {
    HandleTable<int, 4> table;
    table.Insert(1);
    table.Insert(2);
    EXPECT_NE(table.FindIf([](int v) { return v == 2; }), nullptr);
    EXPECT_EQ(table.FindIf([](int v) { return v == 3; }), nullptr);
}

}  // namespace
}  // namespace ftdi_linux
