#pragma once
// Our own declaration of the vendor's D2XX ABI: the seven functions the device
// list calls, the two device-information functions and the latency timer pair
// the console lister looks up by name (a library without them still serves the list), their status codes,
// flags, device types and the FT_PROGRAM_DATA record up to its Version 2
// fields. Written from the publicly documented signatures; any library
// exporting the seven functions with these types can serve.
#include <cstdint>

#if defined(_WIN32)
#define FT_CALL __stdcall
#else
#define FT_CALL
#endif

#if defined(_WIN32) && defined(FT_BUILDING_LIBRARY)
#define FT_EXPORT __declspec(dllexport)
#elif defined(FT_BUILDING_LIBRARY)
#define FT_EXPORT __attribute__((visibility("default")))
#else
#define FT_EXPORT
#endif

extern "C" {

typedef std::uint32_t FT_STATUS;
typedef void* FT_HANDLE;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_DEVICE_NOT_OPENED_FOR_ERASE = 8,
    FT_DEVICE_NOT_OPENED_FOR_WRITE = 9,
    FT_FAILED_TO_WRITE_DEVICE = 10,
    FT_EEPROM_READ_FAILED = 11,
    FT_EEPROM_WRITE_FAILED = 12,
    FT_EEPROM_ERASE_FAILED = 13,
    FT_EEPROM_NOT_PRESENT = 14,
    FT_EEPROM_NOT_PROGRAMMED = 15,
    FT_INVALID_ARGS = 16,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
};

// FT_ListDevices flags.
constexpr std::uint32_t FT_LIST_NUMBER_ONLY = 0x80000000u;
constexpr std::uint32_t FT_LIST_BY_INDEX = 0x40000000u;
constexpr std::uint32_t FT_LIST_ALL = 0x20000000u;
// FT_OpenEx / FT_ListDevices: what identifies the device.
constexpr std::uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1u;
constexpr std::uint32_t FT_OPEN_BY_DESCRIPTION = 2u;
constexpr std::uint32_t FT_OPEN_BY_LOCATION = 4u;

// FT_GetDeviceInfoDetail: the device's flags and its chip type, numbered as
// the vendor numbers them.
constexpr std::uint32_t FT_FLAGS_OPENED = 1u;   // open through a handle of this process
constexpr std::uint32_t FT_FLAGS_HISPEED = 2u;  // enumerated at USB high speed
typedef std::uint32_t FT_DEVICE;
enum : FT_DEVICE {
    FT_DEVICE_BM = 0,
    FT_DEVICE_AM = 1,
    FT_DEVICE_100AX = 2,
    FT_DEVICE_UNKNOWN = 3,
    FT_DEVICE_2232C = 4,
    FT_DEVICE_232R = 5,
    FT_DEVICE_2232H = 6,
    FT_DEVICE_4232H = 7,
    FT_DEVICE_232H = 8,
    FT_DEVICE_X_SERIES = 9,
    FT_DEVICE_4222H_0 = 10,
    FT_DEVICE_4222H_1_2 = 11,
    FT_DEVICE_4222H_3 = 12,
    FT_DEVICE_4222_PROG = 13,
    FT_DEVICE_900 = 14,
    FT_DEVICE_930 = 15,
    FT_DEVICE_UMFTPD3A = 16,
    FT_DEVICE_2233HP = 17,
    FT_DEVICE_4233HP = 18,
    FT_DEVICE_2232HP = 19,
    FT_DEVICE_4232HP = 20,
    FT_DEVICE_233HP = 21,
    FT_DEVICE_232HP = 22,
    FT_DEVICE_2232HA = 23,
    FT_DEVICE_4232HA = 24,
    FT_DEVICE_232RN = 25,
};

// The EEPROM record, header and fields up to the end of Version 2 (87 bytes of
// fields on a 32-bit target). A library fills fields only up to the version the
// caller puts in Version.
struct FT_PROGRAM_DATA {
    std::uint32_t Signature1;  // 0x00000000
    std::uint32_t Signature2;  // 0xFFFFFFFF
    std::uint32_t Version;     // 2 for the fields below
    std::uint16_t VendorId;
    std::uint16_t ProductId;
    char* Manufacturer;
    char* ManufacturerId;
    char* Description;
    char* SerialNumber;
    std::uint16_t MaxPower;
    std::uint16_t PnP;
    std::uint16_t SelfPowered;
    std::uint16_t RemoteWakeup;
    // Rev4 (FT232B)
    std::uint8_t Rev4;
    std::uint8_t IsoIn;
    std::uint8_t IsoOut;
    std::uint8_t PullDownEnable;
    std::uint8_t SerNumEnable;
    std::uint8_t USBVersionEnable;
    std::uint16_t USBVersion;
    // Rev5 (FT2232)
    std::uint8_t Rev5;
    std::uint8_t IsoInA;
    std::uint8_t IsoInB;
    std::uint8_t IsoOutA;
    std::uint8_t IsoOutB;
    std::uint8_t PullDownEnable5;
    std::uint8_t SerNumEnable5;
    std::uint8_t USBVersionEnable5;
    std::uint16_t USBVersion5;
    std::uint8_t AIsHighCurrent;
    std::uint8_t BIsHighCurrent;
    std::uint8_t IFAIsFifo;
    std::uint8_t IFAIsFifoTar;
    std::uint8_t IFAIsFastSer;
    std::uint8_t AIsVCP;
    std::uint8_t IFBIsFifo;
    std::uint8_t IFBIsFifoTar;
    std::uint8_t IFBIsFastSer;
    std::uint8_t BIsVCP;
    // Rev6 (FT232R), the last fields of Version 2
    std::uint8_t UseExtOsc;
    std::uint8_t HighDriveIOs;
    std::uint8_t EndPointSize;
    std::uint8_t PullDownEnableR;
    std::uint8_t SerNumEnableR;
    std::uint8_t InvertTXD;
    std::uint8_t InvertRXD;
    std::uint8_t InvertRTS;
    std::uint8_t InvertCTS;
    std::uint8_t InvertDTR;
    std::uint8_t InvertDSR;
    std::uint8_t InvertDCD;
    std::uint8_t InvertRI;
    std::uint8_t Cbus0;
    std::uint8_t Cbus1;
    std::uint8_t Cbus2;
    std::uint8_t Cbus3;
    std::uint8_t Cbus4;
    std::uint8_t RIsD2XX;
};

FT_EXPORT FT_STATUS FT_CALL FT_ListDevices(void* arg1, void* arg2, std::uint32_t flags);
FT_EXPORT FT_STATUS FT_CALL FT_OpenEx(void* arg1, std::uint32_t flags, FT_HANDLE* handle);
FT_EXPORT FT_STATUS FT_CALL FT_Close(FT_HANDLE handle);
FT_EXPORT FT_STATUS FT_CALL FT_EE_Read(FT_HANDLE handle, FT_PROGRAM_DATA* data);
FT_EXPORT FT_STATUS FT_CALL FT_GetDriverVersion(FT_HANDLE handle, std::uint32_t* version);
FT_EXPORT FT_STATUS FT_CALL FT_GetLibraryVersion(std::uint32_t* version);
FT_EXPORT FT_STATUS FT_CALL FT_GetComPortNumber(FT_HANDLE handle, std::int32_t* portNumber);
// Builds the library's device information list and writes its length.
FT_EXPORT FT_STATUS FT_CALL FT_CreateDeviceInfoList(std::uint32_t* numDevices);
// One entry of the list the last FT_CreateDeviceInfoList built: flags, type,
// id ((vendor id << 16) | product id), location, serial (16-byte buffer),
// description (64-byte buffer) and the handle this process holds on it (null
// when it is not open).
FT_EXPORT FT_STATUS FT_CALL FT_GetDeviceInfoDetail(std::uint32_t index, std::uint32_t* flags, std::uint32_t* type,
                                                   std::uint32_t* id, std::uint32_t* locId, void* serialNumber,
                                                   void* description, FT_HANDLE* handle);
// The open device's latency timer in ms: how long the chip holds received
// bytes that do not fill a USB packet. Chips take 1 to 255.
FT_EXPORT FT_STATUS FT_CALL FT_GetLatencyTimer(FT_HANDLE handle, std::uint8_t* milliseconds);
FT_EXPORT FT_STATUS FT_CALL FT_SetLatencyTimer(FT_HANDLE handle, std::uint8_t milliseconds);

// The three functions looked up by name on every call.
typedef FT_STATUS(FT_CALL* FT_GetDriverVersion_t)(FT_HANDLE, std::uint32_t*);
typedef FT_STATUS(FT_CALL* FT_GetLibraryVersion_t)(std::uint32_t*);
typedef FT_STATUS(FT_CALL* FT_GetComPortNumber_t)(FT_HANDLE, std::int32_t*);
// The two device-information functions, looked up by name by their callers.
typedef FT_STATUS(FT_CALL* FT_CreateDeviceInfoList_t)(std::uint32_t*);
typedef FT_STATUS(FT_CALL* FT_GetDeviceInfoDetail_t)(std::uint32_t, std::uint32_t*, std::uint32_t*, std::uint32_t*,
                                                     std::uint32_t*, void*, void*, FT_HANDLE*);
// The latency timer pair, looked up by name by the console lister.
typedef FT_STATUS(FT_CALL* FT_GetLatencyTimer_t)(FT_HANDLE, std::uint8_t*);
typedef FT_STATUS(FT_CALL* FT_SetLatencyTimer_t)(FT_HANDLE, std::uint8_t);

}  // extern "C"

// FT_ListDevices by index and FT_OpenEx by location carry a number, not an
// address, in their pointer-sized first argument.
namespace d2xx_abi {

inline void* ValueArgument(std::uint32_t value) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(value)); }
inline std::uint32_t ArgumentValue(const void* argument) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(argument));
}

// The caller's buffers of FT_GetDeviceInfoDetail, as in the vendor's list node.
constexpr std::uint32_t kInfoSerialSize = 16;
constexpr std::uint32_t kInfoDescriptionSize = 64;

}  // namespace d2xx_abi
