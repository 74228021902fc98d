#pragma once
// D2XXUnit: the thin layer over the vendor's D2XX library. Results live in the
// unit's variables below, which callers read after a call returned FT_OK; every
// operation returns the library's status unchanged. One device handle is shared
// by all operations. GUI thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "d2xx/ftd2xx_abi.h"

namespace d2xx {

// Never reset by the layer: after a close or a failed open it keeps its value.
extern FT_HANDLE DeviceHandle;
extern std::uint32_t DeviceCount;
// The serial listed by the last successful GetFTDeviceSerialByIndex.
extern std::string DeviceSerialNumber;
// The location listed by the last successful GetFTDeviceLocationByIndex.
extern std::uint32_t DeviceLocation;
// The zero-terminated serial handed to FT_OpenEx (at most 49 characters).
extern char OpenSerialBuffer[50];
// The four buffers the library writes texts into. Each has spare room behind
// it, out of reach of these names, so that a library writing past the
// documented size (a terminating 17th byte after a 16-byte serial, say) cannot
// overwrite anything else; the layer only ever reads the documented size.
extern char (&EeManufacturer)[64];
extern char (&EeManufacturerId)[16];
extern char (&EeDescription)[64];
extern char (&EeSerialNumber)[16];
// Set up by Read_USB_Device_EEPROM before every read; its four text pointers
// designate the four buffers above.
extern FT_PROGRAM_DATA EepromData;
extern bool ShowDeviceErrors;

// What the three by-name operations return when the library lacks the function.
inline constexpr FT_STATUS kMissingLibraryFunction = FT_NOT_SUPPORTED;

FT_STATUS GetFTDeviceCount();
FT_STATUS GetFTDeviceSerialByIndex(std::uint32_t index);
FT_STATUS Open_USB_Device_By_Serial_Number(const std::string& serialNumber);
// The by-location pair, for devices whose serial cannot tell them apart (empty,
// or shared with another device): the same two library functions in their
// location shape. Both show the status dialog on failure, as the open does.
FT_STATUS GetFTDeviceLocationByIndex(std::uint32_t index);
FT_STATUS Open_USB_Device_By_Location(std::uint32_t location);
FT_STATUS Close_USB_Device_Handle();
FT_STATUS Read_USB_Device_EEPROM();
// The next three look their library function up by name on every call. When the
// library cannot be loaded they show the missing-library box and end the
// program (exit code 0); they never return then.
FT_STATUS GetFTDriverVersion(std::uint32_t& version);
FT_STATUS GetFTLibraryVersion(std::uint32_t& version);
FT_STATUS GetFTComPortNumber(std::int32_t& portNumber);

// One entry of the vendor's device information list. Texts are 8-bit.
struct DeviceInfoNode {
    std::uint32_t flags = 0;
    std::uint32_t type = 0;      // the vendor's device type (FT_DEVICE_232R = 5, ...)
    std::uint32_t id = 0;        // USB vendor id << 16 | product id
    std::uint32_t location = 0;  // the vendor's location id
    std::string serialNumber;
    std::string description;
};
// The vendor's device information list: FT_CreateDeviceInfoList, then
// FT_GetDeviceInfoDetail for each index, both looked up by name in one load of
// the library (as the three above; a library that cannot be loaded ends the
// program the same way). Silent. kMissingLibraryFunction, with `nodes` empty,
// when the library lacks either function; an index whose detail query fails
// is left out. Not part of the refresh: the console lister's extra fields.
FT_STATUS GetFTDeviceInfoList(std::vector<DeviceInfoNode>& nodes);

// The open device's latency timer (DeviceHandle), through FT_GetLatencyTimer
// and FT_SetLatencyTimer looked up by name as the three above. Silent;
// kMissingLibraryFunction when the library lacks the function. Not part of
// the refresh: the console lister's latency field and --set-latency.
FT_STATUS GetFTLatencyTimer(std::uint8_t& milliseconds);
FT_STATUS SetFTLatencyTimer(std::uint8_t milliseconds);

// The status dialog: operation name followed by the status's suffix, through
// the message seam (error kind, caption "Error").
void ReportDeviceStatus(const std::string& operationName, FT_STATUS status);
// The dialog text for a status: empty for 0 and for anything above 17.
std::string StatusDialogText(const std::string& operationName, FT_STATUS status);

}  // namespace d2xx
