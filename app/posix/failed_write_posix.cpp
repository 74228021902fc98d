// The errno of a failed write on POSIX systems: the system's own.
#include <cerrno>

#include "app/window_options.h"

namespace app {

int ErrnoOfFailedWrite() { return errno != 0 ? errno : EIO; }

}  // namespace app
