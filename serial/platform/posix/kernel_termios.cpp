// The only file that includes the kernel's termios headers (see the header).
#include "serial/platform/posix/kernel_termios.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstddef>

namespace winapi::posix {

static_assert(kTermiosBother == BOTHER);
// The same record as termios2, field by field, so the ioctls take it as it is.
static_assert(sizeof(KernelTermios) == sizeof(termios2));
static_assert(offsetof(KernelTermios, lflag) == offsetof(termios2, c_lflag));
static_assert(offsetof(KernelTermios, line) == offsetof(termios2, c_line));
static_assert(offsetof(KernelTermios, cc) == offsetof(termios2, c_cc) && sizeof(KernelTermios{}.cc) == NCCS);
static_assert(offsetof(KernelTermios, ispeed) == offsetof(termios2, c_ispeed));
static_assert(offsetof(KernelTermios, ospeed) == offsetof(termios2, c_ospeed));

int readKernelTermios(int fd, KernelTermios& out) { return ioctl(fd, TCGETS2, &out) == 0 ? 0 : errno; }

int writeKernelTermios(int fd, const KernelTermios& in) { return ioctl(fd, TCSETS2, &in) == 0 ? 0 : errno; }

}  // namespace winapi::posix
