#pragma once
// unit2: the device list refresh, the system classification and the registry
// port survey. Runs on the GUI thread only. The refresh writes into the grid
// and label installed through devlist/view.h.
//
// Texts held in the unit's variables are 8-bit (Windows-1250), as the vendor
// library and the ANSI registry give them; the prefix and padding of device
// names work on those bytes. Only the cells and the label get UTF-8, decoded
// when they are written.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "devlist/system.h"

namespace devlist {

// Module variables; they persist from one refresh to the next.
extern std::uint32_t LibraryVersion;     // 0: no version
extern std::uint32_t DriverVersion;      // of the current device; 0: no version
extern std::string LibraryVersionText;   // the label's text; only the D2XX path writes it
extern std::string DriverVersionText;    // scratch, per device
extern std::string PortText;             // scratch, per device
extern std::string DeviceName;           // scratch, per device (8-bit)
extern std::int32_t PortNumber;          // scratch, per device
extern std::uint16_t SystemClass;        // the last result of GetSystemClass

// The most devices (and registry records) one refresh serves: its counters
// are 8-bit. A larger device count lists the first 255.
inline constexpr int kMaxListedDevices = 255;

// One FTDI port known to the registry. Texts are 8-bit.
struct USBDEVICE {
    std::string ClassGUID;
    std::string PortName;
    std::string FriendlyName;
    std::string DriverRevision;  // never written by the survey
    std::uint8_t Present = 0;    // 1 when PortName is listed under SERIALCOMM
};
inline constexpr int kUsbDeviceRecords = 255;
extern std::array<USBDEVICE, kUsbDeviceRecords> USBDevices;

// Rebuilds the grid and the label. Returns false, doing nothing, when called
// while a refresh is already running (e.g. from the window's activation
// handler while a status dialog of the running refresh is shown); true when
// it ran. A RegistryError from the registry path propagates to the caller
// (which shows its message with a full stop); the guard is released either way.
// Throws std::logic_error when no grid and label are installed.
bool RefreshDeviceList();

// True while a refresh runs.
bool IsRefreshRunning();

// Called with the grid row of every device the D2XX path listed, right after
// its row was filled and while the device is still open (d2xx::DeviceHandle),
// so that per-device settings can be read through the refresh's own handle
// (the console lister's latency timer). An empty function (the default) is
// none; the window installs none, so its calls stay as they are.
void InstallListedRowObserver(std::function<void(int row)> observer);

// Updates USBDevices from the registry installed through devlist/registry.h:
// the FTDI port records, then the SERIALCOMM map, then the Present marks.
// Propagates a RegistryError raised while reading the SERIALCOMM map.
void ScanRegistryPorts();

}  // namespace devlist
