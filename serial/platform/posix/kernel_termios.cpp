// The only file that includes the kernel's termios headers (see the header).
#include "serial/platform/posix/kernel_termios.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace winapi::posix {

static_assert(kTermiosBother == BOTHER);
static_assert(sizeof(KernelTermios{}.cc) == sizeof(termios2{}.c_cc));

int readKernelTermios(int fd, KernelTermios& out) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return errno;
    out.iflag = t.c_iflag;
    out.oflag = t.c_oflag;
    out.cflag = t.c_cflag;
    out.lflag = t.c_lflag;
    out.line = t.c_line;
    std::memcpy(out.cc, t.c_cc, sizeof out.cc);
    out.ispeed = t.c_ispeed;
    out.ospeed = t.c_ospeed;
    return 0;
}

int writeKernelTermios(int fd, const KernelTermios& in) {
    termios2 t{};
    t.c_iflag = in.iflag;
    t.c_oflag = in.oflag;
    t.c_cflag = in.cflag;
    t.c_lflag = in.lflag;
    t.c_line = in.line;
    std::memcpy(t.c_cc, in.cc, sizeof in.cc);
    t.c_ispeed = in.ispeed;
    t.c_ospeed = in.ospeed;
    return ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

}  // namespace winapi::posix
