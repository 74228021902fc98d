#include "tests/serial/support/pty_port.h"

#include <filesystem>
#include <thread>

namespace winseria::test {
namespace {

std::size_t CountEntries(const char* directory) {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        (void)entry;
        ++count;
    }
    return count;
}

}  // namespace

std::size_t OpenDescriptorCount() { return CountEntries("/proc/self/fd"); }

std::size_t ThreadCount() { return CountEntries("/proc/self/task"); }

void SettleThreads() { std::thread([] {}).join(); }

}  // namespace winseria::test
