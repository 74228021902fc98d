// The errno of a failed write on Windows.
#include <windows.h>

#include <cerrno>
#include <cstdlib>

#include "app/window_options.h"

namespace app {

// msvcrt maps only ERROR_BROKEN_PIPE to EPIPE: a write to a pipe whose reader
// closed it fails with ERROR_NO_DATA or ERROR_PIPE_NOT_CONNECTED, which it
// reports as EINVAL. The system's own error, kept in _doserrno beside errno,
// tells them from a real EINVAL.
int ErrnoOfFailedWrite() {
    const int error = errno != 0 ? errno : EIO;
    if (error != EINVAL) return error;
    const unsigned long system = _doserrno;
    return system == ERROR_NO_DATA || system == ERROR_PIPE_NOT_CONNECTED ? EPIPE : error;
}

}  // namespace app
