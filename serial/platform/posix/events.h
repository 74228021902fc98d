#pragma once
// Events and the waits on them. Each event has its own mutex over its state
// and the list of its waiters; a waiter is a futex word of its own. SetEvent
// marks the event signalled, releases its mutex, then wakes the waiters it
// found registered (a system call only for a waiter that is asleep), so a
// woken waiter never blocks on a mutex the setter still holds. A wait scans
// its handles in order, so the lowest signalled index wins. Events are
// manual-reset: a wait never consumes one.
#include "serial/platform/posix/handle_table.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

namespace winapi::posix {

// The clock of every wait and time-out in the stand-in.
using Clock = std::chrono::steady_clock;

class EventWaiter;

class Event : public KernelObject {
public:
    explicit Event(bool initiallySignalled);
    void set();
    void reset();

private:
    friend class EventWait;
    std::mutex mutex_;
    bool signalled_;
    std::vector<std::shared_ptr<EventWaiter>> waiters_;
};

// A manual-reset event and its handle: nullptr, with ERROR_NOT_ENOUGH_MEMORY
// as the last error, when none can be had.
HANDLE newEvent(bool signalled);
// The event a handle names; nullptr for any other handle.
std::shared_ptr<Event> findEvent(HANDLE event);

}  // namespace winapi::posix
