// The simulated vendor library's scenarios: the built-in demo, loading from a
// file and from TORVANE_SIM, and the handling of broken scenarios.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "d2xx/ftd2xx_abi.h"
#include "sim_fixture.h"

namespace {

using d2xx_test::LoadScenario;
using d2xx_test::LogLines;

std::uint32_t CountDevices() {
    std::uint32_t count = 0xDEAD;
    EXPECT_EQ(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    return count;
}

std::string ListedSerial(std::uint32_t index) {
    char buffer[32] = {};
    const FT_STATUS status =
        FT_ListDevices(reinterpret_cast<void*>(static_cast<std::uintptr_t>(index)), buffer,
                       FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
    return status == FT_OK ? std::string(buffer) : "status " + std::to_string(status);
}

// A scratch file removed at the end of the test, named after the test so that
// a death test's re-executed child names the same file.
class TempFile {
public:
    explicit TempFile(const std::string& content)
        : path_(std::filesystem::temp_directory_path() /
                (std::string("torvane-sim-") +
                 testing::UnitTest::GetInstance()->current_test_info()->name() + ".json")) {
        std::ofstream(path_) << content;
    }
    ~TempFile() { std::filesystem::remove(path_); }
    std::string Path() const { return path_.string(); }
    std::string FileName() const { return path_.filename().string(); }

private:
    std::filesystem::path path_;
};

void SetEnv(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value ? value : "");  // an empty value removes the variable
#else
    if (value) setenv(name, value, 1);
    else unsetenv(name);
#endif
}

// Sets or unsets an environment variable for the span of a test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        SetEnv(name, value);
    }
    ~ScopedEnv() { SetEnv(name_, old_.empty() ? nullptr : old_.c_str()); }

private:
    const char* name_;
    std::string old_;
};

TEST(SimDemo, ListsThreeConvertersOneDecoratedOneWithoutPort) {
    TorvaneSim_UseBuiltInDemo();
    EXPECT_STREQ(TorvaneSim_LastError(), "");
    ASSERT_EQ(CountDevices(), 3u);
    std::vector<std::string> descriptions;
    std::vector<std::int32_t> ports;
    for (std::uint32_t i = 0; i < 3; ++i) {
        const std::string serial = ListedSerial(i);
        FT_HANDLE handle = nullptr;
        ASSERT_EQ(FT_OpenEx(const_cast<char*>(serial.c_str()), FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
        char manufacturer[64], id[16], description[64], eeSerial[32];
        FT_PROGRAM_DATA data{};
        data.Signature2 = 0xFFFFFFFF;
        data.Version = 2;
        data.Manufacturer = manufacturer;
        data.ManufacturerId = id;
        data.Description = description;
        data.SerialNumber = eeSerial;
        ASSERT_EQ(FT_EE_Read(handle, &data), FT_OK);
        EXPECT_EQ(std::string(eeSerial), serial);
        descriptions.push_back(description);
        std::int32_t port = 0;
        ASSERT_EQ(FT_GetComPortNumber(handle, &port), FT_OK);
        ports.push_back(port);
        EXPECT_EQ(FT_Close(handle), FT_OK);
    }
    EXPECT_EQ(descriptions[1], "COM_B");
    EXPECT_EQ(std::count(ports.begin(), ports.end(), -1), 1);
    std::uint32_t version = 0;
    EXPECT_EQ(FT_GetLibraryVersion(&version), FT_OK);
    EXPECT_EQ(version, 0x00030115u);
}

TEST(SimScenario, DocumentedExampleLoadsAndPlaysItsDevices) {
    EXPECT_EQ(TorvaneSim_LoadScenarioFile(TORVANE_SIM_EXAMPLE_SCENARIO), 0) << TorvaneSim_LastError();
    EXPECT_EQ(CountDevices(), 4u);
    EXPECT_EQ(ListedSerial(0), "FT0A1");
    std::uint32_t version = 0;
    EXPECT_EQ(FT_GetLibraryVersion(&version), FT_OK);
    EXPECT_EQ(version, 0x00030115u);
}

TEST(SimScenario, DefaultsFillEveryOmittedField) {
    LoadScenario(R"({"devices":[{"serial":"S1"}]})");
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(FT_OpenEx(const_cast<char*>("S1"), FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
    std::uint32_t driver = 0, library = 0;
    std::int32_t port = 0;
    EXPECT_EQ(FT_GetDriverVersion(handle, &driver), FT_OK);
    EXPECT_EQ(FT_GetLibraryVersion(&library), FT_OK);
    EXPECT_EQ(FT_GetComPortNumber(handle, &port), FT_OK);
    EXPECT_EQ(driver, 0x00021204u);
    EXPECT_EQ(library, 0x00030115u);
    EXPECT_EQ(port, -1);
}

TEST(SimScenario, VersionsAcceptNumbersAndHexTexts) {
    LoadScenario(R"({"library_version": 197909,
                     "devices":[{"serial":"S","driver_version":"0xFFFFFFFF"}]})");
    std::uint32_t library = 0, driver = 0;
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(FT_OpenEx(const_cast<char*>("S"), FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
    EXPECT_EQ(FT_GetLibraryVersion(&library), FT_OK);
    EXPECT_EQ(FT_GetDriverVersion(handle, &driver), FT_OK);
    EXPECT_EQ(library, 197909u);
    EXPECT_EQ(driver, 0xFFFFFFFFu);
}

TEST(SimScenario, ReportedCountMayExceedTheDevicesDescribed) {
    LoadScenario(R"({"device_count": 3, "devices":[{"serial":"A"},{"serial":"B"}]})");
    EXPECT_EQ(CountDevices(), 3u);
    EXPECT_EQ(ListedSerial(1), "B");
    EXPECT_EQ(ListedSerial(2), "status 2");
    EXPECT_EQ(ListedSerial(3), "status 2");
}

TEST(SimScenario, ReportedCountBelowTheDevicesHidesTheRest) {
    LoadScenario(R"({"device_count": 1, "devices":[{"serial":"A"},{"serial":"B"}]})");
    EXPECT_EQ(CountDevices(), 1u);
    EXPECT_EQ(ListedSerial(1), "status 2");
}

struct BrokenScenario {
    const char* name;
    const char* json;
    const char* fault;  // must appear in the reported fault
};

void PrintTo(const BrokenScenario& value, std::ostream* out) { *out << value.name; }

class SimBrokenScenario : public testing::TestWithParam<BrokenScenario> {};

TEST_P(SimBrokenScenario, IsReportedOnOneLineAndEveryCallFails) {
    const BrokenScenario& broken = GetParam();
    testing::internal::CaptureStderr();
    EXPECT_NE(TorvaneSim_LoadScenarioText(broken.json), 0);
    const std::string stderrText = testing::internal::GetCapturedStderr();
    const std::string fault = TorvaneSim_LastError();
    EXPECT_NE(fault.find(broken.fault), std::string::npos) << fault;
    EXPECT_EQ(stderrText, "torvane-sim: scenario text: " + fault + "\n");

    std::uint32_t count = 77, version = 77;
    std::int32_t port = 77;
    char buffer[20] = "untouched";
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OTHER_ERROR);
    EXPECT_EQ(FT_ListDevices(nullptr, buffer, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
              FT_OTHER_ERROR);
    EXPECT_EQ(FT_OpenEx(buffer, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OTHER_ERROR);
    EXPECT_EQ(FT_Close(handle), FT_OTHER_ERROR);
    EXPECT_EQ(FT_EE_Read(handle, nullptr), FT_OTHER_ERROR);
    EXPECT_EQ(FT_GetDriverVersion(handle, &version), FT_OTHER_ERROR);
    EXPECT_EQ(FT_GetLibraryVersion(&version), FT_OTHER_ERROR);
    EXPECT_EQ(FT_GetComPortNumber(handle, &port), FT_OTHER_ERROR);
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(version, 77u);
    EXPECT_EQ(port, 77);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(LogLines().size(), 8u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimBrokenScenario,
    testing::Values(
        BrokenScenario{"NotJson", "{devices:", "parse error"},
        BrokenScenario{"Empty", "", "parse error"},
        BrokenScenario{"TopIsArray", "[]", "scenario: expected an object"},
        BrokenScenario{"UnknownTopField", R"({"devics":[]})", "unknown field \"devics\""},
        BrokenScenario{"DevicesNotArray", R"({"devices":{}})", "devices: expected an array"},
        BrokenScenario{"DeviceNotObject", R"({"devices":[1]})", "devices[0]: expected an object"},
        BrokenScenario{"MissingSerial", R"({"devices":[{"description":"x"}]})",
                       "devices[0]: missing field \"serial\""},
        BrokenScenario{"UnknownDeviceField", R"({"devices":[{"serial":"a","seria":"b"}]})",
                       "devices[0]: unknown field \"seria\""},
        BrokenScenario{"DescriptionOf64",
                       R"({"devices":[{"serial":"a","description":"0123456789012345678901234567890123456789012345678901234567890123"}]})",
                       "devices[0].description: longer than 63 bytes"},
        BrokenScenario{"ManufacturerIdOf16",
                       R"({"devices":[{"serial":"a","manufacturer_id":"0123456789012345"}]})",
                       "manufacturer_id: longer than 15 bytes"},
        BrokenScenario{"ZeroByteInSerial", R"({"devices":[{"serial":"a\u0000b"}]})",
                       "devices[0].serial: contains a zero byte"},
        BrokenScenario{"PortAsText", R"({"devices":[{"serial":"a","com_port":"3"}]})",
                       "devices[0].com_port: expected an integer"},
        BrokenScenario{"PortOutOfRange", R"({"devices":[{"serial":"a","com_port":2147483648}]})",
                       "com_port: out of range"},
        BrokenScenario{"VersionTooLong", R"({"library_version":"0x123456789"})",
                       "library_version: expected a number or"},
        BrokenScenario{"VersionNegative", R"({"library_version":-1})",
                       "library_version: out of range"},
        BrokenScenario{"VersionFraction", R"({"library_version":1.5})",
                       "library_version: expected an integer"},
        BrokenScenario{"VendorIdTooLarge", R"({"devices":[{"serial":"a","vendor_id":65536}]})",
                       "vendor_id: out of range"},
        BrokenScenario{"UnknownWriteMode", R"({"serial_write":"spill"})",
                       "serial_write: expected \"fill\" or \"overrun\""},
        BrokenScenario{"UnknownFunction", R"({"fail":{"FT_Opne":3}})", "fail.FT_Opne: unknown function"},
        BrokenScenario{"PlainListDevices", R"({"fail":{"FT_ListDevices":3}})", "unknown function"},
        BrokenScenario{"CountFailsPerDevice",
                       R"({"devices":[{"serial":"a","fail":{"FT_ListDevices.count":4}}]})",
                       "devices[0].fail.FT_ListDevices.count: cannot fail for one device only"},
        BrokenScenario{"LibraryVersionPerDevice",
                       R"({"devices":[{"serial":"a","fail":{"FT_GetLibraryVersion":4}}]})",
                       "cannot fail for one device only"},
        BrokenScenario{"RuleWithoutStatus", R"({"fail":{"FT_Close":{"times":1}}})",
                       "fail.FT_Close: missing field \"status\""},
        BrokenScenario{"RuleUnknownField", R"({"fail":{"FT_Close":{"status":1,"count":1}}})",
                       "unknown field \"count\""},
        BrokenScenario{"RuleNegativeSkip", R"({"fail":{"FT_Close":{"status":1,"skip":-1}}})",
                       "fail.FT_Close.skip: out of range"},
        BrokenScenario{"FailNotObject", R"({"fail":[]})", "fail: expected an object"}),
    [](const testing::TestParamInfo<BrokenScenario>& info) { return std::string(info.param.name); });

TEST(SimScenario, GoodLoadAfterBrokenOneRecovers) {
    testing::internal::CaptureStderr();
    EXPECT_NE(TorvaneSim_LoadScenarioText("nonsense"), 0);
    testing::internal::GetCapturedStderr();
    LoadScenario(R"({"devices":[{"serial":"A"}]})");
    EXPECT_STREQ(TorvaneSim_LastError(), "");
    EXPECT_EQ(CountDevices(), 1u);
}

TEST(SimScenario, MissingFileNamesTheFile) {
    const std::string path = "/nonexistent/torvane/scenario.json";
    testing::internal::CaptureStderr();
    EXPECT_NE(TorvaneSim_LoadScenarioFile(path.c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "torvane-sim: " + path + ": cannot read the scenario file\n");
    std::uint32_t count = 0;
    EXPECT_EQ(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OTHER_ERROR);
}

TEST(SimScenario, MalformedFileNamesTheFileAndTheFault) {
    TempFile file(R"({"devices":[{"serial":"a","com_port":"x"}]})");
    testing::internal::CaptureStderr();
    EXPECT_NE(TorvaneSim_LoadScenarioFile(file.Path().c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "torvane-sim: " + file.Path() + ": devices[0].com_port: expected an integer\n");
}

TEST(SimEnvironment, NamedScenarioIsLoaded) {
    TempFile file(R"({"devices":[{"serial":"ENV1"},{"serial":"ENV2"}]})");
    ScopedEnv env("TORVANE_SIM", file.Path().c_str());
    EXPECT_EQ(TorvaneSim_LoadFromEnvironment(), 0) << TorvaneSim_LastError();
    EXPECT_EQ(CountDevices(), 2u);
    EXPECT_EQ(ListedSerial(1), "ENV2");
}

TEST(SimEnvironment, UnsetOrEmptyMeansTheDemo) {
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        LoadScenario(R"({"devices":[]})");
        ScopedEnv env("TORVANE_SIM", value);
        EXPECT_EQ(TorvaneSim_LoadFromEnvironment(), 0);
        EXPECT_EQ(CountDevices(), 3u);
    }
}

TEST(SimEnvironment, BrokenNamedScenarioFailsEveryCall) {
    ScopedEnv env("TORVANE_SIM", "/nonexistent/torvane.json");
    testing::internal::CaptureStderr();
    EXPECT_NE(TorvaneSim_LoadFromEnvironment(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "torvane-sim: /nonexistent/torvane.json: cannot read the scenario file\n");
    std::uint32_t version = 0;
    EXPECT_EQ(FT_GetLibraryVersion(&version), FT_OTHER_ERROR);
}

// The scenario is read at the library's first use; a fresh process shows it.
TEST(SimEnvironmentDeathTest, FirstCallLoadsTheNamedScenario) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempFile file(R"({"devices":[{"serial":"a"},{"serial":"b"},{"serial":"c"},{"serial":"d"}]})");
    ScopedEnv env("TORVANE_SIM", file.Path().c_str());
    EXPECT_EXIT(
        {
            std::uint32_t count = 0;
            FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
            std::exit(static_cast<int>(count));
        },
        testing::ExitedWithCode(4), "");
}

TEST(SimEnvironmentDeathTest, FirstCallWithBrokenScenarioComplainsAndFails) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempFile file("{");
    ScopedEnv env("TORVANE_SIM", file.Path().c_str());
    EXPECT_EXIT(
        {
            std::uint32_t count = 0;
            const FT_STATUS first = FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
            const FT_STATUS second = FT_GetLibraryVersion(&count);
            std::exit(first == FT_OTHER_ERROR && second == FT_OTHER_ERROR ? 3 : 1);
        },
        testing::ExitedWithCode(3),
        // Only the file's name: a Windows path's backslashes would be regex escapes.
        "torvane-sim: .*" + file.FileName() + ": .*parse error");
}

}  // namespace
