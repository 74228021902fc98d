#pragma once
// Windows error codes for the POSIX stand-in: the thread's last error and the
// one place where an errno becomes a Windows code.
#include "serial/platform/win32_calls.h"

namespace winapi::posix {

// Codes the stand-in reports that the seam header does not name.
constexpr DWORD ERROR_INVALID_FUNCTION = 1;

// General translation of an errno taken right after a failed call (never 0).
DWORD windowsErrorFromErrno(int error);
// The modem-line and break ioctls: a device without modem lines (a pty)
// answers ENOTTY or EINVAL, which Windows reports as ERROR_NOT_SUPPORTED.
DWORD windowsErrorFromModemErrno(int error);

// Sets the last error and returns FALSE: the usual tail of a failing call.
inline BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace winapi::posix
