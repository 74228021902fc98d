#pragma once
// A wait on several events, each naming the outcome it stands for.
#include <array>
#include <cstddef>
#include <utility>

#include "serial/platform/win32_calls.h"

namespace winseria {

// When several events are signalled together the one listed first wins (the
// platform's lowest-index rule), so every wait lists its events in the order
// its outcomes rank. `failed` is the outcome of a wait that failed; the
// thread's last error is cleared before the wait, so it then holds the wait's.
template <typename Outcome, std::size_t N>
Outcome WaitForFirst(const std::array<std::pair<winapi::HANDLE, Outcome>, N>& events, Outcome failed) {
    std::array<winapi::HANDLE, N> handles{};
    for (std::size_t i = 0; i < N; ++i) handles[i] = events[i].first;
    winapi::SetLastError(0);
    const winapi::DWORD woken = winapi::WaitForMultipleObjects(N, handles.data(), winapi::FALSE, winapi::INFINITE);
    const winapi::DWORD index = woken - winapi::WAIT_OBJECT_0;
    return index < N ? events[index].second : failed;
}

}  // namespace winseria
