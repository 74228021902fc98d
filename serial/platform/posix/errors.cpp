#include "serial/platform/posix/errors.h"

#include <cerrno>

namespace winapi {

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

void SetLastError(DWORD errorCode) { lastError = errorCode; }
DWORD GetLastError() { return lastError; }

namespace posix {

DWORD windowsErrorFromErrno(int error) {
    switch (error) {
        case ENOENT: case ENXIO: case ENODEV: case ENOTDIR: case ELOOP: return ERROR_FILE_NOT_FOUND;
        case EACCES: case EPERM: case EBUSY: case EWOULDBLOCK: case EISDIR: case EROFS: return ERROR_ACCESS_DENIED;
        case EBADF: return ERROR_INVALID_HANDLE;
        case ENOMEM: case ENOSPC: case EMFILE: case ENFILE: return ERROR_NOT_ENOUGH_MEMORY;
        case EINVAL: case ERANGE: return ERROR_INVALID_PARAMETER;
        case ENOTTY: case ENOSYS: case EOPNOTSUPP: return ERROR_INVALID_FUNCTION;
        default: return ERROR_GEN_FAILURE;
    }
}

DWORD windowsErrorFromModemErrno(int error) {
    if (error == ENOTTY || error == EINVAL || error == EOPNOTSUPP) return ERROR_NOT_SUPPORTED;
    return windowsErrorFromErrno(error);
}

}  // namespace posix
}  // namespace winapi
