#pragma once
// Events and the waits on them. One process-wide mutex guards every event's
// state; a waiter registers its own condition variable with each event it
// waits for, and SetEvent wakes the registered waiters. Scanning the handles
// in order under that mutex gives Windows' rule that the lowest signalled
// index wins.
#include "serial/platform/posix/handle_table.h"

#include <condition_variable>
#include <vector>

namespace winapi::posix {

class Event : public KernelObject {
public:
    Event(bool manualReset, bool initiallySignalled);
    void set();
    void reset();
    bool isSignalled() const;

private:
    friend class EventWait;
    struct Waiter {
        std::condition_variable cv;
    };
    bool manualReset_;
    bool signalled_;  // guarded by the process-wide event mutex
    std::vector<Waiter*> waiters_;
};

// Sets an event named by handle from inside the stand-in (completions).
// A bad handle is ignored: the caller's record named no event we know.
void signalEventHandle(HANDLE event);
void resetEventHandle(HANDLE event);

}  // namespace winapi::posix
