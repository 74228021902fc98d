// FT_CreateDeviceInfoList and FT_GetDeviceInfoDetail of the full simulated
// library; see device_info.h.
#include "d2xx/sim/device_info.h"

extern "C" {

FT_STATUS FT_CALL FT_CreateDeviceInfoList(std::uint32_t* numDevices) {
    return torvane_sim::CreateDeviceInfoList(numDevices);
}

FT_STATUS FT_CALL FT_GetDeviceInfoDetail(std::uint32_t index, std::uint32_t* flags, std::uint32_t* type,
                                         std::uint32_t* id, std::uint32_t* locId, void* serialNumber,
                                         void* description, FT_HANDLE* handle) {
    return torvane_sim::GetDeviceInfoDetail(index, flags, type, id, locId, serialNumber, description, handle);
}

}  // extern "C"
