// The simulated vendor library on its own, through its C interface: scenarios
// and their faults, the call log, the handle table, the EEPROM record, the
// serial write modes and injected statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "fixture.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#endif

namespace {

using d2xx_test::CaseName;
using d2xx_test::HandleValue;
using d2xx_test::ValueArgument;
using d2xx_test::LoadScenario;
using d2xx_test::LogLines;

constexpr std::uint32_t kBySerial = FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER;
constexpr std::uint32_t kLocationByIndex = FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION;

std::uint32_t Count() {
    std::uint32_t count = 0xDEAD;
    FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
    return count;
}

FT_HANDLE Open(const std::string& serial) {
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_OpenEx(const_cast<char*>(serial.c_str()), FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK) << serial;
    return handle;
}

// A record over caller buffers larger than needed and pre-filled with '#', so
// that a write past the documented sizes shows.
struct Record {
    char manufacturer[80], manufacturerId[32], description[80], serial[32];
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

// A scratch file named after the test, so that a death test's re-executed child names the same file.
struct TempFile {
    std::filesystem::path path;
    explicit TempFile(const std::string& content, const std::string& suffix = "")
        : path(std::filesystem::temp_directory_path() /
               (std::string("torvane-sim-") + testing::UnitTest::GetInstance()->current_test_info()->name() + suffix +
                ".json")) {
        std::ofstream(path, std::ios::binary) << content;
    }
    ~TempFile() { std::filesystem::remove(path); }
};

void SetEnv(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value ? value : "");  // an empty value removes the variable
#else
    if (value) setenv(name, value, 1);
    else unsetenv(name);
#endif
}

// ---- scenarios ------------------------------------------------------------------

TEST(SimScenario, BuiltInDemoHasThreeConvertersOneDecoratedOneWithoutPort) {
    TorvaneSim_UseBuiltInDemo();
    ASSERT_EQ(Count(), 3u);
    std::vector<std::string> descriptions;
    std::vector<std::int32_t> ports;
    std::vector<std::uint32_t> types, ids;
    std::uint32_t infoCount = 0;
    ASSERT_EQ(FT_CreateDeviceInfoList(&infoCount), FT_OK);
    ASSERT_EQ(infoCount, 3u);
    for (std::uint32_t i = 0; i < 3; ++i) {
        char serial[16] = {};
        ASSERT_EQ(FT_ListDevices(ValueArgument(i), serial, kBySerial), FT_OK);
        FT_HANDLE handle = Open(serial);
        Record record;
        std::int32_t port = 0;
        ASSERT_EQ(FT_EE_Read(handle, &record.data), FT_OK);
        ASSERT_EQ(FT_GetComPortNumber(handle, &port), FT_OK);
        descriptions.push_back(record.description);
        ports.push_back(port);
        std::uint32_t flags = 0, type = 0, id = 0, location = 0;
        char infoSerial[16], infoDescription[64];
        FT_HANDLE holder = nullptr;
        ASSERT_EQ(FT_GetDeviceInfoDetail(i, &flags, &type, &id, &location, infoSerial, infoDescription, &holder),
                  FT_OK);
        EXPECT_EQ(holder, handle);
        types.push_back(type);
        ids.push_back(id);
    }
    EXPECT_EQ(descriptions[1], "COM_B");
    EXPECT_EQ(std::count(ports.begin(), ports.end(), -1), 1);
    EXPECT_EQ(types, (std::vector<std::uint32_t>{FT_DEVICE_X_SERIES, FT_DEVICE_232H, FT_DEVICE_232R}));
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{0x04036015, 0x04036014, 0x04036001}));
}

#if !defined(_WIN32)
// The seven-function build answers the same scenarios, but a by-name lookup of
// the two device-information functions finds nothing, as in a vendor library
// that lacks them.
TEST(SimScenario, SevenFunctionLibraryLacksOnlyTheDeviceInformationFunctions) {
    void* library = dlopen(TORVANE_SIM_SEVEN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : {"FT_ListDevices", "FT_OpenEx", "FT_Close", "FT_EE_Read", "FT_GetDriverVersion",
                             "FT_GetLibraryVersion", "FT_GetComPortNumber", "TorvaneSim_LoadScenarioText"})
        EXPECT_NE(dlsym(library, name), nullptr) << name;
    EXPECT_EQ(dlsym(library, "FT_CreateDeviceInfoList"), nullptr);
    EXPECT_EQ(dlsym(library, "FT_GetDeviceInfoDetail"), nullptr);
    dlclose(library);
}
#endif

TEST(SimScenario, DocumentedExampleLoadsWithDefaultsAndCountOverride) {
    ASSERT_EQ(TorvaneSim_LoadScenarioFile(TORVANE_SIM_EXAMPLE_SCENARIO), 0) << TorvaneSim_LastError();
    EXPECT_EQ(Count(), 4u);
    std::uint32_t driver = 0;
    EXPECT_EQ(FT_GetDriverVersion(Open("FT0C3"), &driver), FT_OK);
    EXPECT_EQ(driver, 132100u);
    EXPECT_EQ(FT_GetDriverVersion(Open("ABCDEFGHIJKLMNOP"), &driver), FT_OK);
    EXPECT_EQ(driver, 0x00021204u) << "default driver version";

    LoadScenario(R"({"device_count": 3, "devices":[{"serial":"A"},{"serial":"B"}]})");
    char serial[16];
    EXPECT_EQ(Count(), 3u);
    EXPECT_EQ(FT_ListDevices(ValueArgument(1), serial, kBySerial), FT_OK);
    EXPECT_EQ(FT_ListDevices(ValueArgument(2), serial, kBySerial), FT_DEVICE_NOT_FOUND);
}

struct BrokenScenario {
    const char* name;
    const char* json;
    const char* fault;  // must appear in the reported fault
    friend void PrintTo(const BrokenScenario& c, std::ostream* out) { *out << c.name; }
};

class SimBrokenScenario : public testing::TestWithParam<BrokenScenario> {};

TEST_P(SimBrokenScenario, IsReportedOnOneLineEveryCallFailsUntilAGoodLoad) {
    testing::internal::CaptureStderr();
    EXPECT_NE(TorvaneSim_LoadScenarioText(GetParam().json), 0);
    const std::string fault = TorvaneSim_LastError();
    EXPECT_NE(fault.find(GetParam().fault), std::string::npos) << fault;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "torvane-sim: scenario text: " + fault + "\n");

    std::uint32_t count = 77, version = 77;
    std::int32_t port = 77;
    char buffer[20] = "untouched";
    FT_HANDLE handle = nullptr;
    Record record;
    EXPECT_EQ(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OTHER_ERROR);
    EXPECT_EQ(FT_ListDevices(ValueArgument(0), buffer, kBySerial), FT_OTHER_ERROR);
    EXPECT_EQ(FT_OpenEx(buffer, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OTHER_ERROR);
    EXPECT_EQ(FT_Close(handle), FT_OTHER_ERROR);
    EXPECT_EQ(FT_EE_Read(handle, &record.data), FT_OTHER_ERROR);
    EXPECT_EQ(FT_GetDriverVersion(handle, &version), FT_OTHER_ERROR);
    EXPECT_EQ(FT_GetLibraryVersion(&version), FT_OTHER_ERROR);
    EXPECT_EQ(FT_GetComPortNumber(handle, &port), FT_OTHER_ERROR);
    EXPECT_EQ(count + version + static_cast<std::uint32_t>(port), 3 * 77u);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(record.description[0], '#');
    EXPECT_EQ(LogLines().size(), 8u);

    LoadScenario(R"({"devices":[{"serial":"A"}]})");
    EXPECT_STREQ(TorvaneSim_LastError(), "");
    EXPECT_EQ(Count(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimBrokenScenario,
    testing::Values(
        BrokenScenario{"NotJson", "{devices:", "parse error"},
        BrokenScenario{"TopIsArray", "[]", "scenario: expected an object"},
        BrokenScenario{"UnknownField", R"({"devices":[{"serial":"a","seria":"b"}]})", "devices[0]: unknown field \"seria\""},
        BrokenScenario{"MissingSerial", R"({"devices":[{}]})", "devices[0]: missing field \"serial\""},
        BrokenScenario{"DescriptionOf64", R"({"devices":[{"serial":"a","description":"0123456789012345678901234567890123456789012345678901234567890123"}]})",
                       "devices[0].description: longer than 63 bytes"},
        BrokenScenario{"ZeroByte", R"({"devices":[{"serial":"a\u0000b"}]})", "devices[0].serial: contains a zero byte"},
        BrokenScenario{"PortAsText", R"({"devices":[{"serial":"a","com_port":"3"}]})", "devices[0].com_port: expected an integer"},
        BrokenScenario{"PortTooLarge", R"({"devices":[{"serial":"a","com_port":2147483648}]})", "com_port: out of range"},
        BrokenScenario{"VersionTooLong", R"({"library_version":"0x123456789"})", "library_version: expected a number or"},
        BrokenScenario{"VersionNegative", R"({"library_version":-1})", "library_version: out of range"},
        BrokenScenario{"UnknownWriteMode", R"({"serial_write":"spill"})", "serial_write: expected \"fill\" or \"overrun\""},
        BrokenScenario{"UnknownFunction", R"({"fail":{"FT_ListDevices":3}})", "fail.FT_ListDevices: unknown function"},
        BrokenScenario{"CountPerDevice", R"({"devices":[{"serial":"a","fail":{"FT_ListDevices.count":4}}]})",
                       "devices[0].fail.FT_ListDevices.count: cannot fail for one device only"},
        BrokenScenario{"RuleWithoutStatus", R"({"fail":{"FT_Close":{"times":1}}})", "fail.FT_Close: missing field \"status\""},
        BrokenScenario{"RuleNegativeSkip", R"({"fail":{"FT_Close":{"status":1,"skip":-1}}})", "fail.FT_Close.skip: out of range"}),
    CaseName<BrokenScenario>);

// Files that are not a scenario fail the load at once, with one line naming
// the file and the fault, and leave the library in the failed state.
TEST(SimScenario, FilesThatAreNotAScenarioNameTheFileAndTheFault) {
    TempFile malformed(R"({"devices":[{"serial":"a","com_port":"x"}]})", "-malformed");
    TempFile trailing(std::string(R"({"devices":[]})") + '\0' + R"({"devices":[{"serial":"a"}]})", "-trailing");
    TempFile large(std::string(1024 * 1024 - 14, ' ') + R"({"devices":[]})" + " ", "-large");
    std::vector<std::pair<std::string, std::string>> cases = {
        {"/nonexistent/torvane.json", "cannot read the scenario file"},
        {malformed.path.string(), "devices[0].com_port: expected an integer"},
        {trailing.path.string(), "a zero byte at offset 14"},
        {large.path.string(), "larger than 1048576 bytes (the scenario file limit)"},
        {std::filesystem::temp_directory_path().string(), "not a regular file"},
    };
#if !defined(_WIN32)
    cases.emplace_back("/dev/zero", "not a regular file");
#endif
    for (const auto& [path, fault] : cases) {
        testing::internal::CaptureStderr();
        EXPECT_NE(TorvaneSim_LoadScenarioFile(path.c_str()), 0) << path;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "torvane-sim: " + path + ": " + fault + "\n");
        EXPECT_EQ(TorvaneSim_LastError(), fault);
        EXPECT_EQ(Count(), 0xDEADu) << "the failed state: nothing written";
    }
}

#if !defined(_WIN32)
// A FIFO named as the scenario is refused without waiting for a writer; should
// the load block after all, opening the FIFO for writing releases it.
TEST(SimScenario, AFifoIsRefusedWithoutBlocking) {
    const auto fifo = std::filesystem::temp_directory_path() / "torvane-sim-fifo";
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    testing::internal::CaptureStderr();
    auto load = std::async(std::launch::async, [&] { return TorvaneSim_LoadScenarioFile(fifo.c_str()); });
    if (load.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        ADD_FAILURE() << "the load blocked on the FIFO";
        if (writer >= 0) close(writer);
    }
    EXPECT_NE(load.get(), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_STREQ(TorvaneSim_LastError(), "not a regular file");
    std::filesystem::remove(fifo);
}
#endif

TEST(SimScenario, EnvironmentNamesTheScenarioAndUnsetOrEmptyMeansTheDemo) {
    TempFile file(R"({"devices":[{"serial":"ENV1"},{"serial":"ENV2"}]})");
    SetEnv("TORVANE_SIM", file.path.string().c_str());
    EXPECT_EQ(TorvaneSim_LoadFromEnvironment(), 0);
    EXPECT_EQ(Count(), 2u);
    SetEnv("TORVANE_SIM", nullptr);
    EXPECT_EQ(TorvaneSim_LoadFromEnvironment(), 0);
    EXPECT_EQ(Count(), 3u);
}

// The scenario is read at the library's first use; a fresh process shows it.
TEST(SimScenarioDeathTest, FirstCallLoadsTheNamedScenarioOrFailsWithOneLine) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempFile file(R"({"devices":[{"serial":"a"},{"serial":"b"},{"serial":"c"},{"serial":"d"}]})");
    SetEnv("TORVANE_SIM", file.path.string().c_str());
    EXPECT_EXIT(std::exit(static_cast<int>(Count())), testing::ExitedWithCode(4), "");
    std::ofstream(file.path) << "{";
    EXPECT_EXIT(
        {
            std::uint32_t version = 0;
            std::exit(Count() == 0xDEAD && FT_GetLibraryVersion(&version) == FT_OTHER_ERROR ? 3 : 1);
        },
        testing::ExitedWithCode(3),
        // Only the file's name: a Windows path's backslashes would be regex escapes.
        "torvane-sim: .*" + file.path.filename().string() + ": .*parse error");
    SetEnv("TORVANE_SIM", nullptr);
}

// ---- the calls --------------------------------------------------------------------

const char* const kTwoDevices = R"({
  "library_version": "0x00020C0A",
  "devices": [
    {"serial": "FT0A1", "description": "COM_A", "com_port": 3, "driver_version": 132100,
     "manufacturer": "ACME", "manufacturer_id": "AC", "vendor_id": 1027, "product_id": 24596,
     "max_power": 100, "pnp": 0, "self_powered": 1, "remote_wakeup": 0, "type": 8, "latency_timer": 2},
    {"serial": "a\"b\\c", "description": "Zażółć\ttab", "com_port": -1, "location": "0x2141"}
  ]})";

class SimCalls : public testing::Test {
protected:
    void SetUp() override { LoadScenario(kTwoDevices); }
};

TEST_F(SimCalls, EveryCallIsLoggedWithInputsStatusAndOutputs) {
    std::uint32_t count = 0, version = 0, driver = 0, location = 0, flags = 0, type = 0, id = 0;
    std::int32_t port = 0;
    std::uint8_t latency = 0;
    char text[64], serial[16];
    FT_HANDLE handle = nullptr, other = nullptr, holder = nullptr;
    Record record;
    FT_Close(nullptr);
    FT_GetLibraryVersion(&version);
    FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
    FT_ListDevices(ValueArgument(1), text, kBySerial);
    FT_ListDevices(ValueArgument(1), text, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
    FT_ListDevices(text, nullptr, FT_LIST_ALL | FT_OPEN_BY_SERIAL_NUMBER);
    FT_OpenEx(const_cast<char*>("FT0A1"), FT_OPEN_BY_SERIAL_NUMBER, &handle);
    FT_CreateDeviceInfoList(&count);
    for (std::uint32_t index : {0, 1, 2})
        FT_GetDeviceInfoDetail(index, &flags, &type, &id, &location, serial, text, &holder);
    FT_ListDevices(ValueArgument(1), &location, kLocationByIndex);
    FT_OpenEx(ValueArgument(0x1234), FT_OPEN_BY_LOCATION, &other);
    FT_OpenEx(ValueArgument(location), FT_OPEN_BY_LOCATION, &other);
    FT_OpenEx(ValueArgument(location), 0x8, &other);
    FT_EE_Read(handle, &record.data);
    FT_GetDriverVersion(handle, &driver);
    FT_GetComPortNumber(handle, &port);
    FT_GetLatencyTimer(handle, &latency);
    FT_SetLatencyTimer(handle, 0);
    FT_SetLatencyTimer(handle, 1);
    FT_GetLatencyTimer(handle, &latency);
    FT_GetLatencyTimer(other, &latency);
    FT_Close(handle);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "FT_Close(0x0) -> 1",
                              "FT_GetLibraryVersion() -> 0 version=0x00020C0A",
                              "FT_ListDevices(0x80000000) -> 0 count=2",
                              R"(FT_ListDevices(1,0x40000001) -> 0 serial="a\"b\\c")",
                              R"(FT_ListDevices(1,0x40000002) -> 0 description="Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\x09tab")",
                              "FT_ListDevices(0x20000001) -> 6",
                              "FT_OpenEx(\"FT0A1\",0x1) -> 0 handle=0x1",
                              "FT_CreateDeviceInfoList() -> 0 count=2",
                              "FT_GetDeviceInfoDetail(0) -> 0 flags=0x3 type=8 id=0x04036014 location=0x00001001 "
                              "serial=\"FT0A1\" description=\"COM_A\" handle=0x1",
                              R"(FT_GetDeviceInfoDetail(1) -> 0 flags=0x0 type=5 id=0x04036001 location=0x00002141 )"
                              R"(serial="a\"b\\c" description="Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\x09tab" handle=0x0)",
                              "FT_GetDeviceInfoDetail(2) -> 2",
                              "FT_ListDevices(1,0x40000004) -> 0 location=0x00002141",
                              "FT_OpenEx(0x00001234,0x4) -> 2",
                              "FT_OpenEx(0x00002141,0x4) -> 0 handle=0x2",
                              "FT_OpenEx(0x8) -> 6",
                              "FT_EE_Read(0x1) -> 0 description=\"COM_A\"",
                              "FT_GetDriverVersion(0x1) -> 0 version=0x00020404",
                              "FT_GetComPortNumber(0x1) -> 0 port=3",
                              "FT_GetLatencyTimer(0x1) -> 0 latency=2",
                              "FT_SetLatencyTimer(0x1) -> 6",
                              "FT_SetLatencyTimer(0x1) -> 0 latency=1",
                              "FT_GetLatencyTimer(0x1) -> 0 latency=1",
                              "FT_GetLatencyTimer(0x2) -> 0 latency=16",
                              "FT_Close(0x1) -> 0",
                          }));
    TorvaneSim_ClearCallLog();
    EXPECT_STREQ(TorvaneSim_CallLog(), "");
}

TEST_F(SimCalls, NullPointersAreRefused) {
    FT_HANDLE handle = Open("FT0A1");
    EXPECT_EQ(FT_ListDevices(nullptr, nullptr, FT_LIST_NUMBER_ONLY), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_ListDevices(ValueArgument(0), nullptr, kBySerial), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_ListDevices(ValueArgument(0), nullptr, kLocationByIndex), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_OpenEx(nullptr, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_OpenEx(ValueArgument(0x2141), FT_OPEN_BY_LOCATION, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_EE_Read(handle, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_GetDriverVersion(handle, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_GetLibraryVersion(nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_GetComPortNumber(handle, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 1);
}

TEST_F(SimCalls, EepromReadWritesTextsAndOnlyTheFieldsOfTheRecordsVersion) {
    Record v0(0), v1(1), v2(2);
    const FT_HANDLE handle = Open("FT0A1");
    for (Record* record : {&v0, &v1, &v2}) ASSERT_EQ(FT_EE_Read(handle, &record->data), FT_OK);
    EXPECT_STREQ(v2.manufacturer, "ACME");
    EXPECT_STREQ(v2.manufacturerId, "AC");
    EXPECT_STREQ(v2.description, "COM_A");
    EXPECT_STREQ(v2.serial, "FT0A1");
    EXPECT_EQ(v2.description[6], '#') << "wrote past the terminator";
    EXPECT_EQ((std::vector<int>{v2.data.VendorId, v2.data.ProductId, v2.data.MaxPower, v2.data.PnP,
                                v2.data.SelfPowered, v2.data.RemoteWakeup}),
              (std::vector<int>{1027, 24596, 100, 0, 1, 0}));
    EXPECT_EQ(v2.data.EndPointSize, 64);
    EXPECT_EQ(v1.data.USBVersion, 0x0200);
    EXPECT_EQ(v1.data.UseExtOsc, 0xAB);
    EXPECT_EQ(v0.data.Rev4, 0xAB);
    EXPECT_EQ(v0.data.RIsD2XX, 0xAB);
}

TEST_F(SimCalls, BadRecordIsRefusedWithoutWritingAnything) {
    const std::function<void(FT_PROGRAM_DATA&)> spoilers[] = {
        [](FT_PROGRAM_DATA& d) { d.Signature1 = 1; }, [](FT_PROGRAM_DATA& d) { d.Signature2 = 0; },
        [](FT_PROGRAM_DATA& d) { d.Version = 3; }, [](FT_PROGRAM_DATA& d) { d.Description = nullptr; },
        [](FT_PROGRAM_DATA& d) { d.SerialNumber = nullptr; }};
    const FT_HANDLE handle = Open("FT0A1");
    for (const auto& spoil : spoilers) {
        Record record;
        spoil(record.data);
        EXPECT_EQ(FT_EE_Read(handle, &record.data), FT_INVALID_PARAMETER);
        EXPECT_EQ(record.manufacturer[0], '#');
        EXPECT_EQ(record.data.VendorId, 0xABAB);
    }
}

TEST_F(SimCalls, DeviceIsOpenUnderOneHandleAtATime) {
    FT_HANDLE first = Open("FT0A1"), second = nullptr;
    EXPECT_EQ(FT_OpenEx(const_cast<char*>("FT0A1"), FT_OPEN_BY_SERIAL_NUMBER, &second), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(FT_OpenEx(const_cast<char*>("COM_A"), FT_OPEN_BY_DESCRIPTION, &second), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(FT_OpenEx(const_cast<char*>("FT0A"), FT_OPEN_BY_SERIAL_NUMBER, &second), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(FT_Close(first), FT_OK);
    EXPECT_EQ(FT_OpenEx(const_cast<char*>("COM_A"), FT_OPEN_BY_DESCRIPTION, &second), FT_OK);
    EXPECT_EQ(second, HandleValue(2)) << "handle values are not reused";
}

TEST_F(SimCalls, ClosedStaleForeignAndNullHandlesAreInvalidNeverFatal) {
    const FT_HANDLE closed = Open("FT0A1");
    ASSERT_EQ(FT_Close(closed), FT_OK);
    const FT_HANDLE stale = Open("FT0A1");
    LoadScenario(kTwoDevices);  // forgets every handle, like unplugging everything
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 0);
    for (FT_HANDLE handle : {closed, stale, HandleValue(0xBADC0DE), HandleValue(0)}) {
        Record record;
        std::uint32_t driver = 5;
        std::int32_t port = 5;
        EXPECT_EQ(FT_Close(handle), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_EE_Read(handle, &record.data), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_GetDriverVersion(handle, &driver), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_GetComPortNumber(handle, &port), FT_INVALID_HANDLE);
        EXPECT_EQ(driver + static_cast<std::uint32_t>(port), 10u);
        EXPECT_EQ(record.description[0], '#');
    }
    EXPECT_EQ(Open("FT0A1"), HandleValue(1)) << "numbering restarts with every load";
}

TEST(SimThreads, ConcurrentCallsAreSerialisedAndAllLogged) {
    LoadScenario(R"({"devices":[{"serial":"A"},{"serial":"B"}]})");
    auto openAndClose = [](const char* serial) {
        for (int i = 0; i < 200; ++i) FT_Close(Open(serial));
    };
    std::thread a(openAndClose, "A"), b(openAndClose, "B");
    a.join();
    b.join();
    EXPECT_EQ(LogLines().size(), 800u);
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 0);
}

// ---- serial write modes -------------------------------------------------------------

struct SerialCase {
    const char* name;
    const char* scenario;
    std::string written;  // what lands in a buffer pre-filled with '#'
    friend void PrintTo(const SerialCase& c, std::ostream* out) { *out << c.name; }
};

class SimSerialWrite : public testing::TestWithParam<SerialCase> {};

TEST_P(SimSerialWrite, ListingAndEepromReadWriteTheSameBytesAndTheListedFormOpens) {
    LoadScenario(GetParam().scenario);
    const std::string& written = GetParam().written;
    char listed[32];
    std::memset(listed, '#', sizeof listed);
    ASSERT_EQ(FT_ListDevices(ValueArgument(0), listed, kBySerial), FT_OK);
    EXPECT_EQ(std::string(listed, written.size() + 1), written + "#");
    const std::string text(listed, std::find(listed, listed + 16, '\0'));
    EXPECT_EQ(LogLines().back(), "FT_ListDevices(0,0x40000001) -> 0 serial=\"" + text + "\"");
    Record record;
    ASSERT_EQ(FT_EE_Read(Open(text), &record.data), FT_OK);
    EXPECT_EQ(std::string(record.serial, written.size() + 1), written + "#");
}

const std::string k16 = "ABCDEFGHIJKLMNOP";
const std::string kZero(1, '\0');

INSTANTIATE_TEST_SUITE_P(
    Modes, SimSerialWrite,
    testing::Values(
        SerialCase{"ShortIsTerminated", R"({"devices":[{"serial":"FT12"}]})", "FT12" + kZero},
        SerialCase{"FifteenIsTerminated", R"({"devices":[{"serial":"ABCDEFGHIJKLMNO"}]})", k16.substr(0, 15) + kZero},
        SerialCase{"SixteenFillsWithoutTerminator", R"({"devices":[{"serial":"ABCDEFGHIJKLMNOP"}]})", k16},
        SerialCase{"LongerIsCutToSixteen", R"({"devices":[{"serial":"ABCDEFGHIJKLMNOPQRST"}]})", k16},
        SerialCase{"OverrunAddsA17thByte", R"({"serial_write":"overrun","devices":[{"serial":"ABCDEFGHIJKLMNOP"}]})", k16 + kZero},
        SerialCase{"OverrunOfLongerSerial", R"({"serial_write":"overrun","devices":[{"serial":"ABCDEFGHIJKLMNOPQRST"}]})", k16 + kZero},
        SerialCase{"OverrunLeavesShortAlone", R"({"serial_write":"overrun","devices":[{"serial":"FT12"}]})", "FT12" + kZero},
        SerialCase{"DeviceOverridesScenario",
                   R"({"serial_write":"overrun","devices":[{"serial":"ABCDEFGHIJKLMNOP","serial_write":"fill"}]})", k16}),
    CaseName<SerialCase>);

// ---- injected statuses --------------------------------------------------------------

// A call of the refresh on device D0. Calls that need an open device get a
// handle of D0 that the test keeps open.
struct Injection {
    const char* name;  // the scenario's key
    bool perDevice;
    bool needsOpen;
    std::function<FT_STATUS(FT_HANDLE)> call;
    friend void PrintTo(const Injection& c, std::ostream* out) { *out << c.name; }
};

const Injection kInjections[] = {
    {"FT_ListDevices.count", false, false,
     [](FT_HANDLE) {
         std::uint32_t count = 0;
         return FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
     }},
    {"FT_ListDevices.index", true, false,
     [](FT_HANDLE) {
         char serial[16];
         return FT_ListDevices(ValueArgument(0), serial, kBySerial);
     }},
    {"FT_ListDevices.location", true, false,
     [](FT_HANDLE) {
         std::uint32_t location = 0;
         return FT_ListDevices(ValueArgument(0), &location, kLocationByIndex);
     }},
    {"FT_OpenEx.location", true, false,
     [](FT_HANDLE) {
         // D0's location when the scenario names none.
         FT_HANDLE handle = nullptr;
         const FT_STATUS status = FT_OpenEx(ValueArgument(0x1001), FT_OPEN_BY_LOCATION, &handle);
         if (status == FT_OK) FT_Close(handle);
         return status;
     }},
    {"FT_OpenEx", true, false,
     [](FT_HANDLE) {
         FT_HANDLE handle = nullptr;
         const FT_STATUS status = FT_OpenEx(const_cast<char*>("D0"), FT_OPEN_BY_SERIAL_NUMBER, &handle);
         if (status == FT_OK) FT_Close(handle);
         return status;
     }},
    {"FT_Close", true, true, [](FT_HANDLE handle) { return FT_Close(handle); }},
    {"FT_EE_Read", true, true,
     [](FT_HANDLE handle) {
         Record record;
         return FT_EE_Read(handle, &record.data);
     }},
    {"FT_GetDriverVersion", true, true,
     [](FT_HANDLE handle) {
         std::uint32_t version = 0;
         return FT_GetDriverVersion(handle, &version);
     }},
    {"FT_GetLibraryVersion", false, false,
     [](FT_HANDLE) {
         std::uint32_t version = 0;
         return FT_GetLibraryVersion(&version);
     }},
    {"FT_GetComPortNumber", true, true,
     [](FT_HANDLE handle) {
         std::int32_t port = 0;
         return FT_GetComPortNumber(handle, &port);
     }},
    {"FT_CreateDeviceInfoList", false, false,
     [](FT_HANDLE) {
         std::uint32_t count = 0;
         return FT_CreateDeviceInfoList(&count);
     }},
    {"FT_GetDeviceInfoDetail", true, false,
     [](FT_HANDLE) {
         std::uint32_t word = 0;
         char serial[16], description[64];
         FT_HANDLE holder = nullptr;
         return FT_GetDeviceInfoDetail(0, &word, &word, &word, &word, serial, description, &holder);
     }},
    {"FT_GetLatencyTimer", true, true,
     [](FT_HANDLE handle) {
         std::uint8_t latency = 0;
         return FT_GetLatencyTimer(handle, &latency);
     }},
    {"FT_SetLatencyTimer", true, true, [](FT_HANDLE handle) { return FT_SetLatencyTimer(handle, 1); }},
};

class SimInjection : public testing::TestWithParam<Injection> {
protected:
    // Two devices; the arguments are the members of the global, D0's and D1's "fail".
    void Load(const std::string& global, const std::string& d0, const std::string& d1) {
        LoadScenario(R"({"fail":{)" + global + R"(},"devices":[{"serial":"D0","fail":{)" + d0 +
                     R"(}},{"serial":"D1","fail":{)" + d1 + "}}]}");
        d0_ = nullptr;
    }
    std::string Rule(const std::string& value) const { return "\"" + std::string(GetParam().name) + "\":" + value; }
    FT_STATUS CallOnce() {
        if (GetParam().needsOpen && d0_ == nullptr) d0_ = Open("D0");
        const FT_STATUS status = GetParam().call(d0_);
        if (std::string(GetParam().name) == "FT_Close" && status == FT_OK) d0_ = nullptr;
        return status;
    }
    FT_HANDLE d0_ = nullptr;
};

TEST_P(SimInjection, GlobalStatusIsReturnedAsGivenAndLoggedWithoutOutputs) {
    for (const FT_STATUS status : std::vector<FT_STATUS>{FT_IO_ERROR, FT_OTHER_ERROR, 0x80000000u, 0xFFFFFFFFu}) {
        Load(Rule(std::to_string(status)), "", "");
        EXPECT_EQ(CallOnce(), status);
        EXPECT_EQ(CallOnce(), status);
        const std::string last = LogLines().back();
        EXPECT_EQ(last.substr(last.rfind(") -> ")), ") -> " + std::to_string(status)) << "no outputs";
    }
}

TEST_P(SimInjection, SkipAndTimesChooseWhichCallsFail) {
    Load(Rule(R"({"status":4,"skip":1,"times":2})"), "", "");
    std::vector<FT_STATUS> statuses;
    for (int i = 0; i < 4; ++i) statuses.push_back(CallOnce());
    EXPECT_EQ(statuses, (std::vector<FT_STATUS>{FT_OK, FT_IO_ERROR, FT_IO_ERROR, FT_OK}));
}

using SimDeviceInjection = SimInjection;

TEST_P(SimDeviceInjection, DeviceStatusHitsOnlyThatDevice) {
    Load("", "", Rule("11"));
    EXPECT_EQ(CallOnce(), FT_OK) << "device D1's rule must not touch D0";
    Load("", Rule("11"), "");
    EXPECT_EQ(CallOnce(), FT_EEPROM_READ_FAILED);
}

std::string InjectionName(const testing::TestParamInfo<Injection>& info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '.', '_');
    return name;
}

std::vector<Injection> PerDevice() {
    std::vector<Injection> chosen;
    std::copy_if(std::begin(kInjections), std::end(kInjections), std::back_inserter(chosen),
                 [](const Injection& injection) { return injection.perDevice; });
    return chosen;
}

INSTANTIATE_TEST_SUITE_P(Functions, SimInjection, testing::ValuesIn(kInjections), InjectionName);
INSTANTIATE_TEST_SUITE_P(Functions, SimDeviceInjection, testing::ValuesIn(PerDevice()), InjectionName);

TEST(SimInjectionEffect, FailedCloseLeavesTheDeviceOpen) {
    LoadScenario(R"({"devices":[{"serial":"D0","fail":{"FT_Close":{"status":4,"times":1}}}]})");
    const FT_HANDLE handle = Open("D0");
    FT_HANDLE again = nullptr;
    EXPECT_EQ(FT_Close(handle), FT_IO_ERROR);
    EXPECT_EQ(FT_OpenEx(const_cast<char*>("D0"), FT_OPEN_BY_SERIAL_NUMBER, &again), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(FT_Close(handle), FT_OK);
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 0);
}

}  // namespace
