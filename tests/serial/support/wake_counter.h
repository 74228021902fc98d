#pragma once
// Installs a main-thread wake hook that counts its calls, for the length of
// a test.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "serial/main_thread.h"

namespace winseria::test {

class WakeCounter {
public:
    WakeCounter() {
        SetMainThreadWakeHook([this] {
            std::lock_guard lock(mutex_);
            ++calls_;
            changed_.notify_all();
        });
    }
    ~WakeCounter() { SetMainThreadWakeHook({}); }
    WakeCounter(const WakeCounter&) = delete;
    WakeCounter& operator=(const WakeCounter&) = delete;

    int calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    // Waits until the hook has been called `calls` times in all.
    bool waitFor(int calls, std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return calls_ >= calls; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int calls_ = 0;
};

}  // namespace winseria::test
