// The refresh on the NT line: the D2XX sequence against the simulated vendor
// library, into the in-memory grid and label.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "devlist/texts.h"
#include "sim_helpers.h"

namespace devlist {
namespace {

using Row = std::vector<std::string>;

const Row kHeader = {"PORT", "NAZWA", "WERSJA STEROWNIKA", "S/N"};
const Row kEmpty = {"", "", "", ""};
const std::string kPrefix = "KALDORVENTIX   ";

std::string Padded(const std::string& name) { return name + std::string(25 - name.size(), ' '); }

class Refresh : public testing::Test {
protected:
    void SetUp() override {
        InstallVersionQuery(nullptr);  // this platform: the NT path
        InstallRegistry(nullptr);
    }
    void TearDown() override { TorvaneSim_UseBuiltInDemo(); }

    std::vector<Row> Rows() const {
        std::vector<Row> rows;
        for (int r = 0; r < view.grid.RowCount(); ++r) rows.push_back(view.grid.Row(r));
        return rows;
    }

    TestView view;
    RecordingSink sink;
};

const char* const kTwoDevices = R"({
  "library_version": "0x00030115",
  "devices": [
    {"serial": "FTA1", "description": "COM_C", "com_port": 7, "driver_version": "0x00021204"},
    {"serial": "FTB2", "description": "FT232R USB UART", "com_port": 12, "driver_version": "0x00020C0A"}
  ]})";

TEST_F(Refresh, CallsTheD2xxSequenceInOrder) {
    UseScenario(kTwoDevices);
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(CallLog(), (std::vector<std::string>{
                             "FT_Close(0x0) -> 1",
                             "FT_GetLibraryVersion() -> 0 version=0x00030115",
                             "FT_ListDevices(0x80000000) -> 0 count=2",
                             "FT_Close(0x0) -> 1",
                             "FT_ListDevices(0,0x40000001) -> 0 serial=\"FTA1\"",
                             "FT_OpenEx(\"FTA1\",0x1) -> 0 handle=0x1",
                             "FT_EE_Read(0x1) -> 0 description=\"COM_C\"",
                             "FT_GetDriverVersion(0x1) -> 0 version=0x00021204",
                             "FT_GetComPortNumber(0x1) -> 0 port=7",
                             "FT_Close(0x1) -> 0",
                             "FT_ListDevices(1,0x40000001) -> 0 serial=\"FTB2\"",
                             "FT_OpenEx(\"FTB2\",0x1) -> 0 handle=0x2",
                             "FT_EE_Read(0x2) -> 0 description=\"FT232R USB UART\"",
                             "FT_GetDriverVersion(0x2) -> 0 version=0x00020C0A",
                             "FT_GetComPortNumber(0x2) -> 0 port=12",
                         }));
    EXPECT_TRUE(sink.seen.empty());
}

TEST_F(Refresh, WritesOneRowPerDeviceAndTheLibraryVersion) {
    UseScenario(kTwoDevices);
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(Rows(), (std::vector<Row>{
                          kHeader,
                          {"COM7", kPrefix + "COM_C     ", "2.12.04", "FTA1"},
                          {"COM12", "FT232R USB UART          ", "2.0C.0A", "FTB2"},
                      }));
    EXPECT_EQ(view.grid.Row(1)[1].size(), 25u);
    EXPECT_EQ(view.label.Text(), "Wersja biblioteki FTD2XX.DLL: 3.01.15");
    EXPECT_EQ(LibraryVersion, 0x00030115u);
    EXPECT_EQ(LibraryVersionText, "Wersja biblioteki FTD2XX.DLL: 3.01.15");
    EXPECT_EQ(SystemClass, kClassNtOrOther);
    // The scratch values hold the last device's.
    EXPECT_EQ(PortNumber, 12);
    EXPECT_EQ(PortText, "COM12");
    EXPECT_EQ(DriverVersion, 0x00020C0Au);
    EXPECT_EQ(DriverVersionText, "2.0C.0A");
    EXPECT_EQ(DeviceName, "FT232R USB UART          ");
}

TEST_F(Refresh, CommonStartClearsOldRowsThenWritesTheHeader) {
    UseScenario(R"({"devices": []})");
    view.grid.SetRowCount(3);
    view.grid.SetCell(1, 2, "old");
    view.grid.EnableLog(true);
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(view.grid.Log(), (std::vector<std::string>{
                                   "SetCell(0,1,)", "SetCell(1,1,)", "SetCell(2,1,)", "SetCell(3,1,)",
                                   "SetCell(0,2,)", "SetCell(1,2,)", "SetCell(2,2,)", "SetCell(3,2,)",
                                   "Repaint", "SetRowCount(2)", "SetFixedRows(1)",
                                   "SetCell(0,0,PORT)", "SetCell(1,0,NAZWA)",
                                   "SetCell(2,0,WERSJA STEROWNIKA)", "SetCell(3,0,S/N)",
                               }));
    EXPECT_EQ(view.label.History(),
              (std::vector<std::string>{"", "Wersja biblioteki FTD2XX.DLL: 3.01.15"}));
    EXPECT_EQ(view.grid.FixedRows(), 1);
}

TEST_F(Refresh, EachDeviceRowIsCreatedBeforeItsDeviceIsAskedAndWrittenInColumnOrder) {
    UseScenario(kTwoDevices);
    view.grid.SetRowCount(2);
    view.grid.EnableLog(true);
    ASSERT_TRUE(RefreshDeviceList());
    const std::vector<std::string>& log = view.grid.Log();
    const std::vector<std::string> deviceWrites(log.begin() + 11, log.end());
    EXPECT_EQ(deviceWrites, (std::vector<std::string>{
                                "SetRowCount(2)", "SetCell(2,1,2.12.04)", "SetCell(0,1,COM7)",
                                "SetCell(1,1," + kPrefix + "COM_C     )", "SetCell(3,1,FTA1)",
                                "SetRowCount(3)", "SetCell(2,2,2.0C.0A)", "SetCell(0,2,COM12)",
                                "SetCell(1,2,FT232R USB UART          )", "SetCell(3,2,FTB2)",
                            }));
}

TEST_F(Refresh, NoDeviceLeavesHeaderAndOneEmptyRow) {
    UseScenario(R"({"library_version": "0x00030115", "devices": []})");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(Rows(), (std::vector<Row>{kHeader, kEmpty}));
    EXPECT_EQ(view.label.Text(), "Wersja biblioteki FTD2XX.DLL: 3.01.15");
    EXPECT_EQ(CallLog().size(), 3u);
    EXPECT_TRUE(sink.seen.empty());
}

TEST_F(Refresh, FailedOrZeroLibraryVersionShowsUnknownVersionAlone) {
    for (const char* scenario : {R"({"devices": [], "fail": {"FT_GetLibraryVersion": 4}})",
                                 R"({"library_version": 0, "devices": []})"}) {
        UseScenario(scenario);
        ASSERT_TRUE(RefreshDeviceList());
        EXPECT_EQ(view.label.Text(), "??.??.??") << scenario;
        EXPECT_EQ(LibraryVersion, 0u);
        EXPECT_TRUE(sink.seen.empty()) << "the version query is silent";
    }
}

TEST_F(Refresh, FailedCountShowsItsDialogAndKeepsTheLabel) {
    UseScenario(R"({"library_version": "0x00020C0A",
                    "devices": [{"serial": "FTA1", "description": "x"}],
                    "fail": {"FT_ListDevices.count": 4}})");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(Rows(), (std::vector<Row>{kHeader, kEmpty}));
    EXPECT_EQ(view.label.Text(), "Wersja biblioteki FTD2XX.DLL: 2.0C.0A");
    EXPECT_EQ(sink.seen, (std::vector<std::string>{"error:Error:GetFTDeviceCount - General IO error..."}));
    EXPECT_EQ(CallLog().back(), "FT_ListDevices(0x80000000) -> 4");
}

struct DeviceFailure {
    const char* what;
    const char* serial;         // the failing device's; "FTA1" repeats the first device's
    const char* failJson;       // the device's "fail" object
    std::vector<std::string> dialogs;
    int lastLoggedCallsForDevice;  // calls made for the failing device
};

TEST_F(Refresh, ADeviceThatCannotBeListedOpenedOrReadLeavesItsRowEmpty) {
    const DeviceFailure failures[] = {
        {"serial", "FTB2", R"({"FT_ListDevices.index": 4})", {}, 2},
        {"open", "FTB2", R"({"FT_OpenEx": 3})",
         {"error:Error:Open_USB_Device_By_Serial_Number - Device not opened..."}, 3},
        {"eeprom", "FTB2", R"({"FT_EE_Read": 11})", {"error:Error:FT_EE_Read  - EEPROM read failed..."}, 4},
        {"eeprom, status without text", "FTB2", R"({"FT_EE_Read": 18})", {"error:Error:"}, 4},
        {"location query", "FTA1", R"({"FT_ListDevices.location": 4})",
         {"error:Error:GetFTDeviceLocationByIndex - General IO error..."}, 3},
        {"open by location", "", R"({"FT_OpenEx.location": 3})",
         {"error:Error:Open_USB_Device_By_Location - Device not opened..."}, 4},
    };
    for (const DeviceFailure& f : failures) {
        SCOPED_TRACE(f.what);
        sink.seen.clear();
        UseScenario(std::string(R"({"devices": [
            {"serial": "FTA1", "description": "first", "com_port": 3},
            {"serial": ")") + f.serial + R"(", "description": "second", "com_port": 4, "fail": )" +
                    f.failJson + R"(},
            {"serial": "FTC3", "description": "third", "com_port": 5}]})");
        ASSERT_TRUE(RefreshDeviceList());
        ASSERT_EQ(view.grid.RowCount(), 4);
        EXPECT_EQ(view.grid.Row(1), (Row{"COM3", Padded("first"), "2.12.04", "FTA1"}));
        EXPECT_EQ(view.grid.Row(2), kEmpty);
        EXPECT_EQ(view.grid.Row(3), (Row{"COM5", Padded("third"), "2.12.04", "FTC3"}));
        EXPECT_EQ(sink.seen, f.dialogs);
        // 3 calls before the loop, 6 for the first device, the failing one's, 6 for the third.
        EXPECT_EQ(CallLog().size(), static_cast<std::size_t>(3 + 6 + f.lastLoggedCallsForDevice + 6));
    }
}

// A serial that is empty or repeats an earlier row's opens by location, so
// every row shows its own device; the cells keep the listed serial.
TEST_F(Refresh, DevicesWithoutASerialOfTheirOwnOpenByLocation) {
    UseScenario(R"({"devices": [
        {"serial": "A", "description": "Dual RS232-HS", "com_port": 33},
        {"serial": "B", "description": "Dual RS232-HS", "com_port": 34},
        {"serial": "A", "description": "Dual RS232-HS", "com_port": 35, "location": "0x2141"},
        {"serial": "", "description": "FT232R USB UART", "com_port": 36}]})");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(Rows(), (std::vector<Row>{kHeader,
                                        {"COM33", Padded("Dual RS232-HS"), "2.12.04", "A"},
                                        {"COM34", Padded("Dual RS232-HS"), "2.12.04", "B"},
                                        {"COM35", Padded("Dual RS232-HS"), "2.12.04", "A"},
                                        {"COM36", Padded("FT232R USB UART"), "2.12.04", ""}}));
    const std::vector<std::string> log = CallLog();
    const auto opens = [&](const std::string& listed) {
        const auto at = std::find(log.begin(), log.end(), listed);
        return at == log.end() || at + 1 == log.end() ? std::string("(not listed)") : *(at + 1);
    };
    EXPECT_EQ(opens("FT_ListDevices(0,0x40000001) -> 0 serial=\"A\""), "FT_OpenEx(\"A\",0x1) -> 0 handle=0x1");
    EXPECT_EQ(opens("FT_ListDevices(2,0x40000001) -> 0 serial=\"A\""),
              "FT_ListDevices(2,0x40000004) -> 0 location=0x00002141");
    EXPECT_EQ(opens("FT_ListDevices(2,0x40000004) -> 0 location=0x00002141"),
              "FT_OpenEx(0x00002141,0x4) -> 0 handle=0x3");
    EXPECT_EQ(opens("FT_ListDevices(3,0x40000004) -> 0 location=0x00001004"),
              "FT_OpenEx(0x00001004,0x4) -> 0 handle=0x4");
    EXPECT_TRUE(sink.seen.empty());
}

TEST_F(Refresh, ThreeDevicesSecondFailsToOpen) {
    UseScenario(R"({"devices": [
        {"serial": "S1", "description": "one", "com_port": 1},
        {"serial": "S2", "description": "two", "com_port": 2, "fail": {"FT_OpenEx": 2}},
        {"serial": "S3", "description": "three", "com_port": 3}]})");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(Rows(), (std::vector<Row>{kHeader,
                                        {"COM1", Padded("one"), "2.12.04", "S1"},
                                        kEmpty,
                                        {"COM3", Padded("three"), "2.12.04", "S3"}}));
    EXPECT_EQ(sink.seen,
              (std::vector<std::string>{"error:Error:Open_USB_Device_By_Serial_Number - Device not found..."}));
    const std::vector<std::string> log = CallLog();
    // After the failed open the loop goes straight on: close, then the next index.
    const auto failed = std::find(log.begin(), log.end(), "FT_OpenEx(\"S2\",0x1) -> 2");
    ASSERT_NE(failed, log.end());
    EXPECT_EQ(*(failed + 1), "FT_Close(0x1) -> 1") << "device 1 was closed before, the handle is stale";
    EXPECT_EQ(*(failed + 2), "FT_ListDevices(2,0x40000001) -> 0 serial=\"S3\"");
}

TEST_F(Refresh, DriverVersionFailureOrZeroShowsUnknownVersionAndFillsTheRest) {
    UseScenario(R"({"devices": [
        {"serial": "S1", "description": "one", "com_port": 1, "fail": {"FT_GetDriverVersion": 4}},
        {"serial": "S2", "description": "two", "com_port": 2, "driver_version": 0}]})");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(view.grid.Row(1), (Row{"COM1", Padded("one"), "??.??.??", "S1"}));
    EXPECT_EQ(view.grid.Row(2), (Row{"COM2", Padded("two"), "??.??.??", "S2"}));
    EXPECT_TRUE(sink.seen.empty());
}

TEST_F(Refresh, PortTexts) {
    UseScenario(R"({"devices": [
        {"serial": "S1", "description": "no port", "com_port": -1},
        {"serial": "S2", "description": "query fails", "com_port": 9, "fail": {"FT_GetComPortNumber": 4}},
        {"serial": "S3", "description": "port 3", "com_port": 3},
        {"serial": "S4", "description": "port 12", "com_port": 12}]})");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(view.grid.Cell(0, 1), "----");
    EXPECT_EQ(view.grid.Cell(0, 2), "????");
    EXPECT_EQ(view.grid.Cell(0, 3), "COM3");
    EXPECT_EQ(view.grid.Cell(0, 4), "COM12");
    EXPECT_EQ(view.grid.Cell(1, 2), Padded("query fails"));
    EXPECT_TRUE(sink.seen.empty());
}

TEST_F(Refresh, NameDecoration) {
    const struct {
        const char* description;
        std::string shown;
    } cases[] = {
        {"COM_C", kPrefix + "COM_C     "},
        {"COM_A", kPrefix + "COM_A     "},
        {"com_a", Padded("com_a")},
        {"COM_A2", Padded("COM_A2")},
        {"ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNO          "},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234"},
        {"", std::string(25, ' ')},
    };
    for (const auto& c : cases) {
        UseScenario(std::string(R"({"devices": [{"serial": "S", "com_port": 7, "description": ")") +
                    c.description + "\"}]}");
        ASSERT_TRUE(RefreshDeviceList());
        EXPECT_EQ(view.grid.Cell(1, 1), c.shown) << c.description;
        EXPECT_EQ(view.grid.Cell(0, 1), "COM7");
    }
}

TEST_F(Refresh, DeviceTextsAreDecodedAsWindows1250AfterPadding) {
    // The simulator hands the bytes of its JSON text (here C3 A9) unchanged;
    // as Windows-1250 they are two characters, and the padding counted two.
    UseScenario(R"({"devices": [{"serial": "S\u00e9", "description": "\u00e9", "com_port": 1}]})");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(view.grid.Cell(1, 1), "Ă©" + std::string(23, ' '));
    EXPECT_EQ(view.grid.Cell(3, 1), "SĂ©");
}

TEST_F(Refresh, AnUnterminatedSixteenByteSerialIsShownAndOpenedAsSixteenBytes) {
    UseScenario(R"({"serial_write": "fill",
                    "devices": [{"serial": "0123456789ABCDEFXY", "description": "long", "com_port": 1}]})");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(view.grid.Row(1), (Row{"COM1", Padded("long"), "2.12.04", "0123456789ABCDEF"}));
}

TEST_F(Refresh, ShrinkingLeavesNoOldText) {
    for (auto policy : {MemoryGrid::ShrinkPolicy::DropCells, MemoryGrid::ShrinkPolicy::KeepCells}) {
        TestView local(policy);
        UseScenario(kTwoDevices);
        ASSERT_TRUE(RefreshDeviceList());
        ASSERT_EQ(local.grid.RowCount(), 3);
        UseScenario(R"({"devices": [{"serial": "ONLY", "description": "only", "com_port": 2}]})");
        ASSERT_TRUE(RefreshDeviceList());
        EXPECT_EQ(local.grid.RowCount(), 2);
        EXPECT_EQ(local.grid.Row(1), (Row{"COM2", Padded("only"), "2.12.04", "ONLY"}));
        // Even a grid that keeps the cells of removed rows shows nothing old when it grows.
        local.grid.SetRowCount(6);
        for (int row = 2; row < 6; ++row) EXPECT_EQ(local.grid.Row(row), kEmpty) << row;
        UseScenario(R"({"devices": []})");
        ASSERT_TRUE(RefreshDeviceList());
        local.grid.SetRowCount(4);
        for (int row = 1; row < 4; ++row) EXPECT_EQ(local.grid.Row(row), kEmpty) << row;
    }
    InstallDeviceListView({&view.grid, &view.label});
}

TEST_F(Refresh, TheLastDeviceStaysOpenUntilTheNextRefresh) {
    UseScenario(kTwoDevices);
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 1);
    TorvaneSim_ClearCallLog();
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(CallLog().front(), "FT_Close(0x2) -> 0");
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 1);
}

TEST_F(Refresh, ADeviceWhoseEepromFailsIsClosedBeforeTheNextOne) {
    UseScenario(R"({"devices": [
        {"serial": "S1", "description": "one", "fail": {"FT_EE_Read": 11}},
        {"serial": "S2", "description": "two"}]})");
    ASSERT_TRUE(RefreshDeviceList());
    const std::vector<std::string> log = CallLog();
    const auto failed = std::find(log.begin(), log.end(), "FT_EE_Read(0x1) -> 11");
    ASSERT_NE(failed, log.end());
    EXPECT_EQ(*(failed + 1), "FT_Close(0x1) -> 0");
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 1);
}

TEST_F(Refresh, MoreThan255DevicesListsTheFirst255) {
    std::string devices;
    for (int i = 0; i < 300; ++i) {
        if (i > 0) devices += ",";
        devices += R"({"serial": "S)" + std::to_string(i) + R"(", "description": "d", "com_port": )" +
                   std::to_string(i + 1) + "}";
    }
    UseScenario(R"({"devices": [)" + devices + "]}");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(view.grid.RowCount(), 256);
    EXPECT_EQ(view.grid.Cell(0, 1), "COM1");
    EXPECT_EQ(view.grid.Cell(3, 255), "S254");
    EXPECT_EQ(view.grid.Cell(0, 255), "COM255");
    const std::vector<std::string> log = CallLog();
    EXPECT_EQ(log.size(), 3u + 255u * 6u);
    EXPECT_EQ(log.back(), "FT_GetComPortNumber(0xff) -> 0 port=255");
}

TEST_F(Refresh, AHugeReportedCountStopsAt255Indexes) {
    UseScenario(R"({"device_count": 4294967295, "devices": [{"serial": "S0", "description": "d", "com_port": 1}]})");
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(view.grid.RowCount(), 256);
    EXPECT_EQ(view.grid.Cell(0, 1), "COM1");
    EXPECT_EQ(view.grid.Row(255), kEmpty);
    EXPECT_EQ(CallLog().back(), "FT_ListDevices(254,0x40000001) -> 2");
}

TEST_F(Refresh, ABrokenLibraryFailsEveryCallAndTheGridStaysEmpty) {
    ASSERT_NE(TorvaneSim_LoadScenarioText("{not json"), 0);
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(Rows(), (std::vector<Row>{kHeader, kEmpty}));
    EXPECT_EQ(view.label.Text(), "??.??.??");
    // Status 18 has no text of its own: the dialog still shows, empty.
    EXPECT_EQ(sink.seen, (std::vector<std::string>{"error:Error:"}));
}

TEST_F(Refresh, ARefreshNeverStartsInsideAnother) {
    UseScenario(R"({"devices": [{"serial": "S1", "description": "one", "fail": {"FT_OpenEx": 2}},
                                {"serial": "S2", "description": "two", "com_port": 2}]})");
    std::vector<bool> nested;
    std::vector<bool> runningInside;
    sink.onError = [&] {
        // What the window's activation would do when the status dialog closes.
        runningInside.push_back(IsRefreshRunning());
        nested.push_back(RefreshDeviceList());
    };
    EXPECT_FALSE(IsRefreshRunning());
    ASSERT_TRUE(RefreshDeviceList());
    EXPECT_EQ(nested, (std::vector<bool>{false}));
    EXPECT_EQ(runningInside, (std::vector<bool>{true}));
    EXPECT_FALSE(IsRefreshRunning());
    // The declined call changed nothing: the running refresh finished its rows.
    EXPECT_EQ(view.grid.RowCount(), 3);
    EXPECT_EQ(view.grid.Cell(3, 2), "S2");
    const std::vector<std::string> log = CallLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& l) { return l.rfind("FT_GetLibraryVersion", 0) == 0; }),
              1);
}

TEST(RefreshWithoutView, IsAProgrammingError) {
    InstallDeviceListView({});
    EXPECT_THROW(RefreshDeviceList(), std::logic_error);
    EXPECT_FALSE(IsRefreshRunning());
}

}  // namespace
}  // namespace devlist
