// The registry port survey and the registry path of the refresh, against the
// in-memory registry and a version query that reports the consumer line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devlist/texts.h"
#include "torvane/messages.h"
#include "fixtures.h"

namespace devlist {
namespace {

class Survey : public testing::Test {
protected:
    void SetUp() override { ClearUsbDevices(); }
    void TearDown() override { ClearUsbDevices(); }

    FaultRegistry registry;
    ScopedRegistry installed{registry};
};

USBDEVICE Record(std::string guid, std::string port, std::string friendly, std::uint8_t present) {
    USBDEVICE r;
    r.ClassGUID = std::move(guid);
    r.PortName = std::move(port);
    r.FriendlyName = std::move(friendly);
    r.Present = present;
    return r;
}

void ExpectRecord(const USBDEVICE& r, const std::string& guid, const std::string& port,
                  const std::string& friendly, int present) {
    EXPECT_EQ(r.ClassGUID, guid);
    EXPECT_EQ(r.PortName, port);
    EXPECT_EQ(r.FriendlyName, friendly);
    EXPECT_EQ(r.DriverRevision, "");
    EXPECT_EQ(r.Present, present);
}

TEST_F(Survey, ReadsRecordsInSubkeyOrderAndMarksListedPorts) {
    AddFtdiPort(registry, "FTAAA+A", "COM5", "USB Serial Port (COM5)", "{guid-a}");
    AddFtdiPort(registry, "FTBBB+A", "COM6", "USB Serial Port (COM6)", "{guid-b}");
    ListSerialPort(registry, 5, "COM5");
    ScanRegistryPorts();
    ExpectRecord(USBDevices[0], "{guid-a}", "COM5", "USB Serial Port (COM5)", 1);
    ExpectRecord(USBDevices[1], "{guid-b}", "COM6", "USB Serial Port (COM6)", 0);
    ExpectRecord(USBDevices[2], "", "", "", 0);
}

TEST_F(Survey, MarksOnAnyEntryOfTheMapNotOnlyTheSameNumber) {
    AddFtdiPort(registry, "A", "COM5", "a");
    ListSerialPort(registry, 0, "COM9");
    ListSerialPort(registry, 254, "COM5");
    ListSerialPort(registry, 255, "COM5");  // beyond the 255 entries read
    AddFtdiPort(registry, "B", "COM7", "b");
    ListSerialPort(registry, 255, "COM7");
    ScanRegistryPorts();
    EXPECT_EQ(USBDevices[0].Present, 1);
    EXPECT_EQ(USBDevices[1].Present, 0);
}

// The record is read either way; the map does not mark it when it names the
// port in other letter case, nor when it cannot be opened with full access.
TEST_F(Survey, PortComparisonIsCaseSensitiveAndDeviceMapWithoutFullAccessIsEmpty) {
    AddFtdiPort(registry, "A", "COM5", "a");
    for (const char* listed : {"com5", "COM5"}) {
        ListSerialPort(registry, 5, listed);
        if (listed == std::string("COM5")) registry.DenyFullAccess("HARDWARE\\DeviceMap");
        ScanRegistryPorts();
        EXPECT_EQ(USBDevices[0].PortName, "COM5") << listed;
        EXPECT_EQ(USBDevices[0].Present, 0) << listed;
    }
}

TEST_F(Survey, WithoutFtdiBusTheTableStaysEmptyAndTheMapIsStillRead) {
    registry.AddKey("ENUM");
    ListSerialPort(registry, 1, "COM1");
    const std::size_t before = registry.OpenCount();
    ScanRegistryPorts();
    for (const USBDEVICE& r : USBDevices) ExpectRecord(r, "", "", "", 0);
    // Phase 1: the root and ENUM (FTDIBUS is missing); phase 2: root, DeviceMap
    // and SERIALCOMM for each of the 255 entries.
    EXPECT_EQ(registry.OpenCount() - before, 2u + 255u * 3u);
    // The map really is read: a wrongly typed entry ends the survey.
    registry.SetValue(kSerialCommPath, "COM254", kRegDword, "1234");
    EXPECT_THROW(ScanRegistryPorts(), RegistryError);
}

TEST_F(Survey, FtdiBusWithoutSubkeysReadsNoRecord) {
    registry.AddKey("ENUM\\FTDIBUS");
    registry.SetString("Enum\\FTDIBUS", "PortName", "COM1");
    ListSerialPort(registry, 1, "COM1");
    ScanRegistryPorts();
    for (const USBDEVICE& r : USBDevices) ExpectRecord(r, "", "", "", 0);
}

TEST_F(Survey, EnumWithoutFullAccessEndsTheRecordPhase) {
    AddFtdiPort(registry, "A", "COM5", "a");
    ListSerialPort(registry, 5, "COM5");
    registry.DenyFullAccess("ENUM");
    ScanRegistryPorts();
    ExpectRecord(USBDevices[0], "", "", "", 0);
}

TEST_F(Survey, SubkeyWithout0000KeepsItsRecordAndLaterOnesAreRead) {
    USBDevices[0] = Record("{old}", "COM2", "old", 1);
    registry.AddKey("ENUM\\FTDIBUS\\NOZERO");
    AddFtdiPort(registry, "B", "COM6", "b");
    ListSerialPort(registry, 6, "COM6");
    ScanRegistryPorts();
    ExpectRecord(USBDevices[0], "{old}", "COM2", "old", 1);
    EXPECT_EQ(USBDevices[1].PortName, "COM6");
    EXPECT_EQ(USBDevices[1].Present, 1);
}

TEST_F(Survey, OnlyTheFirst255SubkeysAreRead) {
    for (int k = 0; k < 256; ++k) AddFtdiPort(registry, "S" + std::to_string(k), "COM" + std::to_string(k), "f");
    const std::size_t before = registry.OpenCount();
    ScanRegistryPorts();
    EXPECT_EQ(USBDevices[0].PortName, "COM0");
    EXPECT_EQ(USBDevices[254].PortName, "COM254");
    for (const USBDEVICE& r : USBDevices) EXPECT_NE(r.PortName, "COM255");
    // Root, ENUM, FTDIBUS; five opens for each of 255 records; then the root
    // alone for each map entry, as there is no HARDWARE key.
    EXPECT_EQ(registry.OpenCount() - before, 3u + 255u * 5u + 255u);
}

TEST_F(Survey, ARecordNoLongerListedIsReReadUnmarked) {
    AddFtdiPort(registry, "A", "COM5", "a");
    ListSerialPort(registry, 5, "COM5");
    ScanRegistryPorts();
    ASSERT_EQ(USBDevices[0].Present, 1);
    registry.RemoveValue(kSerialCommPath, "COM5");
    ScanRegistryPorts();
    ExpectRecord(USBDevices[0], "{4D36E978-E325-11CE-BFC1-08002BE10318}", "COM5", "a", 0);
}

TEST_F(Survey, RecordsNotReReadKeepContentsAndMarks) {
    // A record whose keys are gone is not re-read, and the marking phase only
    // ever sets the flag: it stays as the earlier survey left it.
    USBDevices[1] = Record("{g}", "COM8", "gone", 1);
    AddFtdiPort(registry, "A", "COM5", "a");
    registry.AddKey("ENUM\\FTDIBUS\\GONE");
    ScanRegistryPorts();
    ExpectRecord(USBDevices[1], "{g}", "COM8", "gone", 1);
    EXPECT_EQ(USBDevices[0].Present, 0);
}

TEST_F(Survey, AnEmptyPortNameIsNeverMarked) {
    AddFtdiPort(registry, "A", "", "no port");
    ScanRegistryPorts();  // every map entry is empty: empty matches nothing
    EXPECT_EQ(USBDevices[0].Present, 0);
    EXPECT_EQ(USBDevices[0].FriendlyName, "no port");
}

TEST_F(Survey, ABadValueEndsTheRecordPhaseQuietly) {
    for (int k = 0; k < 3; ++k) USBDevices[k] = Record("{old}", "COM" + std::to_string(20 + k), "old", 1);
    AddFtdiPort(registry, "A", "COM5", "a", "{new}");
    AddFtdiPort(registry, "B", "COM6", "b", "{new}");
    AddFtdiPort(registry, "C", "COM7", "c", "{new}");
    registry.SetValue("ENUM\\FTDIBUS\\B\\0000", "FriendlyName", kRegBinary, "\x01");
    ListSerialPort(registry, 5, "COM5");
    ListSerialPort(registry, 21, "COM21");
    EXPECT_NO_THROW(ScanRegistryPorts());
    ExpectRecord(USBDevices[0], "{new}", "COM5", "a", 1);
    // The failing record keeps its old texts (no mix of old and new); it was
    // unmarked before its values were read, and its old port is still listed.
    ExpectRecord(USBDevices[1], "{old}", "COM21", "old", 1);
    ExpectRecord(USBDevices[2], "{old}", "COM22", "old", 1);
}

TEST_F(Survey, AFailingRecordWhosePortIsGoneEndsUnmarked) {
    USBDevices[0] = Record("{old}", "COM21", "old", 1);
    AddFtdiPort(registry, "A", "COM5", "a");
    registry.SetUnreadable("ENUM\\FTDIBUS\\A\\0000", "PortName");
    ScanRegistryPorts();
    ExpectRecord(USBDevices[0], "{old}", "COM21", "old", 0);
}

TEST_F(Survey, ListingFailurePartWayStillReadsTheNamesGathered) {
    AddFtdiPort(registry, "A", "COM5", "a");
    AddFtdiPort(registry, "B", "COM6", "b");
    AddFtdiPort(registry, "C", "COM7", "c");
    registry.FailListingAfter("ENUM\\FTDIBUS", 2);
    ScanRegistryPorts();
    EXPECT_EQ(USBDevices[0].PortName, "COM5");
    EXPECT_EQ(USBDevices[1].PortName, "COM6");
    EXPECT_EQ(USBDevices[2].PortName, "");
}

TEST_F(Survey, AWronglyTypedMapValueReachesTheCaller) {
    AddFtdiPort(registry, "A", "COM5", "a");
    ListSerialPort(registry, 5, "COM5");
    registry.SetValue(kSerialCommPath, "COM3", kRegDword, std::string("\x03\0\0\0", 4));
    try {
        ScanRegistryPorts();
        FAIL() << "the type error was swallowed";
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'COM3'");
    }
    // Phase 1 had run; the marking phase had not.
    EXPECT_EQ(USBDevices[0].PortName, "COM5");
    EXPECT_EQ(USBDevices[0].Present, 0);
}

TEST_F(Survey, AnUnfetchableMapValueReachesTheCaller) {
    registry.SetUnreadable(kSerialCommPath, "COM0");
    try {
        ScanRegistryPorts();
        FAIL() << "the fetch error was swallowed";
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Failed to get data for 'COM0'");
    }
}

// The refresh on the consumer line: the registry path fills the grid.
class RegistryRefresh : public Survey {
protected:
    void SetUp() override {
        Survey::SetUp();
        LibraryVersionText.clear();
    }

    FakeVersionQuery windows98{true, kPlatformWin32Windows, 4, 10};
    ScopedVersionQuery version{windows98};
    TestView view;
};

TEST_F(RegistryRefresh, ShownRecordsTakeRowsInTableOrder) {
    AddFtdiPort(registry, "A", "COM5", "Port A");
    AddFtdiPort(registry, "B", "COM6", "Port B (not listed)");
    AddFtdiPort(registry, "C", "COM7", "Port \xA3\xF3\x64\x9F");
    ListSerialPort(registry, 1, "COM5");
    ListSerialPort(registry, 2, "COM7");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(SystemClass, kClassWindows98);
    EXPECT_EQ(view.grid.RowCount(), 4);
    EXPECT_EQ(view.grid.Row(0), (std::vector<std::string>{"PORT", "NAZWA", "WERSJA STEROWNIKA", "S/N"}));
    EXPECT_EQ(view.grid.Row(1), (std::vector<std::string>{"COM5", "Port A", "", ""}));
    EXPECT_EQ(view.grid.Row(2), (std::vector<std::string>{"COM7", "Port Łódź", "", ""}));
    EXPECT_EQ(view.grid.Row(3), (std::vector<std::string>{"", "", "", ""}));
    for (int column = 0; column < 4; ++column)
        EXPECT_EQ(view.grid.ColumnWidth(column), column < 3 ? 150 : 68);
    EXPECT_EQ(view.label.Text(), "");
}

TEST_F(RegistryRefresh, NothingShownKeepsWidthsAndTwoRows) {
    AddFtdiPort(registry, "A", "", "no port");
    registry.SetString(kSerialCommPath, "COM0", "");
    AddFtdiPort(registry, "B", "COM6", "not listed");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(view.grid.RowCount(), 2);
    EXPECT_EQ(view.grid.Row(1), (std::vector<std::string>{"", "", "", ""}));
    const int widths[] = {82, 163, 128, 68};
    for (int column = 0; column < 4; ++column) EXPECT_EQ(view.grid.ColumnWidth(column), widths[column]);
}

TEST_F(RegistryRefresh, ARecordWithAPortAlreadyShownIsSkipped) {
    AddFtdiPort(registry, "A", "COM5", "first");
    AddFtdiPort(registry, "B", "COM5", "second, same port");
    AddFtdiPort(registry, "C", "COM6", "third");
    AddFtdiPort(registry, "D", "com6", "other case is another port");
    ListSerialPort(registry, 0, "COM5");
    ListSerialPort(registry, 1, "COM6");
    ListSerialPort(registry, 2, "com6");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(view.grid.RowCount(), 5);
    EXPECT_EQ(view.grid.Cell(1, 1), "first");
    EXPECT_EQ(view.grid.Cell(1, 2), "third");
    EXPECT_EQ(view.grid.Cell(1, 3), "other case is another port");
}

TEST_F(RegistryRefresh, RecordsFromAnEarlierSurveyStillShowWhenListed) {
    USBDevices[7] = Record("{g}", "COM9", "kept from before", 0);
    registry.AddKey("ENUM\\FTDIBUS");
    ListSerialPort(registry, 9, "COM9");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(view.grid.RowCount(), 3);
    EXPECT_EQ(view.grid.Row(1), (std::vector<std::string>{"COM9", "kept from before", "", ""}));
}

TEST_F(RegistryRefresh, AllRecordsShownFillRows1To255) {
    for (int k = 0; k < 255; ++k) {
        AddFtdiPort(registry, "S" + std::to_string(k), "P" + std::to_string(k), "F" + std::to_string(k));
        ListSerialPort(registry, k, "P" + std::to_string(k));
    }
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(view.grid.RowCount(), 257);
    EXPECT_EQ(view.grid.Cell(0, 1), "P0");
    EXPECT_EQ(view.grid.Cell(0, 255), "P254");
    EXPECT_EQ(view.grid.Cell(0, 256), "");
}

TEST_F(RegistryRefresh, ATypeErrorEndsTheRefreshAndReachesTheCaller) {
    AddFtdiPort(registry, "A", "COM5", "a");
    ListSerialPort(registry, 5, "COM5");
    registry.SetValue(kSerialCommPath, "COM7", kRegBinary, "x");
    try {
        RefreshDeviceList();
        FAIL() << "the error did not reach the caller";
    } catch (const RegistryError& e) {
        EXPECT_EQ(torvane::WithFullStop(e.what()), "Invalid data type for 'COM7'.");
    }
    EXPECT_FALSE(IsRefreshRunning());
    // The common start had run: header and one empty row.
    EXPECT_EQ(view.grid.RowCount(), 2);
    EXPECT_EQ(view.grid.Cell(0, 0), "PORT");
    // The guard was released: the next refresh runs.
    registry.RemoveValue(kSerialCommPath, "COM7");
    EXPECT_TRUE(RefreshDeviceList());
    EXPECT_EQ(view.grid.Cell(0, 1), "COM5");
}

TEST_F(RegistryRefresh, TheLabelIsNotWrittenByThisPath) {
    LibraryVersionText = "Wersja biblioteki FTD2XX.DLL: 3.01.15";
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(view.label.History().front(), "");
    // The end step sets the label to the unit's text, which this path left alone.
    EXPECT_EQ(view.label.Text(), "Wersja biblioteki FTD2XX.DLL: 3.01.15");
}

TEST(RegistryRefreshOnNt, TheSurveyNeverRuns) {
    FaultRegistry registry;
    AddFtdiPort(registry, "A", "COM5", "a");
    ListSerialPort(registry, 5, "COM5");
    const ScopedRegistry installed(registry);
    FakeVersionQuery xp(true, kPlatformWin32Nt, 5, 1);
    const ScopedVersionQuery version(xp);
    TestView view;
    RecordingSink sink;
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(SystemClass, kClassNtOrOther);
    EXPECT_EQ(registry.OpenCount(), 0u);
}

}  // namespace
}  // namespace devlist
