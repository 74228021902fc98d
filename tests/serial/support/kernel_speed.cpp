#include "tests/serial/support/kernel_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace winseria::test {

unsigned KernelOutputSpeed(int fd) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
    return settings.c_ospeed;
}

}  // namespace winseria::test
