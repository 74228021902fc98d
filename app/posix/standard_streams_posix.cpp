#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "app/standard_streams.h"

namespace app {

void GuardStandardStreams() {
    std::signal(SIGPIPE, SIG_IGN);
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // open() gives the lowest free number, which is this one: the lower ones are open.
        [[maybe_unused]] const int taken = open("/dev/null", O_RDONLY);
    }
}

}  // namespace app
