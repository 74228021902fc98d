// D2XXUnit's eight operations and its status dialog, against the simulated
// vendor library, read back through the library's call log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "unit_fixture.h"

namespace {

using namespace d2xx;
using d2xx_test::HandleValue;
using d2xx_test::LoadScenario;
using d2xx_test::LogLines;
using d2xx_test::D2XXUnitTest;
using d2xx_test::Shown;

// ---- the status dialog ------------------------------------------------------

struct StatusCase {
    FT_STATUS status;
    const char* suffix;  // nullptr: no dialog at all
};

void PrintTo(const StatusCase& value, std::ostream* out) { *out << "status " << value.status; }

class StatusDialog : public D2XXUnitTest, public testing::WithParamInterface<StatusCase> {};

TEST_P(StatusDialog, TextIsNameAndSuffixAndIsShownAsErrorNamedError) {
    const StatusCase& c = GetParam();
    const bool inTable = c.status >= 1 && c.status <= 17;
    const std::string expected = inTable ? std::string("Op") + c.suffix : "";
    EXPECT_EQ(StatusDialogText("Op", c.status), expected);
    ReportDeviceStatus("Op", c.status);
    if (c.suffix == nullptr) {
        EXPECT_TRUE(Dialogs().empty());
    } else {
        EXPECT_EQ(Dialogs(), (std::vector<Shown>{{"error", "Error", expected}}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, StatusDialog,
    testing::Values(StatusCase{0, nullptr},
                    StatusCase{1, " - Invalid handle..."},
                    StatusCase{2, " - Device not found..."},
                    StatusCase{3, " - Device not opened..."},
                    StatusCase{4, " - General IO error..."},
                    StatusCase{5, " - Insufficient resources..."},
                    StatusCase{6, " - Invalid parameter..."},
                    StatusCase{7, " - Invalid baud rate..."},
                    StatusCase{8, " Device not opened for erase..."},
                    StatusCase{9, " Device not opened for write..."},
                    StatusCase{10, " - Failed to write..."},
                    StatusCase{11, " - EEPROM read failed..."},
                    StatusCase{12, " - EEPROM write failed..."},
                    StatusCase{13, " - EEPROM erase failed..."},
                    StatusCase{14, " - EEPROM not present..."},
                    StatusCase{15, " - EEPROM not programmed..."},
                    StatusCase{16, " - Invalid arguments..."},
                    StatusCase{17, " - Other error ..."},
                    // Beyond the table the dialog still shows, with an empty text.
                    StatusCase{18, ""}, StatusCase{19, ""}, StatusCase{255, ""},
                    StatusCase{0x7FFFFFFF, ""}, StatusCase{0x80000000, ""},
                    StatusCase{0x80000001, ""}, StatusCase{0xFFFFFFFF, ""}),
    [](const testing::TestParamInfo<StatusCase>& info) {
        return "Status" + std::to_string(info.param.status);
    });

TEST_F(D2XXUnitTest, NoDialogWhenStatusDialogsAreOff) {
    ShowDeviceErrors = false;
    for (const FT_STATUS status : std::initializer_list<FT_STATUS>{1, 9, 17, 18, 0xFFFFFFFF})
        ReportDeviceStatus("GetFTDeviceCount", status);
    LoadScenario(R"({"fail":{"FT_ListDevices.count":2}})");
    EXPECT_EQ(GetFTDeviceCount(), FT_DEVICE_NOT_FOUND);
    EXPECT_TRUE(Dialogs().empty());
}

// ---- each operation returns its one call's status unchanged -------------------

struct Operation {
    const char* name;
    const char* failKey;     // the simulated function to fail
    const char* dialogName;  // nullptr: the operation is silent
    bool needsOpenDevice;
    std::function<FT_STATUS()> run;
};

void PrintTo(const Operation& value, std::ostream* out) { *out << value.name; }

const Operation kOperations[] = {
    {"GetFTDeviceCount", "FT_ListDevices.count", "GetFTDeviceCount", false, [] { return GetFTDeviceCount(); }},
    {"GetFTDeviceSerialByIndex", "FT_ListDevices.index", nullptr, false,
     [] { return GetFTDeviceSerialByIndex(0); }},
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
};

class EveryOperation : public D2XXUnitTest, public testing::WithParamInterface<Operation> {};

TEST_P(EveryOperation, ReturnsTheLibrarysStatusAndShowsOnlyItsOwnDialog) {
    const Operation& op = GetParam();
    for (const FT_STATUS status : std::initializer_list<FT_STATUS>{FT_IO_ERROR, 9, 17, 18, 0x80000000, 0xFFFFFFFF}) {
        sink_.shown.clear();
        LoadScenario(R"({"devices":[{"serial":"D0"}],"fail":{")" + std::string(op.failKey) +
                     "\":" + std::to_string(status) + "}}");
        if (op.needsOpenDevice) {
            ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
        }
        TorvaneSim_ClearCallLog();
        EXPECT_EQ(op.run(), status) << op.name;
        const std::vector<std::string> calls = LogLines();
        ASSERT_EQ(calls.size(), 1u) << "one library call per operation";
        EXPECT_NE(calls[0].find(") -> " + std::to_string(status)), std::string::npos) << calls[0];
        if (op.dialogName == nullptr) {
            EXPECT_TRUE(Dialogs().empty()) << op.name << " must be silent";
        } else {
            EXPECT_EQ(Dialogs(),
                      (std::vector<Shown>{{"error", "Error", StatusDialogText(op.dialogName, status)}}));
        }
    }
}

TEST_P(EveryOperation, SuccessShowsNothing) {
    const Operation& op = GetParam();
    if (op.needsOpenDevice) {
        ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
    }
    EXPECT_EQ(op.run(), FT_OK);
    EXPECT_TRUE(Dialogs().empty());
}

INSTANTIATE_TEST_SUITE_P(Operations, EveryOperation, testing::ValuesIn(kOperations),
                         [](const testing::TestParamInfo<Operation>& info) {
                             return std::string(info.param.name);
                         });

struct NamedFailure {
    const char* name;
    const char* scenario;
    std::function<FT_STATUS()> run;
    FT_STATUS status;
    const char* text;
};

void PrintTo(const NamedFailure& value, std::ostream* out) { *out << value.name; }

class DialogText : public D2XXUnitTest, public testing::WithParamInterface<NamedFailure> {};

TEST_P(DialogText, NamesTheFailedOperationByteForByte) {
    const NamedFailure& f = GetParam();
    LoadScenario(f.scenario);
    EXPECT_EQ(f.run(), f.status);
    EXPECT_EQ(Dialogs(), (std::vector<Shown>{{"error", "Error", f.text}}));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DialogText,
    testing::Values(
        NamedFailure{"CountNotFound", R"({"fail":{"FT_ListDevices.count":2}})", [] { return GetFTDeviceCount(); },
                     2, "GetFTDeviceCount - Device not found..."},
        NamedFailure{"OpenNotOpenedForWrite", R"({"devices":[{"serial":"D0","fail":{"FT_OpenEx":9}}]})",
                     [] { return Open_USB_Device_By_Serial_Number("D0"); }, 9,
                     "Open_USB_Device_By_Serial_Number Device not opened for write..."},
        NamedFailure{"OpenUnknownSerial", R"({"devices":[]})",
                     [] { return Open_USB_Device_By_Serial_Number("NOPE"); }, 2,
                     "Open_USB_Device_By_Serial_Number - Device not found..."},
        NamedFailure{"EepromNotProgrammed", R"({"devices":[{"serial":"D0","fail":{"FT_EE_Read":15}}]})",
                     [] {
                         Open_USB_Device_By_Serial_Number("D0");
                         return Read_USB_Device_EEPROM();
                     },
                     15, "FT_EE_Read  - EEPROM not programmed..."},
        NamedFailure{"EepromReadFailed", R"({"devices":[{"serial":"D0","fail":{"FT_EE_Read":11}}]})",
                     [] {
                         Open_USB_Device_By_Serial_Number("D0");
                         return Read_USB_Device_EEPROM();
                     },
                     11, "FT_EE_Read  - EEPROM read failed..."},
        NamedFailure{"EepromOnInvalidHandle", R"({"devices":[]})", [] { return Read_USB_Device_EEPROM(); }, 1,
                     "FT_EE_Read  - Invalid handle..."}),
    [](const testing::TestParamInfo<NamedFailure>& info) { return std::string(info.param.name); });

// ---- the device list's sequence -------------------------------------------------

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
    EXPECT_EQ(DeviceSerialNumber, "D1");
    EXPECT_EQ(DeviceHandle, HandleValue(2));
    EXPECT_EQ(driver, 0x00021204u);
    EXPECT_EQ(port, -1) << "no COM port comes through as -1";
    EXPECT_STREQ(EepromData.Description, "Second device");
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 1) << "the last device stays open";
    EXPECT_TRUE(Dialogs().empty());
}

// ---- opening by serial number ---------------------------------------------------

const std::string k60 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwx";

TEST_F(D2XXUnitTest, LongSerialIsCutTo49CharactersAndTerminated) {
    ASSERT_EQ(k60.size(), 60u);
    LoadScenario(R"({"devices":[{"serial":")" + k60.substr(0, 49) + R"("}]})");
    EXPECT_EQ(Open_USB_Device_By_Serial_Number(k60), FT_OK) << "the cut serial finds the device";
    EXPECT_EQ(LogLines(), std::vector<std::string>{"FT_OpenEx(\"" + k60.substr(0, 49) + "\",0x1) -> 0 handle=0x1"});
    EXPECT_EQ(std::string(OpenSerialBuffer, 49), k60.substr(0, 49));
    EXPECT_EQ(OpenSerialBuffer[49], '\0');
}

TEST_F(D2XXUnitTest, SerialLengthsAroundTheLimit) {
    for (const std::size_t length : {std::size_t{1}, std::size_t{48}, std::size_t{49}, std::size_t{50}}) {
        std::memset(OpenSerialBuffer, 'z', sizeof OpenSerialBuffer);
        TorvaneSim_ClearCallLog();
        Open_USB_Device_By_Serial_Number(k60.substr(0, length));
        const std::size_t used = std::min<std::size_t>(length, 49);
        EXPECT_EQ(std::string(OpenSerialBuffer, used), k60.substr(0, used));
        EXPECT_EQ(OpenSerialBuffer[used], '\0');
        if (used + 1 < sizeof OpenSerialBuffer) {
            EXPECT_EQ(OpenSerialBuffer[used + 1], 'z') << length;
        }
        EXPECT_EQ(LogLines(), std::vector<std::string>{"FT_OpenEx(\"" + k60.substr(0, used) + "\",0x1) -> 2"});
    }
}

TEST_F(D2XXUnitTest, ShorterSerialLeavesTheEarlierBytesBehindItsTerminator) {
    Open_USB_Device_By_Serial_Number(k60);
    Open_USB_Device_By_Serial_Number("AB");
    EXPECT_EQ(std::string(OpenSerialBuffer, 3), std::string("AB\0", 3));
    EXPECT_EQ(std::string(OpenSerialBuffer + 3, 46), k60.substr(3, 46));
    EXPECT_EQ(OpenSerialBuffer[49], '\0');
}

TEST_F(D2XXUnitTest, EmptySerialStillTriesToOpen) {
    Open_USB_Device_By_Serial_Number(k60);
    TorvaneSim_ClearCallLog();
    sink_.shown.clear();
    EXPECT_EQ(Open_USB_Device_By_Serial_Number(""), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(LogLines(), std::vector<std::string>{"FT_OpenEx(\"\",0x1) -> 2"});
    EXPECT_EQ(OpenSerialBuffer[0], '\0');
    EXPECT_EQ(std::string(OpenSerialBuffer + 1, 48), k60.substr(1, 48));
    EXPECT_EQ(Dialogs(), (std::vector<Shown>{{"error", "Error", "Open_USB_Device_By_Serial_Number - Device not found..."}}));
}

// ---- the one device handle ------------------------------------------------------

TEST_F(D2XXUnitTest, CloseBeforeAnyOpenUsesTheNullHandleSilently) {
    EXPECT_EQ(Close_USB_Device_Handle(), FT_INVALID_HANDLE);
    EXPECT_EQ(LogLines(), std::vector<std::string>{"FT_Close(0x0) -> 1"});
    EXPECT_TRUE(Dialogs().empty());
}

TEST_F(D2XXUnitTest, HandleIsKeptAfterCloseAndAfterFailedOpen) {
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
    const FT_HANDLE opened = DeviceHandle;
    EXPECT_EQ(opened, HandleValue(1));
    EXPECT_EQ(Close_USB_Device_Handle(), FT_OK);
    EXPECT_EQ(DeviceHandle, opened);
    EXPECT_EQ(Close_USB_Device_Handle(), FT_INVALID_HANDLE) << "the second close reaches a closed handle";
    EXPECT_NE(Open_USB_Device_By_Serial_Number("NOPE"), FT_OK);
    EXPECT_EQ(DeviceHandle, opened);
    const std::vector<std::string> log = LogLines();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[1], "FT_Close(0x1) -> 0");
    EXPECT_EQ(log[2], "FT_Close(0x1) -> 1");
}

TEST_F(D2XXUnitTest, OpenOverwritesTheHandleWithoutClosing) {
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D1"), FT_OK);
    EXPECT_EQ(DeviceHandle, HandleValue(2));
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 2) << "the first device is left open by design";
}

// ---- listing serial numbers -------------------------------------------------------

struct ListedSerial {
    const char* name;
    const char* scenario;
    const char* expected;
};

void PrintTo(const ListedSerial& value, std::ostream* out) { *out << value.name; }

class SerialByIndex : public D2XXUnitTest, public testing::WithParamInterface<ListedSerial> {};

// Every other variable of the layer holds a marker while the library writes
// into EeSerialNumber; none may change. Under AddressSanitizer a write past
// the 16 bytes into anything but the layer's spare room is reported as well.
TEST_P(SerialByIndex, TakesTheTextUpToTheFirstZeroOrAll16BytesAndTouchesNothingElse) {
    LoadScenario(GetParam().scenario);
    std::memset(EeManufacturer, 'm', sizeof EeManufacturer);
    std::memset(EeManufacturerId, 'i', sizeof EeManufacturerId);
    std::memset(EeDescription, 'd', sizeof EeDescription);
    std::memset(EeSerialNumber, 's', sizeof EeSerialNumber);
    std::memset(OpenSerialBuffer, 'o', sizeof OpenSerialBuffer);
    std::memset(&EepromData, 0x5A, sizeof EepromData);
    DeviceCount = 0x12345678;
    DeviceHandle = HandleValue(0x777);

    ASSERT_EQ(GetFTDeviceSerialByIndex(0), FT_OK);
    EXPECT_EQ(DeviceSerialNumber, GetParam().expected);
    EXPECT_EQ(std::string(EeManufacturer, sizeof EeManufacturer), std::string(64, 'm'));
    EXPECT_EQ(std::string(EeManufacturerId, sizeof EeManufacturerId), std::string(16, 'i'));
    EXPECT_EQ(std::string(EeDescription, sizeof EeDescription), std::string(64, 'd'));
    EXPECT_EQ(std::string(OpenSerialBuffer, sizeof OpenSerialBuffer), std::string(50, 'o'));
    EXPECT_EQ(EepromData.Version, 0x5A5A5A5Au);
    EXPECT_EQ(DeviceCount, 0x12345678u);
    EXPECT_EQ(DeviceHandle, HandleValue(0x777));
    EXPECT_TRUE(Dialogs().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Serials, SerialByIndex,
    testing::Values(
        ListedSerial{"EightCharacters", R"({"devices":[{"serial":"FT8CHARS"}]})", "FT8CHARS"},
        ListedSerial{"FifteenCharacters", R"({"devices":[{"serial":"ABCDEFGHIJKLMNO"}]})", "ABCDEFGHIJKLMNO"},
        ListedSerial{"SixteenWithoutTerminator", R"({"devices":[{"serial":"ABCDEFGHIJKLMNOP"}]})",
                     "ABCDEFGHIJKLMNOP"},
        ListedSerial{"LongerFillsSixteen", R"({"devices":[{"serial":"ABCDEFGHIJKLMNOPQRSTU"}]})",
                     "ABCDEFGHIJKLMNOP"},
        ListedSerial{"SeventeenthByteLandsInSpareRoom",
                     R"({"serial_write":"overrun","devices":[{"serial":"ABCDEFGHIJKLMNOP"}]})", "ABCDEFGHIJKLMNOP"},
        ListedSerial{"SeventeenthByteOfLongerSerial",
                     R"({"serial_write":"overrun","devices":[{"serial":"ABCDEFGHIJKLMNOPQRSTU"}]})",
                     "ABCDEFGHIJKLMNOP"},
        ListedSerial{"Empty", R"({"devices":[{"serial":""}]})", ""}),
    [](const testing::TestParamInfo<ListedSerial>& info) { return std::string(info.param.name); });

TEST_F(D2XXUnitTest, ShortSerialAfterAFullOneStopsAtItsTerminator) {
    LoadScenario(R"({"devices":[{"serial":"ABCDEFGHIJKLMNOP"},{"serial":"XY"}]})");
    ASSERT_EQ(GetFTDeviceSerialByIndex(0), FT_OK);
    ASSERT_EQ(GetFTDeviceSerialByIndex(1), FT_OK);
    EXPECT_EQ(DeviceSerialNumber, "XY");
}

TEST_F(D2XXUnitTest, FailedListingKeepsThePreviousSerialSilently) {
    ASSERT_EQ(GetFTDeviceSerialByIndex(1), FT_OK);
    EXPECT_EQ(GetFTDeviceSerialByIndex(2), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(DeviceSerialNumber, "D1");
    EXPECT_EQ(LogLines().back(), "FT_ListDevices(2,0x40000001) -> 2");
    EXPECT_TRUE(Dialogs().empty());
}

TEST_F(D2XXUnitTest, CountIsWrittenOnlyBySuccess) {
    ASSERT_EQ(GetFTDeviceCount(), FT_OK);
    EXPECT_EQ(DeviceCount, 2u);
    LoadScenario(R"({"devices":[],"fail":{"FT_ListDevices.count":4}})");
    EXPECT_EQ(GetFTDeviceCount(), FT_IO_ERROR);
    EXPECT_EQ(DeviceCount, 2u);
}

// ---- reading the EEPROM --------------------------------------------------------

TEST_F(D2XXUnitTest, RecordIsSetUpAsVersion2BeforeEveryRead) {
    LoadScenario(R"({"devices":[{"serial":"D0"}],"fail":{"FT_EE_Read":4}})");
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
    for (int read = 0; read < 2; ++read) {
        std::memset(&EepromData, 0xFF, sizeof EepromData);
        EXPECT_EQ(Read_USB_Device_EEPROM(), FT_IO_ERROR);  // the library writes nothing
        EXPECT_EQ(EepromData.Signature1, 0u);
        EXPECT_EQ(EepromData.Signature2, 0xFFFFFFFFu);
        EXPECT_EQ(EepromData.Version, 2u);
        EXPECT_EQ(EepromData.VendorId, 0);
        EXPECT_EQ(EepromData.ProductId, 0);
        EXPECT_EQ(EepromData.Manufacturer, EeManufacturer);
        EXPECT_EQ(EepromData.ManufacturerId, EeManufacturerId);
        EXPECT_EQ(EepromData.Description, EeDescription);
        EXPECT_EQ(EepromData.SerialNumber, EeSerialNumber);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&EepromData);
        const std::size_t from = offsetof(FT_PROGRAM_DATA, MaxPower);
        const std::size_t to = offsetof(FT_PROGRAM_DATA, RIsD2XX) + 1;
        for (std::size_t i = from; i < to; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
    }
}

TEST_F(D2XXUnitTest, SuccessfulReadFillsRecordAndBuffers) {
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
    ASSERT_EQ(Read_USB_Device_EEPROM(), FT_OK);
    EXPECT_STREQ(EepromData.Description, "First device");
    EXPECT_STREQ(EeDescription, "First device");
    EXPECT_STREQ(EeManufacturer, "ACME");
    EXPECT_STREQ(EeManufacturerId, "AC");
    EXPECT_STREQ(EeSerialNumber, "D0");
    EXPECT_EQ(EepromData.VendorId, 1027);
    EXPECT_EQ(EepromData.ProductId, 24577);
    EXPECT_EQ(EepromData.EndPointSize, 64) << "the library filled the Version 2 fields";
}

TEST_F(D2XXUnitTest, FailedReadLeavesThePreviousDevicesTexts) {
    LoadScenario(R"({"devices":[{"serial":"D0","description":"First device","manufacturer":"ACME"},
                                {"serial":"D1","description":"Other","fail":{"FT_EE_Read":11}}]})");
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
    ASSERT_EQ(Read_USB_Device_EEPROM(), FT_OK);
    Close_USB_Device_Handle();
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D1"), FT_OK);
    EXPECT_EQ(Read_USB_Device_EEPROM(), FT_EEPROM_READ_FAILED);
    EXPECT_STREQ(EepromData.Description, "First device");
    EXPECT_STREQ(EeManufacturer, "ACME");
    EXPECT_STREQ(EeSerialNumber, "D0");
    EXPECT_EQ(Dialogs(), (std::vector<Shown>{{"error", "Error", "FT_EE_Read  - EEPROM read failed..."}}));
}

TEST_F(D2XXUnitTest, EepromSerialOverwritesTheListedOneWithin16Bytes) {
    LoadScenario(R"({"serial_write":"overrun",
                     "devices":[{"serial":"LISTED","eeprom_serial":"STORED-SIXTEEN-CHARS"}]})");
    ASSERT_EQ(GetFTDeviceSerialByIndex(0), FT_OK);
    ASSERT_EQ(Open_USB_Device_By_Serial_Number(DeviceSerialNumber), FT_OK);
    ASSERT_EQ(Read_USB_Device_EEPROM(), FT_OK);
    EXPECT_EQ(std::string(EeSerialNumber, 16), "STORED-SIXTEEN-C");
    EXPECT_EQ(DeviceSerialNumber, "LISTED");
}

// ---- the three queries looked up by name ------------------------------------------

TEST_F(D2XXUnitTest, LibraryVersionNeedsNoDevice) {
    std::uint32_t version = 0;
    EXPECT_EQ(GetFTLibraryVersion(version), FT_OK);
    EXPECT_EQ(version, 0x00030115u);
    EXPECT_EQ(DeviceHandle, nullptr);
}

TEST_F(D2XXUnitTest, QueriesActOnTheOpenDevice) {
    std::uint32_t driver = 0;
    std::int32_t port = 0;
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D0"), FT_OK);
    EXPECT_EQ(GetFTDriverVersion(driver), FT_OK);
    EXPECT_EQ(GetFTComPortNumber(port), FT_OK);
    EXPECT_EQ(driver, 0x00021004u);
    EXPECT_EQ(port, 7);
    Close_USB_Device_Handle();
    ASSERT_EQ(Open_USB_Device_By_Serial_Number("D1"), FT_OK);
    EXPECT_EQ(GetFTComPortNumber(port), FT_OK);
    EXPECT_EQ(port, -1);
}

TEST_F(D2XXUnitTest, FailedQueriesLeaveTheOutVariablesAndShowNothing) {
    std::uint32_t driver = 0xAAAA, library = 0xBBBB;
    std::int32_t port = 0xCCC;
    EXPECT_EQ(GetFTDriverVersion(driver), FT_INVALID_HANDLE);
    EXPECT_EQ(GetFTComPortNumber(port), FT_INVALID_HANDLE);
    LoadScenario(R"({"fail":{"FT_GetLibraryVersion":4}})");
    EXPECT_EQ(GetFTLibraryVersion(library), FT_IO_ERROR);
    EXPECT_EQ(driver, 0xAAAAu);
    EXPECT_EQ(library, 0xBBBBu);
    EXPECT_EQ(port, 0xCCC);
    EXPECT_TRUE(Dialogs().empty());
}

}  // namespace
