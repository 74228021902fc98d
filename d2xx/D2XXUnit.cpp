#include "d2xx/D2XXUnit.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#include "d2xx/library_loader.h"
#include "torvane/messages.h"

namespace d2xx {
namespace {

// A buffer the library writes into, followed by room the layer never reads.
constexpr std::size_t kSpareBytes = 64;
template <std::size_t Size>
struct GuardedBuffer {
    char bytes[Size];
    char spare[kSpareBytes];
};

GuardedBuffer<64> manufacturerStorage{};
GuardedBuffer<16> manufacturerIdStorage{};
GuardedBuffer<64> descriptionStorage{};
GuardedBuffer<16> serialNumberStorage{};

constexpr std::size_t kSerialBufferSize = sizeof serialNumberStorage.bytes;
constexpr std::size_t kLongestOpenSerial = 49;
// More nodes than any refresh lists are not asked for (a faulty count of 2^32-1, say).
constexpr std::uint32_t kMaxInfoNodes = 1024;

// Suffixes of the status dialog for statuses 1 to 17.
constexpr const char* kStatusSuffixes[] = {
    " - Invalid handle...",
    " - Device not found...",
    " - Device not opened...",
    " - General IO error...",
    " - Insufficient resources...",
    " - Invalid parameter...",
    " - Invalid baud rate...",
    " Device not opened for erase...",
    " Device not opened for write...",
    " - Failed to write...",
    " - EEPROM read failed...",
    " - EEPROM write failed...",
    " - EEPROM erase failed...",
    " - EEPROM not present...",
    " - EEPROM not programmed...",
    " - Invalid arguments...",
    " - Other error ...",
};
constexpr FT_STATUS kLastStatusWithText = std::size(kStatusSuffixes);

[[noreturn]] void EndForMissingLibrary() {
    torvane::Messages().ShowFatal("BŁĄD", "BRAK BIBLIOTEKI FTD2XX.DLL");
    std::exit(0);
}

// The vendor library loaded by name for the span of one call.
class LibraryForOneCall {
public:
    LibraryForOneCall()
        : loader_(ActiveLibraryLoader()), library_(loader_.Load(VendorLibraryFileName())) {
        if (library_ == nullptr) EndForMissingLibrary();
    }
    ~LibraryForOneCall() { loader_.Release(library_); }
    LibraryForOneCall(const LibraryForOneCall&) = delete;
    LibraryForOneCall& operator=(const LibraryForOneCall&) = delete;

    template <typename Function>
    Function Find(const char* name) {
        return reinterpret_cast<Function>(loader_.Find(library_, name));
    }

private:
    LibraryLoader& loader_;
    LibraryLoader::Library library_;
};

// Loads the library, calls the function looked up by name and releases the
// library again; the address is never kept from one call to the next.
template <typename Function, typename... Args>
FT_STATUS CallByName(const char* name, Args... args) {
    LibraryForOneCall library;
    const auto function = library.Find<Function>(name);
    if (function == nullptr) return kMissingLibraryFunction;
    return function(args...);
}

using d2xx_abi::ValueArgument;

// A text the library wrote into a buffer of `size` bytes, which it may leave unterminated.
std::string BoundedText(const char* buffer, std::size_t size) {
    return {buffer, std::find(buffer, buffer + size, '\0')};
}

}  // namespace

FT_HANDLE DeviceHandle = nullptr;
std::uint32_t DeviceCount = 0;
std::string DeviceSerialNumber;
std::uint32_t DeviceLocation = 0;
char OpenSerialBuffer[50] = {};
char (&EeManufacturer)[64] = manufacturerStorage.bytes;
char (&EeManufacturerId)[16] = manufacturerIdStorage.bytes;
char (&EeDescription)[64] = descriptionStorage.bytes;
char (&EeSerialNumber)[16] = serialNumberStorage.bytes;
FT_PROGRAM_DATA EepromData = {};
bool ShowDeviceErrors = true;

std::string StatusDialogText(const std::string& operationName, FT_STATUS status) {
    if (status < 1 || status > kLastStatusWithText) return {};
    return operationName + kStatusSuffixes[status - 1];
}

void ReportDeviceStatus(const std::string& operationName, FT_STATUS status) {
    if (!ShowDeviceErrors || status == FT_OK) return;
    // A status without a suffix still shows the dialog, with an empty text.
    torvane::Messages().ShowError("Error", StatusDialogText(operationName, status));
}

FT_STATUS GetFTDeviceCount() {
    const FT_STATUS status = FT_ListDevices(&DeviceCount, nullptr, FT_LIST_NUMBER_ONLY);
    ReportDeviceStatus("GetFTDeviceCount", status);
    return status;
}

FT_STATUS GetFTDeviceSerialByIndex(std::uint32_t index) {
    const FT_STATUS status = FT_ListDevices(ValueArgument(index), EeSerialNumber,
                                            FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
    if (status == FT_OK) {
        // A serial that fills all 16 bytes comes without a terminator.
        const char* first = EeSerialNumber;
        const char* end = std::find(first, first + kSerialBufferSize, '\0');
        DeviceSerialNumber.assign(first, end);
    }
    return status;
}

FT_STATUS Open_USB_Device_By_Serial_Number(const std::string& serialNumber) {
    // Only the text and its terminator are written: bytes behind the
    // terminator keep what a longer, earlier serial left there.
    OpenSerialBuffer[0] = '\0';
    const std::size_t length = std::min(serialNumber.size(), kLongestOpenSerial);
    if (length > 0) {
        std::memcpy(OpenSerialBuffer, serialNumber.data(), length);
        OpenSerialBuffer[length] = '\0';
    }
    const FT_STATUS status = FT_OpenEx(OpenSerialBuffer, FT_OPEN_BY_SERIAL_NUMBER, &DeviceHandle);
    ReportDeviceStatus("Open_USB_Device_By_Serial_Number", status);
    return status;
}

FT_STATUS GetFTDeviceLocationByIndex(std::uint32_t index) {
    // Listed into a local first: on failure the variable keeps its value.
    std::uint32_t location = 0;
    const FT_STATUS status = FT_ListDevices(ValueArgument(index), &location,
                                            FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION);
    if (status == FT_OK) DeviceLocation = location;
    ReportDeviceStatus("GetFTDeviceLocationByIndex", status);
    return status;
}

FT_STATUS Open_USB_Device_By_Location(std::uint32_t location) {
    const FT_STATUS status =
        FT_OpenEx(ValueArgument(location), FT_OPEN_BY_LOCATION, &DeviceHandle);
    ReportDeviceStatus("Open_USB_Device_By_Location", status);
    return status;
}

FT_STATUS Close_USB_Device_Handle() { return FT_Close(DeviceHandle); }

FT_STATUS Read_USB_Device_EEPROM() {
    std::memset(&EepromData, 0, sizeof EepromData);
    EepromData.Signature1 = 0x00000000;
    EepromData.Signature2 = 0xFFFFFFFF;
    EepromData.Version = 2;
    EepromData.Manufacturer = EeManufacturer;
    EepromData.ManufacturerId = EeManufacturerId;
    EepromData.Description = EeDescription;
    EepromData.SerialNumber = EeSerialNumber;
    const FT_STATUS status = FT_EE_Read(DeviceHandle, &EepromData);
    ReportDeviceStatus("FT_EE_Read ", status);
    return status;
}

FT_STATUS GetFTDriverVersion(std::uint32_t& version) {
    return CallByName<FT_GetDriverVersion_t>("FT_GetDriverVersion", DeviceHandle, &version);
}

FT_STATUS GetFTLibraryVersion(std::uint32_t& version) {
    return CallByName<FT_GetLibraryVersion_t>("FT_GetLibraryVersion", &version);
}

FT_STATUS GetFTDeviceInfoList(std::vector<DeviceInfoNode>& nodes) {
    nodes.clear();
    LibraryForOneCall library;
    const auto create = library.Find<FT_CreateDeviceInfoList_t>("FT_CreateDeviceInfoList");
    const auto detail = library.Find<FT_GetDeviceInfoDetail_t>("FT_GetDeviceInfoDetail");
    if (create == nullptr || detail == nullptr) return kMissingLibraryFunction;
    std::uint32_t count = 0;
    if (const FT_STATUS status = create(&count); status != FT_OK) return status;
    for (std::uint32_t index = 0; index < count && index < kMaxInfoNodes; ++index) {
        GuardedBuffer<16> serial{};
        GuardedBuffer<64> description{};
        DeviceInfoNode node;
        FT_HANDLE handle = nullptr;
        if (detail(index, &node.flags, &node.type, &node.id, &node.location, serial.bytes, description.bytes,
                   &handle) != FT_OK)
            continue;
        node.serialNumber = BoundedText(serial.bytes, sizeof serial.bytes);
        node.description = BoundedText(description.bytes, sizeof description.bytes);
        nodes.push_back(std::move(node));
    }
    return FT_OK;
}

FT_STATUS GetFTLatencyTimer(std::uint8_t& milliseconds) {
    return CallByName<FT_GetLatencyTimer_t>("FT_GetLatencyTimer", DeviceHandle, &milliseconds);
}

FT_STATUS SetFTLatencyTimer(std::uint8_t milliseconds) {
    return CallByName<FT_SetLatencyTimer_t>("FT_SetLatencyTimer", DeviceHandle, milliseconds);
}

FT_STATUS GetFTComPortNumber(std::int32_t& portNumber) {
    return CallByName<FT_GetComPortNumber_t>("FT_GetComPortNumber", DeviceHandle, &portNumber);
}

}  // namespace d2xx
