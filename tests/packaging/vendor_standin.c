/* A stand-in for the vendor's FTD2XX.DLL installed in the system folder, for
 * the check of the Windows zip (scripts/check-packages.sh): the seven
 * functions, no device, library version 9.09.09, and none of the simulated
 * library's control functions, so that the programs take it for the
 * vendor's. Built by that script; never shipped.
 *   i686-w64-mingw32-gcc-posix -shared -o FTD2XX.DLL vendor_standin.c -Wl,--kill-at */
#include <stdint.h>

#define STANDIN __declspec(dllexport) uint32_t __stdcall

enum { kOk = 0, kDeviceNotFound = 2, kInvalidHandle = 1 };

STANDIN FT_ListDevices(void* countOrIndex, void* buffer, uint32_t flags) {
    (void)buffer;
    if (flags != 0x80000000u || countOrIndex == 0) return kDeviceNotFound;
    *(uint32_t*)countOrIndex = 0;  /* FT_LIST_NUMBER_ONLY: no device */
    return kOk;
}
STANDIN FT_OpenEx(void* argument, uint32_t flags, void** handle) {
    (void)argument, (void)flags, (void)handle;
    return kDeviceNotFound;
}
STANDIN FT_Close(void* handle) { return handle == 0 ? kInvalidHandle : kOk; }
STANDIN FT_EE_Read(void* handle, void* data) {
    (void)handle, (void)data;
    return kInvalidHandle;
}
STANDIN FT_GetDriverVersion(void* handle, uint32_t* version) {
    (void)handle, (void)version;
    return kInvalidHandle;
}
STANDIN FT_GetLibraryVersion(uint32_t* version) {
    *version = 0x00090909;
    return kOk;
}
STANDIN FT_GetComPortNumber(void* handle, int32_t* port) {
    (void)handle, (void)port;
    return kInvalidHandle;
}
