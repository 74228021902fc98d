// The simulated vendor library's seven functions: what they write, the
// handle table, injected statuses, the serial write modes and the call log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <ostream>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "d2xx/ftd2xx_abi.h"
#include "sim_fixture.h"

namespace {

using d2xx_test::LoadScenario;
using d2xx_test::LogLines;

void* Index(std::uint32_t index) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(index)); }

FT_HANDLE Open(const char* serial) {
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_OpenEx(const_cast<char*>(serial), FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
    return handle;
}

FT_HANDLE Foreign() { return reinterpret_cast<FT_HANDLE>(static_cast<std::uintptr_t>(0xBADC0DE)); }

// A Version 2 record over caller buffers that are larger than needed and
// pre-filled, so that a write past the documented sizes shows.
struct Record {
    char manufacturer[80];
    char manufacturerId[32];
    char description[80];
    char serial[32];
    FT_PROGRAM_DATA data;

    explicit Record(std::uint32_t version = 2) {
        std::memset(this, '#', sizeof *this);
        std::memset(&data, 0xAB, sizeof data);
        data.Signature1 = 0;
        data.Signature2 = 0xFFFFFFFF;
        data.Version = version;
        data.Manufacturer = manufacturer;
        data.ManufacturerId = manufacturerId;
        data.Description = description;
        data.SerialNumber = serial;
    }
};

const char* kTwoDevices = R"({
  "library_version": "0x00020C0A",
  "devices": [
    {"serial": "FT0A1", "description": "COM_A", "com_port": 3, "driver_version": "0x00021004",
     "manufacturer": "ACME", "manufacturer_id": "AC", "vendor_id": 1027, "product_id": 24596,
     "max_power": 100, "pnp": 0, "self_powered": 1, "remote_wakeup": 0},
    {"serial": "FT0B2", "description": "Second", "com_port": -1}
  ]})";

class SimCalls : public testing::Test {
protected:
    void SetUp() override { LoadScenario(kTwoDevices); }
};

TEST_F(SimCalls, RefreshSequenceIsLoggedLineByLine) {
    std::uint32_t count = 0, version = 0, driver = 0;
    std::int32_t port = 0;
    char serial[16];
    FT_HANDLE handle = nullptr;
    Record record;
    FT_Close(nullptr);
    FT_GetLibraryVersion(&version);
    FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
    FT_ListDevices(Index(1), serial, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
    FT_OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &handle);
    FT_EE_Read(handle, &record.data);
    FT_GetDriverVersion(handle, &driver);
    FT_GetComPortNumber(handle, &port);
    FT_Close(handle);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "FT_Close(0x0) -> 1",
                              "FT_GetLibraryVersion() -> 0 version=0x00020C0A",
                              "FT_ListDevices(0x80000000) -> 0 count=2",
                              "FT_ListDevices(1,0x40000001) -> 0 serial=\"FT0B2\"",
                              "FT_OpenEx(\"FT0B2\",0x1) -> 0 handle=0x1",
                              "FT_EE_Read(0x1) -> 0 description=\"Second\"",
                              "FT_GetDriverVersion(0x1) -> 0 version=0x00021204",
                              "FT_GetComPortNumber(0x1) -> 0 port=-1",
                              "FT_Close(0x1) -> 0",
                          }));
    TorvaneSim_ClearCallLog();
    EXPECT_STREQ(TorvaneSim_CallLog(), "");
}

TEST_F(SimCalls, LogEscapesQuotesBackslashesAndNonAsciiBytes) {
    LoadScenario(R"({"devices":[{"serial":"a\"b\\c","description":"Zażółć\ttab"}]})");
    char serial[16];
    FT_ListDevices(Index(0), serial, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
    FT_ListDevices(Index(0), serial, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              R"(FT_ListDevices(0,0x40000001) -> 0 serial="a\"b\\c")",
                              R"(FT_ListDevices(0,0x40000002) -> 0 description="Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\x09tab")",
                          }));
}

TEST_F(SimCalls, UnsupportedShapesAreRefusedAndLoggedByTheirFlags) {
    char buffer[64] = {};
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_ListDevices(buffer, nullptr, FT_LIST_ALL | FT_OPEN_BY_SERIAL_NUMBER), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_OpenEx(Index(0x1234), FT_OPEN_BY_LOCATION, &handle), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_OpenEx(nullptr, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_INVALID_PARAMETER);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "FT_ListDevices(0x20000001) -> 6",
                              "FT_OpenEx(0x4) -> 6",
                              "FT_OpenEx(NULL,0x1) -> 6",
                          }));
    EXPECT_EQ(handle, nullptr);
}

TEST_F(SimCalls, NullOutputPointersAreRefused) {
    FT_HANDLE handle = Open("FT0A1");
    EXPECT_EQ(FT_ListDevices(nullptr, nullptr, FT_LIST_NUMBER_ONLY), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_ListDevices(Index(0), nullptr, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_OpenEx(const_cast<char*>("FT0B2"), FT_OPEN_BY_SERIAL_NUMBER, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_EE_Read(handle, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_GetDriverVersion(handle, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_GetLibraryVersion(nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_GetComPortNumber(handle, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 1);
}

TEST_F(SimCalls, EepromReadFillsTextsAndNumbersOfAVersion2Record) {
    Record record;
    ASSERT_EQ(FT_EE_Read(Open("FT0A1"), &record.data), FT_OK);
    EXPECT_STREQ(record.manufacturer, "ACME");
    EXPECT_STREQ(record.manufacturerId, "AC");
    EXPECT_STREQ(record.description, "COM_A");
    EXPECT_STREQ(record.serial, "FT0A1");
    EXPECT_EQ(record.description[6], '#') << "wrote past the terminator";
    EXPECT_EQ(record.data.VendorId, 1027);
    EXPECT_EQ(record.data.ProductId, 24596);
    EXPECT_EQ(record.data.MaxPower, 100);
    EXPECT_EQ(record.data.PnP, 0);
    EXPECT_EQ(record.data.SelfPowered, 1);
    EXPECT_EQ(record.data.RemoteWakeup, 0);
    EXPECT_EQ(record.data.USBVersion, 0x0200);
    EXPECT_EQ(record.data.Rev4, 0);
    EXPECT_EQ(record.data.EndPointSize, 64);
    EXPECT_EQ(record.data.RIsD2XX, 0);
}

TEST_F(SimCalls, EepromReadLeavesFieldsBeyondTheRecordsVersionAlone) {
    Record version0(0), version1(1);
    const FT_HANDLE handle = Open("FT0A1");
    ASSERT_EQ(FT_EE_Read(handle, &version0.data), FT_OK);
    ASSERT_EQ(FT_EE_Read(handle, &version1.data), FT_OK);
    EXPECT_EQ(version0.data.RemoteWakeup, 0);
    EXPECT_EQ(version0.data.Rev4, 0xAB);
    EXPECT_EQ(version0.data.RIsD2XX, 0xAB);
    EXPECT_EQ(version1.data.Rev4, 0);
    EXPECT_EQ(version1.data.BIsVCP, 0);
    EXPECT_EQ(version1.data.UseExtOsc, 0xAB);
    EXPECT_EQ(version1.data.RIsD2XX, 0xAB);
}

struct BadRecord {
    const char* name;
    std::function<void(FT_PROGRAM_DATA&)> spoil;
};

void PrintTo(const BadRecord& value, std::ostream* out) { *out << value.name; }

class SimBadRecord : public testing::TestWithParam<BadRecord> {};

TEST_P(SimBadRecord, IsRefusedWithoutWritingAnything) {
    LoadScenario(kTwoDevices);
    Record record;
    GetParam().spoil(record.data);
    const Record untouched = record;
    ASSERT_EQ(FT_EE_Read(Open("FT0A1"), &record.data), FT_INVALID_PARAMETER);
    EXPECT_EQ(std::memcmp(record.description, untouched.description, sizeof record.description), 0);
    EXPECT_EQ(record.data.VendorId, untouched.data.VendorId);
}

INSTANTIATE_TEST_SUITE_P(
    Records, SimBadRecord,
    testing::Values(BadRecord{"Signature1", [](FT_PROGRAM_DATA& d) { d.Signature1 = 1; }},
                    BadRecord{"Signature2", [](FT_PROGRAM_DATA& d) { d.Signature2 = 0; }},
                    BadRecord{"Version3", [](FT_PROGRAM_DATA& d) { d.Version = 3; }},
                    BadRecord{"NoManufacturer", [](FT_PROGRAM_DATA& d) { d.Manufacturer = nullptr; }},
                    BadRecord{"NoManufacturerId", [](FT_PROGRAM_DATA& d) { d.ManufacturerId = nullptr; }},
                    BadRecord{"NoDescription", [](FT_PROGRAM_DATA& d) { d.Description = nullptr; }},
                    BadRecord{"NoSerialNumber", [](FT_PROGRAM_DATA& d) { d.SerialNumber = nullptr; }}),
    [](const testing::TestParamInfo<BadRecord>& info) { return std::string(info.param.name); });

TEST_F(SimCalls, DeviceIsOpenedBySerialOrDescription) {
    FT_HANDLE bySerial = nullptr, byDescription = nullptr, unknown = nullptr;
    EXPECT_EQ(FT_OpenEx(const_cast<char*>("FT0A1"), FT_OPEN_BY_SERIAL_NUMBER, &bySerial), FT_OK);
    EXPECT_EQ(FT_OpenEx(const_cast<char*>("Second"), FT_OPEN_BY_DESCRIPTION, &byDescription), FT_OK);
    EXPECT_EQ(FT_OpenEx(const_cast<char*>("FT0A"), FT_OPEN_BY_SERIAL_NUMBER, &unknown), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(FT_OpenEx(const_cast<char*>(""), FT_OPEN_BY_SERIAL_NUMBER, &unknown), FT_DEVICE_NOT_FOUND);
    std::int32_t first = 0, second = 0;
    EXPECT_EQ(FT_GetComPortNumber(bySerial, &first), FT_OK);
    EXPECT_EQ(FT_GetComPortNumber(byDescription, &second), FT_OK);
    EXPECT_EQ(first, 3);
    EXPECT_EQ(second, -1);
    EXPECT_EQ(unknown, nullptr);
}

TEST_F(SimCalls, OpenDeviceCannotBeOpenedTwiceUntilClosed) {
    const FT_HANDLE first = Open("FT0A1");
    FT_HANDLE second = nullptr;
    EXPECT_EQ(FT_OpenEx(const_cast<char*>("FT0A1"), FT_OPEN_BY_SERIAL_NUMBER, &second), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(FT_Close(first), FT_OK);
    second = Open("FT0A1");
    EXPECT_NE(second, first) << "a handle value is never given out twice";
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 1);
}

TEST_F(SimCalls, ClosedStaleForeignAndNullHandlesAreInvalidNeverFatal) {
    const FT_HANDLE closed = Open("FT0A1");
    ASSERT_EQ(FT_Close(closed), FT_OK);
    const FT_HANDLE beforeReload = Open("FT0B2");
    LoadScenario(kTwoDevices);  // forgets every handle, like unplugging everything
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 0);
    for (FT_HANDLE handle : {closed, beforeReload, Foreign(), static_cast<FT_HANDLE>(nullptr)}) {
        Record record;
        std::uint32_t driver = 5;
        std::int32_t port = 5;
        EXPECT_EQ(FT_Close(handle), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_EE_Read(handle, &record.data), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_GetDriverVersion(handle, &driver), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_GetComPortNumber(handle, &port), FT_INVALID_HANDLE);
        EXPECT_EQ(driver, 5u);
        EXPECT_EQ(port, 5);
        EXPECT_EQ(record.description[0], '#');
    }
}

TEST_F(SimCalls, HandleNumberingRestartsWithEveryLoad) {
    Open("FT0A1");
    LoadScenario(kTwoDevices);
    EXPECT_EQ(Open("FT0B2"), reinterpret_cast<FT_HANDLE>(std::uintptr_t{1}));
}

// ---- serial write modes ---------------------------------------------------

struct SerialCase {
    const char* name;
    const char* scenario;
    std::string expectedBytes;  // what lands in a 32-byte buffer pre-filled with '#'
};

void PrintTo(const SerialCase& value, std::ostream* out) { *out << value.name; }

class SimSerialWrite : public testing::TestWithParam<SerialCase> {};

TEST_P(SimSerialWrite, ListingAndEepromWriteTheSameBytes) {
    LoadScenario(GetParam().scenario);
    char listed[32];
    std::memset(listed, '#', sizeof listed);
    ASSERT_EQ(FT_ListDevices(Index(0), listed, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER), FT_OK);
    const std::string& expected = GetParam().expectedBytes;
    EXPECT_EQ(std::string(listed, expected.size()), expected);
    EXPECT_EQ(listed[expected.size()], '#') << "wrote one byte too many";

    // The listed form may lack a terminator; open by the text a caller makes of it.
    std::string text(listed, std::find(listed, listed + 16, '\0'));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(FT_OpenEx(text.data(), FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK)
        << "the listed form must open the device";
    Record record;
    ASSERT_EQ(FT_EE_Read(handle, &record.data), FT_OK);
    EXPECT_EQ(std::string(record.serial, expected.size()), expected);
    EXPECT_EQ(record.serial[expected.size()], '#');
}

const std::string k16 = "ABCDEFGHIJKLMNOP";

INSTANTIATE_TEST_SUITE_P(
    Modes, SimSerialWrite,
    testing::Values(
        SerialCase{"ShortIsTerminated", R"({"devices":[{"serial":"FT12"}]})", std::string("FT12", 5)},
        SerialCase{"FifteenIsTerminated", R"({"devices":[{"serial":"ABCDEFGHIJKLMNO"}]})",
                   std::string("ABCDEFGHIJKLMNO", 16)},
        SerialCase{"SixteenFillsWithoutTerminator", R"({"devices":[{"serial":"ABCDEFGHIJKLMNOP"}]})", k16},
        SerialCase{"LongerIsCutToSixteen", R"({"devices":[{"serial":"ABCDEFGHIJKLMNOPQRST"}]})", k16},
        SerialCase{"OverrunTerminatesSixteenWithA17thByte",
                   R"({"serial_write":"overrun","devices":[{"serial":"ABCDEFGHIJKLMNOP"}]})",
                   k16 + std::string(1, '\0')},
        SerialCase{"OverrunOfLongerSerial",
                   R"({"serial_write":"overrun","devices":[{"serial":"ABCDEFGHIJKLMNOPQRST"}]})",
                   k16 + std::string(1, '\0')},
        SerialCase{"OverrunLeavesShortAlone",
                   R"({"serial_write":"overrun","devices":[{"serial":"FT12"}]})", std::string("FT12", 5)},
        SerialCase{"DeviceOverridesScenario",
                   R"({"serial_write":"overrun","devices":[{"serial":"ABCDEFGHIJKLMNOP","serial_write":"fill"}]})",
                   k16}),
    [](const testing::TestParamInfo<SerialCase>& info) { return std::string(info.param.name); });

TEST_F(SimCalls, EepromSerialMayDifferFromTheListedOne) {
    LoadScenario(R"({"devices":[{"serial":"LISTED","eeprom_serial":"STORED"}]})");
    Record record;
    ASSERT_EQ(FT_EE_Read(Open("LISTED"), &record.data), FT_OK);
    EXPECT_STREQ(record.serial, "STORED");
}

TEST_F(SimCalls, LogShowsTheListedBytesOfAFullSerial) {
    LoadScenario(R"({"devices":[{"serial":"ABCDEFGHIJKLMNOPQRST"}]})");
    char listed[32];
    std::memset(listed, '#', sizeof listed);
    FT_ListDevices(Index(0), listed, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
    EXPECT_EQ(LogLines(), std::vector<std::string>{"FT_ListDevices(0,0x40000001) -> 0 serial=\"" + k16 + "\""});
}

// ---- injected statuses ----------------------------------------------------

// Each call the refresh makes, performed on device 0 ("D0") of the scenario.
// Calls that need an open device get a handle of D0 that the test keeps open.
struct Injection {
    const char* function;  // the scenario's key
    bool perDevice;
    bool needsOpen;
    bool closes;  // a successful call closes the handle it was given
    std::function<FT_STATUS(FT_HANDLE)> call;
};

const Injection kInjections[] = {
    {"FT_ListDevices.count", false, false, false,
     [](FT_HANDLE) {
         std::uint32_t count = 0;
         return FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
     }},
    {"FT_ListDevices.index", true, false, false,
     [](FT_HANDLE) {
         char serial[16];
         return FT_ListDevices(Index(0), serial, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
     }},
    {"FT_OpenEx", true, false, false,
     [](FT_HANDLE) {
         FT_HANDLE handle = nullptr;
         const FT_STATUS status = FT_OpenEx(const_cast<char*>("D0"), FT_OPEN_BY_SERIAL_NUMBER, &handle);
         if (status == FT_OK) FT_Close(handle);
         return status;
     }},
    {"FT_Close", true, true, true, [](FT_HANDLE handle) { return FT_Close(handle); }},
    {"FT_EE_Read", true, true, false,
     [](FT_HANDLE handle) {
         Record record;
         return FT_EE_Read(handle, &record.data);
     }},
    {"FT_GetDriverVersion", true, true, false,
     [](FT_HANDLE handle) {
         std::uint32_t version = 0;
         return FT_GetDriverVersion(handle, &version);
     }},
    {"FT_GetLibraryVersion", false, false, false,
     [](FT_HANDLE) {
         std::uint32_t version = 0;
         return FT_GetLibraryVersion(&version);
     }},
    {"FT_GetComPortNumber", true, true, false,
     [](FT_HANDLE handle) {
         std::int32_t port = 0;
         return FT_GetComPortNumber(handle, &port);
     }},
};

void PrintTo(const Injection& value, std::ostream* out) { *out << value.function; }

class SimInjection : public testing::TestWithParam<Injection> {
protected:
    // Two devices; the three texts are the members of the global, D0's and D1's "fail".
    void Load(const std::string& globalFail, const std::string& d0Fail, const std::string& d1Fail) {
        LoadScenario(R"({"fail":{)" + globalFail + R"(},"devices":[{"serial":"D0","fail":{)" + d0Fail +
                     R"(}},{"serial":"D1","fail":{)" + d1Fail + "}}]}");
        d0_ = nullptr;
    }
    std::string Rule(const std::string& value) const {
        return "\"" + std::string(GetParam().function) + "\":" + value;
    }
    FT_STATUS CallOnce() {
        const Injection& injection = GetParam();
        if (injection.needsOpen && d0_ == nullptr) d0_ = Open("D0");
        const FT_STATUS status = injection.call(d0_);
        if (injection.closes && status == FT_OK) d0_ = nullptr;
        return status;
    }

private:
    FT_HANDLE d0_ = nullptr;
};

TEST_P(SimInjection, GlobalStatusIsReturnedForEveryCallIncludingTopBitValues) {
    for (const FT_STATUS status : std::initializer_list<FT_STATUS>{FT_IO_ERROR, FT_OTHER_ERROR, 0x80000000u, 0xFFFFFFFFu}) {
        Load(Rule(std::to_string(status)), "", "");
        EXPECT_EQ(CallOnce(), status);
        EXPECT_EQ(CallOnce(), status);
    }
}

TEST_P(SimInjection, SkipAndTimesChooseWhichCallsFail) {
    Load(Rule(R"({"status":4,"skip":1,"times":2})"), "", "");
    std::vector<FT_STATUS> statuses;
    for (int i = 0; i < 4; ++i) statuses.push_back(CallOnce());
    EXPECT_EQ(statuses, (std::vector<FT_STATUS>{FT_OK, FT_IO_ERROR, FT_IO_ERROR, FT_OK}));
}

// The calls that concern one device.
class SimDeviceInjection : public SimInjection {};

TEST_P(SimDeviceInjection, DeviceStatusHitsOnlyThatDevice) {
    Load("", "", Rule("11"));
    EXPECT_EQ(CallOnce(), FT_OK) << "device D1's rule must not touch D0";
    Load("", Rule("11"), "");
    EXPECT_EQ(CallOnce(), FT_EEPROM_READ_FAILED);
    EXPECT_EQ(CallOnce(), FT_EEPROM_READ_FAILED);
}

std::string InjectionName(const testing::TestParamInfo<Injection>& info) {
    std::string name = info.param.function;
    std::replace(name.begin(), name.end(), '.', '_');
    return name;
}

std::vector<Injection> PerDeviceInjections() {
    std::vector<Injection> perDevice;
    std::copy_if(std::begin(kInjections), std::end(kInjections), std::back_inserter(perDevice),
                 [](const Injection& injection) { return injection.perDevice; });
    return perDevice;
}

INSTANTIATE_TEST_SUITE_P(Functions, SimInjection, testing::ValuesIn(kInjections), InjectionName);
INSTANTIATE_TEST_SUITE_P(Functions, SimDeviceInjection, testing::ValuesIn(PerDeviceInjections()),
                         InjectionName);

TEST_F(SimCalls, FailedCallHasNoEffect) {
    LoadScenario(R"({"devices":[{"serial":"D0","fail":{"FT_Close":{"status":4,"times":1}}}]})");
    const FT_HANDLE handle = Open("D0");
    EXPECT_EQ(FT_Close(handle), FT_IO_ERROR);
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 1) << "a failed close leaves the device open";
    FT_HANDLE again = nullptr;
    EXPECT_EQ(FT_OpenEx(const_cast<char*>("D0"), FT_OPEN_BY_SERIAL_NUMBER, &again), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(FT_Close(handle), FT_OK);
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 0);
}

TEST_F(SimCalls, FailedCallsAreLoggedWithoutOutputs) {
    LoadScenario(R"({"fail":{"FT_ListDevices.count":4,"FT_GetLibraryVersion":18}})");
    std::uint32_t value = 9;
    FT_ListDevices(&value, nullptr, FT_LIST_NUMBER_ONLY);
    FT_GetLibraryVersion(&value);
    EXPECT_EQ(value, 9u);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"FT_ListDevices(0x80000000) -> 4",
                                                    "FT_GetLibraryVersion() -> 18"}));
}

TEST(SimThreads, ConcurrentCallsAreSerialisedAndAllLogged) {
    LoadScenario(R"({"devices":[{"serial":"A"},{"serial":"B"}]})");
    auto hammer = [](const char* serial) {
        for (int i = 0; i < 200; ++i) {
            FT_HANDLE handle = nullptr;
            if (FT_OpenEx(const_cast<char*>(serial), FT_OPEN_BY_SERIAL_NUMBER, &handle) == FT_OK)
                FT_Close(handle);
        }
    };
    std::thread a(hammer, "A"), b(hammer, "B");
    a.join();
    b.join();
    EXPECT_EQ(LogLines().size(), 800u);
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 0);
}

}  // namespace
