#include "tests/serial/support/pty_port.h"

#include <filesystem>
#include <mutex>
#include <thread>

#include "serial/platform/posix/handle_table.h"

namespace winapi::posix {

// The stand-in's handle table lets this one count its entries.
struct OpenHandles {
    static std::size_t Count() {
        const HandleTable& table = HandleTable::instance();
        std::lock_guard lock(table.mutex_);
        return table.table_.Size();
    }
};

}  // namespace winapi::posix

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

std::size_t OpenHandleCount() { return winapi::posix::OpenHandles::Count(); }

void SettleThreads() { std::thread([] {}).join(); }

}  // namespace winseria::test
