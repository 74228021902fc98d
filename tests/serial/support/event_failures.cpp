#include "tests/serial/support/event_failures.h"

#include <atomic>

#include "serial/platform/posix/events.h"

namespace winseria::testing {
namespace {

std::atomic<int> creationsBeforeFailure{-1};

// Counts a creation down; true for the one that must fail.
bool RefuseThisCreation() {
    int remaining = creationsBeforeFailure.load();
    while (remaining >= 0 && !creationsBeforeFailure.compare_exchange_weak(remaining, remaining - 1)) {
    }
    return remaining == 0;
}

}  // namespace

void FailEventCreationAfter(int successes) { creationsBeforeFailure.store(successes); }

}  // namespace winseria::testing

// Linked in front of the stand-in's own CreateEventA (a weak definition):
// every event the library creates in a program that uses this file comes
// through here.
winapi::HANDLE winapi::CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
    if (!manualReset) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (winseria::testing::RefuseThisCreation()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return posix::newEvent(initialState != FALSE);
}
