#pragma once
// The queue of calls that threads hand over to the main thread.
#include <atomic>
#include <cstddef>
#include <functional>

namespace winseria::dispatch {

// Makes the calling thread the main thread (done by every Connect).
void BecomeMainThread();
bool OnMainThread();

// Runs `call` on the main thread and blocks until it has run there. When
// `released` becomes true while the call is still queued, the call is
// withdrawn and this returns false; a call the main thread has begun is
// always waited for. Called on the main thread itself, runs `call` at once.
bool RunOnMainThread(std::function<void()> call, const std::atomic<bool>& released);

// Wakes every waiter so that it re-reads its flags; call after setting one.
void Notify();

// On the main thread: runs the calls queued at this moment (not those that
// come while it serves) and returns how many ran. Elsewhere, and inside a
// served call, does nothing.
std::size_t ServePending();

// Blocks until `done()` is true. On the main thread it serves the queued
// calls meanwhile. `done` must become true together with a Notify().
void WaitServing(const std::function<bool()>& done);

}  // namespace winseria::dispatch
