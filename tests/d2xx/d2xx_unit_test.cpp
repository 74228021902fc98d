// D2XXUnit's eight operations, its status dialog and its by-name lookups,
// against the simulated vendor library, read back through the library's log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "unit_fixture.h"

namespace {

using namespace d2xx;
using d2xx_test::CaseName;
using d2xx_test::D2XXUnitTest;
using d2xx_test::HandleValue;
using d2xx_test::LoadScenario;
using d2xx_test::LogLines;
using d2xx_test::StatusDialog;

// ---- the status dialog --------------------------------------------------------------

TEST_F(D2XXUnitTest, StatusTextIsNameAndSuffixAndShownUnderCaptionError) {
    const char* const suffixes[] = {
        " - Invalid handle...", " - Device not found...", " - Device not opened...", " - General IO error...",
        " - Insufficient resources...", " - Invalid parameter...", " - Invalid baud rate...",
        " Device not opened for erase...", " Device not opened for write...", " - Failed to write...",
        " - EEPROM read failed...", " - EEPROM write failed...", " - EEPROM erase failed...",
        " - EEPROM not present...", " - EEPROM not programmed...", " - Invalid arguments...", " - Other error ..."};
    for (FT_STATUS status = 1; status <= 17; ++status) {
        sink_.seen.clear();
        ReportDeviceStatus("Op", status);
        EXPECT_EQ(Dialogs(), StatusDialog(std::string("Op") + suffixes[status - 1])) << status;
    }
    // Beyond the table, compared as unsigned, the dialog shows with an empty text.
    for (const FT_STATUS status : std::vector<FT_STATUS>{18, 19, 255, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF}) {
        sink_.seen.clear();
        ReportDeviceStatus("Op", status);
        EXPECT_EQ(StatusDialogText("Op", status), "");
        EXPECT_EQ(Dialogs(), StatusDialog("")) << status;
    }
    sink_.seen.clear();
    ReportDeviceStatus("Op", FT_OK);
    EXPECT_EQ(StatusDialogText("Op", FT_OK), "");
    EXPECT_TRUE(Dialogs().empty());
}

TEST_F(D2XXUnitTest, NothingIsShownWhenStatusDialogsAreOff) {
    ShowDeviceErrors = false;
    for (const FT_STATUS status : std::vector<FT_STATUS>{1, 9, 17, 18, 0xFFFFFFFF}) ReportDeviceStatus("Op", status);
    LoadScenario(R"({"fail":{"FT_ListDevices.count":2}})");
    EXPECT_EQ(GetFTDeviceCount(), FT_DEVICE_NOT_FOUND);
    EXPECT_TRUE(Dialogs().empty());
}

// ---- each operation returns its one call's status unchanged ---------------------------

struct Operation {
    const char* name;
    const char* failKey;     // the simulated function to fail
    const char* dialogName;  // nullptr: the operation is silent
    bool needsOpenDevice;
    std::function<FT_STATUS()> run;
    friend void PrintTo(const Operation& c, std::ostream* out) { *out << c.name; }
};

const Operation kOperations[] = {
    {"GetFTDeviceCount", "FT_ListDevices.count", "GetFTDeviceCount", false, [] { return GetFTDeviceCount(); }},
    {"GetFTDeviceSerialByIndex", "FT_ListDevices.index", nullptr, false, [] { return GetFTDeviceSerialByIndex(0); }},
    {"Open_USB_Device_By_Serial_Number", "FT_OpenEx", "Open_USB_Device_By_Serial_Number", false,
     [] { return Open_USB_Device_By_Serial_Number("D0"); }},
    {"Close_USB_Device_Handle", "FT_Close", nullptr, true, [] { return Close_USB_Device_Handle(); }},
    {"Read_USB_Device_EEPROM", "FT_EE_Read", "FT_EE_Read ", true, [] { return Read_USB_Device_EEPROM(); }},
    {"GetFTDriverVersion", "FT_GetDriverVersion", nullptr, true,
     [] {
         std::uint32_t version = 0;
         return GetFTDriverVersion(version);
     }},
    {"GetFTLibraryVersion", "FT_GetLibraryVersion", nullptr, false,
     [] {
         std::uint32_t version = 0;
         return GetFTLibraryVersion(version);
     }},
    {"GetFTComPortNumber", "FT_GetComPortNumber", nullptr, true,
     [] {
         std::int32_t port = 0;
         return GetFTComPortNumber(port);
     }},
    {"GetFTDeviceLocationByIndex", "FT_ListDevices.location", "GetFTDeviceLocationByIndex", false,
     [] { return GetFTDeviceLocationByIndex(0); }},
    {"Open_USB_Device_By_Location", "FT_OpenEx.location", "Open_USB_Device_By_Location", false,
     [] { return Open_USB_Device_By_Location(0x2141); }},
};

class EveryOperation : public D2XXUnitTest, public testing::WithParamInterface<Operation> {};

TEST_P(EveryOperation, ReturnsItsOneCallsStatusAndShowsOnlyItsOwnDialog) {
    const Operation& op = GetParam();
    for (const FT_STATUS status : std::vector<FT_STATUS>{FT_OK, FT_IO_ERROR, 9, 17, 18, 0x80000000, 0xFFFFFFFF}) {
        sink_.seen.clear();
        LoadScenario(R"({"devices":[{"serial":"D0","location":8513}],"fail":{")" + std::string(op.failKey) + "\":" +
                     std::to_string(status) + "}}");
        if (op.needsOpenDevice) {
            ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
        }
        TorvaneSim_ClearCallLog();
        EXPECT_EQ(op.run(), status);
        const std::vector<std::string> calls = LogLines();
        ASSERT_EQ(calls.size(), 1u) << "one library call per operation";
        EXPECT_NE(calls[0].find(") -> " + std::to_string(status)), std::string::npos) << calls[0];
        if (op.dialogName == nullptr || status == FT_OK) {
            EXPECT_TRUE(Dialogs().empty()) << status;
        } else {
            EXPECT_EQ(Dialogs(), StatusDialog(StatusDialogText(op.dialogName, status)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, EveryOperation, testing::ValuesIn(kOperations), CaseName<Operation>);

TEST_F(D2XXUnitTest, DialogTextsNameTheFailedOperationByteForByte) {
    LoadScenario(R"({"fail":{"FT_ListDevices.count":2},
                     "devices":[{"serial":"D0","fail":{"FT_OpenEx":{"status":9,"times":1},"FT_EE_Read":15}}]})");
    EXPECT_EQ(GetFTDeviceCount(), 2u);
    EXPECT_EQ(Open_USB_Device_By_Serial_Number("D0"), 9u);
    EXPECT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
    EXPECT_EQ(Read_USB_Device_EEPROM(), 15u);
    EXPECT_EQ(Dialogs(), (std::vector<std::string>{
                             "error:Error:GetFTDeviceCount - Device not found...",
                             "error:Error:Open_USB_Device_By_Serial_Number Device not opened for write...",
                             "error:Error:FT_EE_Read  - EEPROM not programmed...",
                         }));
}

// ---- the device list's sequence ---------------------------------------------------------

TEST_F(D2XXUnitTest, RefreshSequencePassesTheDocumentedArguments) {
    std::uint32_t library = 0, driver = 0;
    std::int32_t port = 0;
    EXPECT_EQ(Close_USB_Device_Handle(), FT_INVALID_HANDLE);
    EXPECT_EQ(GetFTLibraryVersion(library), FT_OK);
    EXPECT_EQ(GetFTDeviceCount(), FT_OK);
    for (std::uint32_t i = 0; i < DeviceCount; ++i) {
        Close_USB_Device_Handle();
        ASSERT_EQ(GetFTDeviceSerialByIndex(i), FT_OK);
        ASSERT_EQ(Open_USB_Device_By_Serial_Number(DeviceSerialNumber), FT_OK);
        ASSERT_EQ(Read_USB_Device_EEPROM(), FT_OK);
        ASSERT_EQ(GetFTDriverVersion(driver), FT_OK);
        ASSERT_EQ(GetFTComPortNumber(port), FT_OK);
        if (i == 0) {
            EXPECT_EQ(port, 7);
        }
    }
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "FT_Close(0x0) -> 1",
                              "FT_GetLibraryVersion() -> 0 version=0x00030115",
                              "FT_ListDevices(0x80000000) -> 0 count=2",
                              "FT_Close(0x0) -> 1",
                              "FT_ListDevices(0,0x40000001) -> 0 serial=\"D0\"",
                              "FT_OpenEx(\"D0\",0x1) -> 0 handle=0x1",
                              "FT_EE_Read(0x1) -> 0 description=\"First device\"",
                              "FT_GetDriverVersion(0x1) -> 0 version=0x00021004",
                              "FT_GetComPortNumber(0x1) -> 0 port=7",
                              "FT_Close(0x1) -> 0",
                              "FT_ListDevices(1,0x40000001) -> 0 serial=\"D1\"",
                              "FT_OpenEx(\"D1\",0x1) -> 0 handle=0x2",
                              "FT_EE_Read(0x2) -> 0 description=\"Second device\"",
                              "FT_GetDriverVersion(0x2) -> 0 version=0x00021204",
                              "FT_GetComPortNumber(0x2) -> 0 port=-1",
                          }));
    EXPECT_EQ(library, 0x00030115u);
    EXPECT_EQ(DeviceCount, 2u);
    EXPECT_EQ(DeviceHandle, HandleValue(2));
    EXPECT_EQ(port, -1) << "no COM port comes through as -1";
    EXPECT_STREQ(EepromData.Description, "Second device");
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 1) << "the last device stays open";
    EXPECT_TRUE(Dialogs().empty());
}

// ---- opening by serial number and the one handle -------------------------------------------

const std::string k60 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwx";

TEST_F(D2XXUnitTest, SerialIsCutTo49CharactersAndTerminated) {
    LoadScenario(R"({"devices":[{"serial":")" + k60.substr(0, 49) + R"("}]})");
    for (const std::size_t length : {std::size_t{1}, std::size_t{48}, std::size_t{60}, std::size_t{50}}) {
        std::memset(OpenSerialBuffer, 'z', sizeof OpenSerialBuffer);
        Open_USB_Device_By_Serial_Number(k60.substr(0, length));
        const std::size_t used = std::min<std::size_t>(length, 49);
        EXPECT_EQ(std::string(OpenSerialBuffer, used + 1), k60.substr(0, used) + '\0');
        EXPECT_EQ(std::string(OpenSerialBuffer + used + 1, 49 - used), std::string(49 - used, 'z'));
        Close_USB_Device_Handle();
    }
    const std::vector<std::string> log = LogLines();
    EXPECT_EQ(log[4], "FT_OpenEx(\"" + k60.substr(0, 49) + "\",0x1) -> 0 handle=0x1") << "the cut serial finds the device";
}

TEST_F(D2XXUnitTest, ShorterOrEmptySerialLeavesTheEarlierBytesBehindItsTerminator) {
    Open_USB_Device_By_Serial_Number(k60);
    Open_USB_Device_By_Serial_Number("AB");
    EXPECT_EQ(std::string(OpenSerialBuffer, 50), "AB" + std::string(1, '\0') + k60.substr(3, 46) + '\0');
    sink_.seen.clear();
    EXPECT_EQ(Open_USB_Device_By_Serial_Number(""), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(LogLines().back(), "FT_OpenEx(\"\",0x1) -> 2") << "an empty serial still tries";
    EXPECT_EQ(std::string(OpenSerialBuffer, 3), std::string("\0B\0", 3));
    EXPECT_EQ(Dialogs(), StatusDialog("Open_USB_Device_By_Serial_Number - Device not found..."));
}

TEST_F(D2XXUnitTest, HandleIsKeptAfterCloseAndFailedOpenAndOverwrittenByOpen) {
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
    EXPECT_EQ(Close_USB_Device_Handle(), FT_OK);
    EXPECT_EQ(Close_USB_Device_Handle(), FT_INVALID_HANDLE);
    EXPECT_NE(Open_USB_Device_By_Serial_Number("NOPE"), FT_OK);
    EXPECT_EQ(DeviceHandle, HandleValue(1));
    EXPECT_EQ(LogLines()[1], "FT_Close(0x1) -> 0");
    EXPECT_EQ(LogLines()[2], "FT_Close(0x1) -> 1");
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D1"), FT_OK);
    EXPECT_EQ(DeviceHandle, HandleValue(3));
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 2) << "open does not close the previous device";
}

// ---- listing serial numbers -----------------------------------------------------------

struct ListedSerial {
    const char* name;
    const char* scenario;
    const char* expected;
    friend void PrintTo(const ListedSerial& c, std::ostream* out) { *out << c.name; }
};

class SerialByIndex : public D2XXUnitTest, public testing::WithParamInterface<ListedSerial> {};

// Every other variable of the layer holds a marker while the library writes
// into EeSerialNumber; none may change. Under AddressSanitizer a write past
// the 16 bytes into anything but the layer's spare room is reported as well.
TEST_P(SerialByIndex, TakesUpToTheFirstZeroOrAll16BytesAndTouchesNothingElse) {
    LoadScenario(GetParam().scenario);
    std::memset(EeManufacturer, 'm', sizeof EeManufacturer);
    std::memset(EeManufacturerId, 'i', sizeof EeManufacturerId);
    std::memset(EeDescription, 'd', sizeof EeDescription);
    std::memset(EeSerialNumber, 's', sizeof EeSerialNumber);
    std::memset(OpenSerialBuffer, 'o', sizeof OpenSerialBuffer);
    std::memset(&EepromData, 0x5A, sizeof EepromData);
    DeviceCount = 0x12345678;
    ASSERT_EQ(GetFTDeviceSerialByIndex(0), FT_OK);
    EXPECT_EQ(DeviceSerialNumber, GetParam().expected);
    EXPECT_EQ(std::string(EeManufacturer, 64) + std::string(EeManufacturerId, 16) + std::string(EeDescription, 64) +
                  std::string(OpenSerialBuffer, 50),
              std::string(64, 'm') + std::string(16, 'i') + std::string(64, 'd') + std::string(50, 'o'));
    EXPECT_EQ(EepromData.Version, 0x5A5A5A5Au);
    EXPECT_EQ(DeviceCount, 0x12345678u);
}

INSTANTIATE_TEST_SUITE_P(
    Serials, SerialByIndex,
    testing::Values(
        ListedSerial{"Eight", R"({"devices":[{"serial":"FT8CHARS"}]})", "FT8CHARS"},
        ListedSerial{"Fifteen", R"({"devices":[{"serial":"ABCDEFGHIJKLMNO"}]})", "ABCDEFGHIJKLMNO"},
        ListedSerial{"SixteenWithoutTerminator", R"({"devices":[{"serial":"ABCDEFGHIJKLMNOP"}]})", "ABCDEFGHIJKLMNOP"},
        ListedSerial{"LongerFillsSixteen", R"({"devices":[{"serial":"ABCDEFGHIJKLMNOPQRSTU"}]})", "ABCDEFGHIJKLMNOP"},
        ListedSerial{"SeventeenthByteLandsInSpareRoom",
                     R"({"serial_write":"overrun","devices":[{"serial":"ABCDEFGHIJKLMNOPQRSTU"}]})", "ABCDEFGHIJKLMNOP"},
        ListedSerial{"Empty", R"({"devices":[{"serial":""}]})", ""}),
    CaseName<ListedSerial>);

TEST_F(D2XXUnitTest, FailedListingKeepsThePreviousSerialAndCountSilently) {
    ASSERT_EQ(GetFTDeviceCount(), FT_OK);
    LoadScenario(R"({"devices":[{"serial":"ABCDEFGHIJKLMNOP"},{"serial":"XY"}],"fail":{"FT_ListDevices.count":4}})");
    ASSERT_EQ(GetFTDeviceSerialByIndex(0), FT_OK);
    ASSERT_EQ(GetFTDeviceSerialByIndex(1), FT_OK);
    EXPECT_EQ(DeviceSerialNumber, "XY") << "the terminator counts, not the stale bytes behind it";
    EXPECT_EQ(GetFTDeviceSerialByIndex(2), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(DeviceSerialNumber, "XY");
    EXPECT_EQ(LogLines().back(), "FT_ListDevices(2,0x40000001) -> 2");
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_EQ(GetFTDeviceCount(), FT_IO_ERROR);
    EXPECT_EQ(DeviceCount, 2u);
}

// ---- reading the EEPROM ---------------------------------------------------------------

TEST_F(D2XXUnitTest, RecordIsSetUpAsVersion2BeforeEveryRead) {
    LoadScenario(R"({"devices":[{"serial":"D0"}],"fail":{"FT_EE_Read":4}})");  // the library writes nothing
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
    for (int read = 0; read < 2; ++read) {
        std::memset(&EepromData, 0xFF, sizeof EepromData);
        EXPECT_EQ(Read_USB_Device_EEPROM(), FT_IO_ERROR);
        EXPECT_EQ(EepromData.Signature1, 0u);
        EXPECT_EQ(EepromData.Signature2, 0xFFFFFFFFu);
        EXPECT_EQ(EepromData.Version, 2u);
        EXPECT_EQ(EepromData.VendorId + EepromData.ProductId, 0);
        EXPECT_EQ(EepromData.Manufacturer, EeManufacturer);
        EXPECT_EQ(EepromData.ManufacturerId, EeManufacturerId);
        EXPECT_EQ(EepromData.Description, EeDescription);
        EXPECT_EQ(EepromData.SerialNumber, EeSerialNumber);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&EepromData);
        for (std::size_t i = offsetof(FT_PROGRAM_DATA, MaxPower); i <= offsetof(FT_PROGRAM_DATA, RIsD2XX); ++i)
            ASSERT_EQ(bytes[i], 0) << "byte " << i;
    }
}

TEST_F(D2XXUnitTest, ReadFillsTheBuffersAndAFailedReadLeavesThePreviousDevicesTexts) {
    LoadScenario(R"({"serial_write":"overrun", "devices":[
        {"serial":"D0","eeprom_serial":"STORED-SIXTEEN-CHARS","description":"First device","manufacturer":"ACME"},
        {"serial":"D1","description":"Other","fail":{"FT_EE_Read":11}}]})");
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
    ASSERT_EQ(Read_USB_Device_EEPROM(), FT_OK);
    EXPECT_EQ(EepromData.EndPointSize, 64) << "the library filled the Version 2 fields";
    EXPECT_EQ(std::string(EeSerialNumber, 16), "STORED-SIXTEEN-C") << "17th byte kept out of the next variable";
    Close_USB_Device_Handle();
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D1"), FT_OK);
    EXPECT_EQ(Read_USB_Device_EEPROM(), FT_EEPROM_READ_FAILED);
    EXPECT_STREQ(EepromData.Description, "First device");
    EXPECT_STREQ(EeManufacturer, "ACME");
    EXPECT_EQ(Dialogs(), StatusDialog("FT_EE_Read  - EEPROM read failed..."));
}

TEST_F(D2XXUnitTest, FailedQueriesLeaveTheOutVariables) {
    std::uint32_t driver = 0xAAAA, library = 0xBBBB;
    std::int32_t port = 0xCCC;
    EXPECT_EQ(GetFTDriverVersion(driver), FT_INVALID_HANDLE);
    EXPECT_EQ(GetFTComPortNumber(port), FT_INVALID_HANDLE);
    LoadScenario(R"({"fail":{"FT_GetLibraryVersion":4}})");
    EXPECT_EQ(GetFTLibraryVersion(library), FT_IO_ERROR);
    EXPECT_EQ(std::vector<std::uint32_t>({driver, library, static_cast<std::uint32_t>(port)}),
              std::vector<std::uint32_t>({0xAAAA, 0xBBBB, 0xCCC}));
}

// ---- the by-name lookups -------------------------------------------------------------

// Forwards to the platform loader and notes every request. It can make the
// load fail for real (asking the OS for a file that does not exist) and hide
// chosen functions.
class NotingLoader final : public LibraryLoader {
public:
    std::vector<std::string> events;
    bool libraryAbsent = false;
    std::set<std::string> hidden;

    Library Load(const char* fileName) override {
        events.push_back(std::string("load ") + fileName);
        return PlatformLibraryLoader().Load(libraryAbsent ? "libtorvane-absent-library.so" : fileName);
    }
    Symbol Find(Library library, const char* name) override {
        events.push_back(std::string("find ") + name);
        return hidden.count(name) ? nullptr : PlatformLibraryLoader().Find(library, name);
    }
    void Release(Library library) override {
        events.push_back("release");
        PlatformLibraryLoader().Release(library);
    }
};

// The three operations looked up by name; their failKey is the function's name.
const Operation kByName[] = {kOperations[5], kOperations[6], kOperations[7]};
const char* const kByNameFunctions[] = {"FT_GetDriverVersion", "FT_GetLibraryVersion", "FT_GetComPortNumber"};

class LookupByName : public D2XXUnitTest, public testing::WithParamInterface<Operation> {
protected:
    void SetUp() override {
        D2XXUnitTest::SetUp();
        ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
        TorvaneSim_ClearCallLog();
        test::InstallLibraryLoader(&loader_);
    }
    NotingLoader loader_;
};

TEST_P(LookupByName, LoadsFindsAndReleasesOnEveryCall) {
    EXPECT_EQ(GetParam().run(), FT_OK);
    EXPECT_EQ(GetParam().run(), FT_OK);
    const std::string load = std::string("load ") + VendorLibraryFileName();
    const std::string find = std::string("find ") + GetParam().failKey;
    EXPECT_EQ(loader_.events, (std::vector<std::string>{load, find, "release", load, find, "release"}));
    EXPECT_EQ(LogLines().size(), 2u) << "both calls reached the library";
}

TEST_P(LookupByName, MissingFunctionGivesNotSupportedAfterReleasingTheLibrary) {
    loader_.hidden.insert(GetParam().failKey);
    EXPECT_EQ(GetParam().run(), kMissingLibraryFunction);
    EXPECT_EQ(kMissingLibraryFunction, FT_NOT_SUPPORTED);
    EXPECT_EQ(loader_.events.back(), "release");
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(Dialogs().empty());
    loader_.hidden = {std::begin(kByNameFunctions), std::end(kByNameFunctions)};
    loader_.hidden.erase(GetParam().failKey);
    EXPECT_EQ(GetParam().run(), FT_OK) << "other missing functions do not matter";
}

using LookupByNameDeathTest = LookupByName;

// Prints the fatal box to stderr, where the death test sees it.
class FatalPrinter final : public torvane::MessageSink {
public:
    void ShowInformation(const std::string&) override {}
    void ShowError(const std::string&, const std::string&) override {}
    void ShowFatal(const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "FATAL [%s] %s\n", caption.c_str(), text.c_str());
    }
};

TEST_P(LookupByNameDeathTest, MissingLibraryShowsTheBoxAndEndsTheProgramNormally) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            FatalPrinter printer;
            torvane::InstallMessageSink(&printer);
            loader_.libraryAbsent = true;
            std::atexit([] { std::fputs("normal shutdown\n", stderr); });
            GetParam().run();
            std::fputs("the operation returned\n", stderr);
            std::_Exit(3);
        },
        testing::ExitedWithCode(0), "^FATAL \\[BŁĄD\\] BRAK BIBLIOTEKI FTD2XX\\.DLL\nnormal shutdown\n$");
}

INSTANTIATE_TEST_SUITE_P(Operations, LookupByName, testing::ValuesIn(kByName), CaseName<Operation>);
INSTANTIATE_TEST_SUITE_P(Operations, LookupByNameDeathTest, testing::ValuesIn(kByName), CaseName<Operation>);

TEST_F(D2XXUnitTest, PlatformLoaderFindsTheCopyTheProgramLinks) {
    LibraryLoader& loader = PlatformLibraryLoader();
    EXPECT_EQ(&ActiveLibraryLoader(), &loader);
    EXPECT_EQ(loader.Load("libtorvane-absent-library.so"), nullptr);
    LibraryLoader::Library library = loader.Load(VendorLibraryFileName());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(loader.Find(library, "FT_NoSuchFunction"), nullptr);
    const auto query = reinterpret_cast<FT_GetLibraryVersion_t>(loader.Find(library, "FT_GetLibraryVersion"));
    ASSERT_NE(query, nullptr);
    LoadScenario(R"({"library_version": 4660})");  // seen through both bindings: the same copy
    std::uint32_t version = 0;
    EXPECT_EQ(query(&version), FT_OK);
    EXPECT_EQ(version, 4660u);
    loader.Release(library);
}

}  // namespace
