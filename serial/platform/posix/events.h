#pragma once
// Events and the waits on them. Each event has an atomic state and its own
// mutex over the list of its waiters; a waiter is a futex word of its own.
// SetEvent marks the event signalled and, only when waiters are registered,
// takes the list, releases the mutex and wakes them (a system call only for a
// waiter that is asleep), so a woken waiter never blocks on a mutex the
// setter still holds. A wait scans
// its handles in order, so the lowest signalled index wins. Events are
// manual-reset: a wait never consumes one.
#include "serial/platform/posix/handle_table.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

namespace winapi::posix {

// The clock of every wait and time-out in the stand-in.
using Clock = std::chrono::steady_clock;

class EventWaiter;

class Event final : public KernelObject {
public:
    explicit Event(bool initiallySignalled);
    void set();
    void reset() { signalled_.store(false); }

private:
    friend class EventWait;
    // Read and written without the lock: a waiter registers, then looks; a
    // setter marks, then looks for waiters (both sequentially consistent), so
    // one of them always sees the other.
    std::atomic<bool> signalled_;
    std::atomic<std::size_t> waiterCount_{0};
    std::mutex mutex_;  // over the list
    std::vector<std::shared_ptr<EventWaiter>> waiters_;
};

// A manual-reset event and its handle: nullptr, with ERROR_NOT_ENOUGH_MEMORY
// as the last error, when none can be had.
HANDLE newEvent(bool signalled);

}  // namespace winapi::posix
