#include "tests/serial/support/event_failures.h"

#include <atomic>

#include "serial/src/library_state.h"

namespace winseria::testing {
namespace {

std::atomic<int> creationsBeforeFailure{-1};

winapi::HANDLE CreateOrRefuse(bool signalled) {
    int remaining = creationsBeforeFailure.load();
    while (remaining >= 0 && !creationsBeforeFailure.compare_exchange_weak(remaining, remaining - 1)) {
    }
    if (remaining == 0) {
        winapi::SetLastError(winapi::ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return winapi::CreateEventA(nullptr, winapi::TRUE, signalled ? winapi::TRUE : winapi::FALSE, nullptr);
}

}  // namespace

void FailEventCreationAfter(int successes) {
    creationsBeforeFailure.store(successes);
    InstallEventCreator(successes >= 0 ? &CreateOrRefuse : nullptr);
}

}  // namespace winseria::testing
