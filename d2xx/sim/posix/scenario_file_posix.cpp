// The scenario file on POSIX: opened with O_NONBLOCK, so that a FIFO does not
// block the open, and refused unless fstat shows a regular file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "d2xx/sim/scenario_file.h"
#include <torvane/unique_fd.h>

namespace torvane_sim {

ScenarioFile ReadScenarioFile(const std::string& path) {
    const torvane::UniqueFd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!file.Valid() || fstat(file.Get(), &info) != 0) return {{}, kUnreadableFault};
    if (!S_ISREG(info.st_mode)) return {{}, kNotRegularFault};
    if (static_cast<unsigned long long>(info.st_size) > kMaxScenarioFileBytes) return {{}, TooLargeFault()};
    // Read at most one byte past the limit: a file that grew since fstat is refused too.
    ScenarioFile result;
    char buffer[16384];
    while (result.text.size() <= kMaxScenarioFileBytes) {
        const ssize_t n = read(file.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {{}, kUnreadableFault};
        if (n == 0) return result;
        result.text.append(buffer, static_cast<std::size_t>(n));
    }
    return {{}, TooLargeFault()};
}

}  // namespace torvane_sim
