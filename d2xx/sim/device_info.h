#pragma once
// The simulator's two device-information functions, run like the seven vendor
// functions (under the library's lock, no exception out). The full library
// exports them as FT_CreateDeviceInfoList and FT_GetDeviceInfoDetail
// (device_info_exports.cpp); the seven-function library leaves them
// unexported, so that a caller's by-name lookup fails as with a vendor library
// that lacks them.
#include <cstdint>

#include "d2xx/ftd2xx_abi.h"

namespace torvane_sim {

FT_STATUS CreateDeviceInfoList(std::uint32_t* count);
FT_STATUS GetDeviceInfoDetail(std::uint32_t index, std::uint32_t* flags, std::uint32_t* type, std::uint32_t* id,
                              std::uint32_t* location, void* serial, void* description, FT_HANDLE* handle);

}  // namespace torvane_sim
