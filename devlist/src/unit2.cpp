#include "devlist/unit2.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "d2xx/D2XXUnit.h"
#include "devlist/texts.h"
#include "devlist/view.h"
#include "torvane/cp1250.h"

namespace devlist {

std::uint32_t LibraryVersion = 0;
std::uint32_t DriverVersion = 0;
std::string LibraryVersionText;
std::string DriverVersionText;
std::string PortText;
std::string DeviceName;
std::int32_t PortNumber = 0;
std::uint16_t SystemClass = 0;

namespace {

enum Column { kPortColumn = 0, kNameColumn = 1, kDriverColumn = 2, kSerialColumn = 3 };
constexpr int kColumns = 4;
constexpr int kRegistryColumnWidth = 150;

bool refreshRunning = false;

// Holds the re-entrancy flag for one refresh, also when it ends by an exception.
class RunningRefresh {
public:
    RunningRefresh() { refreshRunning = true; }
    ~RunningRefresh() { refreshRunning = false; }
    RunningRefresh(const RunningRefresh&) = delete;
    RunningRefresh& operator=(const RunningRefresh&) = delete;
};

void SetText(Grid& grid, int column, int row, const std::string& eightBit) {
    grid.SetCell(column, row, torvane::Cp1250ToUtf8(eightBit));
}

void ResetGrid(Grid& grid, Label& label) {
    label.SetText({});
    const int oldRows = grid.RowCount();
    for (int row = 1; row < oldRows; ++row)
        for (int column = 0; column < kColumns; ++column) grid.SetCell(column, row, {});
    grid.Repaint();
    grid.SetRowCount(2);
    grid.SetFixedRows(1);
    grid.SetCell(kPortColumn, 0, "PORT");
    grid.SetCell(kNameColumn, 0, "NAZWA");
    grid.SetCell(kDriverColumn, 0, "WERSJA STEROWNIKA");
    grid.SetCell(kSerialColumn, 0, "S/N");
}

// The EEPROM description up to its terminator, and never past the 64 bytes of
// the description buffer: a library may leave it unterminated.
std::string EepromDescription() {
    const char* text = d2xx::EepromData.Description;
    if (text == nullptr) return {};
    return {text, std::find(text, text + sizeof d2xx::EeDescription, '\0')};
}

// Fills row index+1 from the device at `index`; leaves the row empty when the
// device cannot be listed, opened or read.
void ListDevice(Grid& grid, int index) {
    const int row = index + 1;
    grid.SetRowCount(index + 2);
    d2xx::Close_USB_Device_Handle();
    if (d2xx::GetFTDeviceSerialByIndex(static_cast<std::uint32_t>(index)) != FT_OK) return;
    if (d2xx::Open_USB_Device_By_Serial_Number(d2xx::DeviceSerialNumber) != FT_OK) return;
    if (d2xx::Read_USB_Device_EEPROM() != FT_OK) return;

    if (d2xx::GetFTDriverVersion(DriverVersion) != FT_OK) DriverVersion = 0;
    DriverVersionText = VersionText(DriverVersion);
    SetText(grid, kDriverColumn, row, DriverVersionText);

    DeviceName = EepromDescription();
    const FT_STATUS portStatus = d2xx::GetFTComPortNumber(PortNumber);
    PortText = PortTextFor(portStatus, PortNumber);
    DeviceName = DecorateDeviceName(DeviceName);

    SetText(grid, kPortColumn, row, PortText);
    SetText(grid, kNameColumn, row, DeviceName);
    SetText(grid, kSerialColumn, row, d2xx::DeviceSerialNumber);
}

void ListD2xxDevices(Grid& grid) {
    d2xx::Close_USB_Device_Handle();
    if (d2xx::GetFTLibraryVersion(LibraryVersion) != FT_OK) LibraryVersion = 0;
    LibraryVersionText = LibraryVersionLabel(LibraryVersion);
    if (d2xx::GetFTDeviceCount() != FT_OK || d2xx::DeviceCount == 0) return;
    const int devices = static_cast<int>(std::min<std::uint32_t>(d2xx::DeviceCount, kMaxListedDevices));
    for (int index = 0; index < devices; ++index) ListDevice(grid, index);
}

// One row per record that is present and whose port no earlier row shows,
// in table order from row 1.
void ListRegistryPorts(Grid& grid) {
    ScanRegistryPorts();
    std::vector<std::string> shownPorts;
    for (const USBDEVICE& record : USBDevices) {
        if (record.PortName.empty() || record.Present == 0) continue;
        if (std::find(shownPorts.begin(), shownPorts.end(), record.PortName) != shownPorts.end()) continue;
        for (int column : {kPortColumn, kNameColumn, kDriverColumn})
            grid.SetColumnWidth(column, kRegistryColumnWidth);
        shownPorts.push_back(record.PortName);
        const int row = static_cast<int>(shownPorts.size());
        SetText(grid, kPortColumn, row, record.PortName);
        SetText(grid, kNameColumn, row, record.FriendlyName);
        SetText(grid, kDriverColumn, row, record.DriverRevision);
        grid.SetRowCount(grid.RowCount() + 1);
    }
}

}  // namespace

bool IsRefreshRunning() { return refreshRunning; }

bool RefreshDeviceList() {
    if (refreshRunning) return false;
    const DeviceListView view = InstalledDeviceListView();
    if (view.grid == nullptr || view.label == nullptr)
        throw std::logic_error("the device list has no grid and label installed");
    const RunningRefresh running;
    Grid& grid = *view.grid;
    Label& label = *view.label;

    ResetGrid(grid, label);
    SystemClass = GetSystemClass();
    if (SystemClass == kClassNtOrOther) {
        ListD2xxDevices(grid);
    } else {
        ListRegistryPorts(grid);
    }
    label.SetText(torvane::Cp1250ToUtf8(LibraryVersionText));
    return true;
}

}  // namespace devlist
