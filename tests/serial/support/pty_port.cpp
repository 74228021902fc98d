#include "tests/serial/support/pty_port.h"

#include <chrono>
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

std::size_t ThreadCountOnceItIs(std::size_t expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::size_t count = ThreadCount();
    while (count != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        count = ThreadCount();
    }
    return count;
}

std::size_t OpenHandleCount() { return winapi::posix::OpenHandles::Count(); }

void SettleThreads() { std::thread([] {}).join(); }

}  // namespace winseria::test
