#pragma once
// D2XXUnit: the thin layer over the vendor's D2XX library. Results live in the
// unit's variables below, which callers read after a call returned FT_OK; every
// operation returns the library's status unchanged. One device handle is shared
// by all operations. GUI thread only.
#include <cstdint>
#include <string>

#include "d2xx/ftd2xx_abi.h"

namespace d2xx {

extern FT_HANDLE DeviceHandle;
extern std::uint32_t DeviceCount;
extern std::string DeviceSerialNumber;
extern char OpenSerialBuffer[50];
extern char EeManufacturer[64];
extern char EeManufacturerId[16];
extern char EeDescription[64];
extern char EeSerialNumber[16];
extern FT_PROGRAM_DATA EepromData;
extern bool ShowDeviceErrors;

FT_STATUS GetFTDeviceCount();
FT_STATUS GetFTDeviceSerialByIndex(std::uint32_t index);
FT_STATUS Open_USB_Device_By_Serial_Number(const std::string& serialNumber);
FT_STATUS Close_USB_Device_Handle();
FT_STATUS Read_USB_Device_EEPROM();
FT_STATUS GetFTDriverVersion(std::uint32_t& version);
FT_STATUS GetFTLibraryVersion(std::uint32_t& version);
FT_STATUS GetFTComPortNumber(std::int32_t& portNumber);

// The status dialog: operation name followed by the status's suffix, through
// the message seam (error kind, caption "Error").
void ReportDeviceStatus(const std::string& operationName, FT_STATUS status);
// The dialog text for a status: empty for 0 and for anything above 17.
std::string StatusDialogText(const std::string& operationName, FT_STATUS status);

}  // namespace d2xx
