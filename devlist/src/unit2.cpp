#include "devlist/unit2.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <utility>
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
std::function<void(int)> listedRowObserver;

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

// Opens the device at `index` by its listed serial when that names it alone.
// An open by serial gives the first device with that serial, so a serial that
// is empty or that an earlier row already listed (channels of serial-less
// multi-channel chips, copies of one chip sharing a serial) would show another
// device's port and texts: such a device is opened by its location instead.
FT_STATUS OpenListedDevice(std::uint32_t index, std::set<std::string>& listedSerials) {
    const std::string& serial = d2xx::DeviceSerialNumber;
    const bool namesOneDevice = !serial.empty() && listedSerials.insert(serial).second;
    if (namesOneDevice) return d2xx::Open_USB_Device_By_Serial_Number(serial);
    if (const FT_STATUS status = d2xx::GetFTDeviceLocationByIndex(index); status != FT_OK) return status;
    return d2xx::Open_USB_Device_By_Location(d2xx::DeviceLocation);
}

// Fills row index+1 from the device at `index`; leaves the row empty when the
// device cannot be listed, opened or read.
void ListDevice(Grid& grid, int index, std::set<std::string>& listedSerials) {
    const int row = index + 1;
    const auto libraryIndex = static_cast<std::uint32_t>(index);
    grid.SetRowCount(index + 2);
    d2xx::Close_USB_Device_Handle();
    if (d2xx::GetFTDeviceSerialByIndex(libraryIndex) != FT_OK) return;
    if (OpenListedDevice(libraryIndex, listedSerials) != FT_OK) return;
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
    if (listedRowObserver) listedRowObserver(row);
}

void ListD2xxDevices(Grid& grid) {
    d2xx::Close_USB_Device_Handle();
    if (d2xx::GetFTLibraryVersion(LibraryVersion) != FT_OK) LibraryVersion = 0;
    LibraryVersionText = LibraryVersionLabel(LibraryVersion);
    if (d2xx::GetFTDeviceCount() != FT_OK || d2xx::DeviceCount == 0) return;
    const int devices = static_cast<int>(std::min<std::uint32_t>(d2xx::DeviceCount, kMaxListedDevices));
    std::set<std::string> listedSerials;
    for (int index = 0; index < devices; ++index) ListDevice(grid, index, listedSerials);
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

void InstallListedRowObserver(std::function<void(int row)> observer) { listedRowObserver = std::move(observer); }

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
