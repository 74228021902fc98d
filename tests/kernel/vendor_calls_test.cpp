// The Linux vendor library's calls on the tree the kernel's ftdi_sio driver
// builds, in the guest that scripts/kernel-guest.sh boots (four converters:
// a root port, one behind a hub, two sharing a serial). Run by the check
// vendor_calls.sh; never on the build machine.
#include <sys/utsname.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "d2xx/ftd2xx_abi.h"
#include "tests/kernel/guest_sysfs.h"

namespace {

using kernel_guest::ComOf;

// The harness's layout: USB device, serial, location (bus, ports,
// interface + 1 as hexadecimal digits).
struct Converter {
    const char* usb;
    const char* serial;
    std::uint32_t location;
};
const std::vector<Converter> kLayout = {
    {"1-1", "FT000001", 0x111},
    {"1-2.1", "FT000002", 0x1211},
    {"1-3", "FTSHARED", 0x131},
    {"1-2.2", "FTSHARED", 0x1221},
};
constexpr char kDescription[] = "QEMU USB SERIAL";

const Converter* AtLocation(std::uint32_t location) {
    for (const auto& c : kLayout)
        if (c.location == location) return &c;
    return nullptr;
}

// An open handle, closed at the end of the scope.
struct Open {
    FT_HANDLE h = nullptr;
    FT_STATUS status;
    Open(void* arg, std::uint32_t flags) : status(FT_OpenEx(arg, flags, &h)) {}
    ~Open() {
        if (status == FT_OK) FT_Close(h);
    }
    int com() const {
        std::int32_t n = -2;
        EXPECT_EQ(FT_GetComPortNumber(h, &n), FT_OK);
        return n;
    }
};

TEST(KernelVendorCalls, DeviceInfoListShowsEveryConverter) {
    std::uint32_t count = 0;
    ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
    ASSERT_EQ(count, kLayout.size());
    std::set<std::uint32_t> seen;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t flags = 9, type = 9, id = 0, location = 0;
        char serial[16] = {}, description[64] = {};
        FT_HANDLE h = &flags;
        ASSERT_EQ(FT_GetDeviceInfoDetail(i, &flags, &type, &id, &location, serial, description, &h), FT_OK);
        const Converter* c = AtLocation(location);
        ASSERT_NE(c, nullptr) << std::hex << location;
        seen.insert(location);
        EXPECT_EQ(flags, 0u) << "full speed, not open";
        EXPECT_EQ(type, static_cast<std::uint32_t>(FT_DEVICE_BM));
        EXPECT_EQ(id, 0x04036001u);
        EXPECT_STREQ(serial, c->serial);
        EXPECT_STREQ(description, kDescription);
        EXPECT_EQ(h, nullptr);
    }
    EXPECT_EQ(seen.size(), kLayout.size());
}

TEST(KernelVendorCalls, OpenByLocationGivesThatConvertersPort) {
    for (const auto& c : kLayout) {
        Open open(reinterpret_cast<void*>(static_cast<std::uintptr_t>(c.location)), FT_OPEN_BY_LOCATION);
        ASSERT_EQ(open.status, FT_OK) << c.usb;
        EXPECT_EQ(open.com(), ComOf(c.usb)) << c.usb;
    }
}

TEST(KernelVendorCalls, OpenBySerialTakesEachSharingConverterOnce) {
    char shared[] = "FTSHARED";
    Open first(shared, FT_OPEN_BY_SERIAL_NUMBER), second(shared, FT_OPEN_BY_SERIAL_NUMBER),
        third(shared, FT_OPEN_BY_SERIAL_NUMBER);
    ASSERT_EQ(first.status, FT_OK);
    ASSERT_EQ(second.status, FT_OK);
    EXPECT_EQ(third.status, FT_DEVICE_NOT_OPENED);
    EXPECT_EQ((std::set<int>{first.com(), second.com()}), (std::set<int>{ComOf("1-3"), ComOf("1-2.2")}));

    char unique[] = "FT000002";
    Open byHub(unique, FT_OPEN_BY_SERIAL_NUMBER);
    ASSERT_EQ(byHub.status, FT_OK);
    EXPECT_EQ(byHub.com(), ComOf("1-2.1"));

    std::uint32_t count = 0, flags = 0, type, id, location;
    char serial[16], description[64];
    FT_HANDLE holder = nullptr;
    ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
    for (std::uint32_t i = 0; i < count; ++i) {
        ASSERT_EQ(FT_GetDeviceInfoDetail(i, &flags, &type, &id, &location, serial, description, &holder), FT_OK);
        if (location == 0x1211) break;
    }
    EXPECT_EQ(flags & FT_FLAGS_OPENED, FT_FLAGS_OPENED);
    EXPECT_EQ(holder, byHub.h);
}

TEST(KernelVendorCalls, OpenByDescriptionTakesTheFirstListed) {
    char description[] = "QEMU USB SERIAL";
    Open open(description, FT_OPEN_BY_DESCRIPTION);
    ASSERT_EQ(open.status, FT_OK);
    EXPECT_EQ(open.com(), ComOf("1-1")) << "1-1 is listed first";
}

TEST(KernelVendorCalls, EepromRecordFromTheDescriptors) {
    char serial[] = "FT000001";
    Open open(serial, FT_OPEN_BY_SERIAL_NUMBER);
    ASSERT_EQ(open.status, FT_OK);
    char manufacturer[64] = {}, manufacturerId[16] = {}, desc[64] = {}, serialNumber[16] = {};
    FT_PROGRAM_DATA data{};
    data.Signature2 = 0xFFFFFFFFu;
    data.Version = 2;
    data.Manufacturer = manufacturer;
    data.ManufacturerId = manufacturerId;
    data.Description = desc;
    data.SerialNumber = serialNumber;
    ASSERT_EQ(FT_EE_Read(open.h, &data), FT_OK);
    EXPECT_EQ(data.VendorId, 0x0403);
    EXPECT_EQ(data.ProductId, 0x6001);
    EXPECT_STREQ(manufacturer, "QEMU");
    EXPECT_STREQ(desc, kDescription);
    EXPECT_STREQ(serialNumber, "FT000001");
    EXPECT_EQ(data.Rev4, 1);
    EXPECT_EQ(data.SerNumEnable, 1);
    EXPECT_EQ(data.USBVersion, 0x0200);

    utsname u{};
    ASSERT_EQ(uname(&u), 0);
    unsigned major = 0, minor = 0, build = 0;
    std::sscanf(u.release, "%u.%u.%u", &major, &minor, &build);
    auto bcd = [](unsigned v) { return (v / 10) << 4 | v % 10; };
    std::uint32_t version = 0;
    ASSERT_EQ(FT_GetDriverVersion(open.h, &version), FT_OK);
    EXPECT_EQ(version, bcd(major) << 16 | bcd(minor) << 8 | bcd(build)) << u.release;
}

}  // namespace
