#include "serial/src/dispatcher.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "serial/main_thread.h"
#include "serial/platform/win32_calls.h"

namespace winseria::dispatch {
namespace {

// Lives on the stack of the thread that hands it over, which waits until
// it has run or takes it out of the queue itself: nothing is allocated per
// hand-over.
struct PendingCall {
    enum class State { Queued, Running, Done };
    std::function<void()> call;
    State state = State::Queued;
};

// Its two locks are third in the library's lock order (comm_port.h).
struct Dispatcher {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<PendingCall*> queue;
    // The queue's length, kept under the lock and read without it: an export
    // on the main thread with nothing to serve takes no lock.
    std::atomic<std::size_t> queued{0};
    std::atomic<std::thread::id> mainThread{};

    std::mutex hookMutex;  // held while the hook runs, so replacing it waits
    std::function<void()> wakeHook;
};

// Never destroyed: a watcher may still wait in it while the process ends.
Dispatcher& Instance() {
    static Dispatcher* dispatcher = new Dispatcher;
    return *dispatcher;
}

thread_local bool servingHere = false;

void WakeHost() {
    Dispatcher& d = Instance();
    std::lock_guard lock(d.hookMutex);
    if (d.wakeHook) d.wakeHook();
}

PendingCall* TakeNext(Dispatcher& d) {
    std::lock_guard lock(d.mutex);
    if (d.queue.empty()) return nullptr;
    PendingCall* next = d.queue.front();
    d.queue.pop_front();
    d.queued.store(d.queue.size());
    next->state = PendingCall::State::Running;
    return next;
}

// A served call must not change the main thread's last-error value, which
// belongs to whatever the main thread was doing when it served.
void RunPreservingLastError(const std::function<void()>& call) {
    const winapi::DWORD saved = winapi::GetLastError();
    call();
    winapi::SetLastError(saved);
}

}  // namespace

void BecomeMainThread() { Instance().mainThread.store(std::this_thread::get_id()); }

bool OnMainThread() { return Instance().mainThread.load() == std::this_thread::get_id(); }

bool RunOnMainThread(std::function<void()> call, const std::atomic<bool>& released) {
    if (OnMainThread()) {
        RunPreservingLastError(call);
        return true;
    }
    Dispatcher& d = Instance();
    PendingCall pending{std::move(call)};
    {
        std::lock_guard lock(d.mutex);
        if (released.load()) return false;
        d.queue.push_back(&pending);
        d.queued.store(d.queue.size());
    }
    d.changed.notify_all();
    WakeHost();

    std::unique_lock lock(d.mutex);
    d.changed.wait(lock, [&] {
        return pending.state == PendingCall::State::Done ||
               (pending.state == PendingCall::State::Queued && released.load());
    });
    if (pending.state == PendingCall::State::Done) return true;
    std::erase(d.queue, &pending);
    d.queued.store(d.queue.size());
    return false;
}

void Notify() {
    Dispatcher& d = Instance();
    { std::lock_guard lock(d.mutex); }  // orders the flag before the waiters' re-check
    d.changed.notify_all();
}

std::size_t ServePending() {
    if (servingHere || !OnMainThread()) return 0;
    Dispatcher& d = Instance();
    // Only the calls waiting now: a watcher that hands over again at once
    // (a stream of line events) must not keep the main thread here.
    const std::size_t waiting = d.queued.load();
    if (waiting == 0) return 0;
    servingHere = true;
    std::size_t served = 0;
    while (served < waiting) {
        PendingCall* next = TakeNext(d);
        if (next == nullptr) break;
        RunPreservingLastError(next->call);
        {
            // Once Done, the call's owner may return and take it away.
            std::lock_guard lock(d.mutex);
            next->state = PendingCall::State::Done;
        }
        d.changed.notify_all();
        ++served;
    }
    servingHere = false;
    return served;
}

void WaitServing(const std::function<bool()>& done) {
    Dispatcher& d = Instance();
    const bool serve = OnMainThread() && !servingHere;
    for (;;) {
        if (serve) ServePending();
        std::unique_lock lock(d.mutex);
        d.changed.wait(lock, [&] { return done() || (serve && !d.queue.empty()); });
        if (done()) return;
    }
}

}  // namespace winseria::dispatch

namespace winseria {

void SetMainThreadWakeHook(std::function<void()> hook) {
    auto& d = dispatch::Instance();
    std::lock_guard lock(d.hookMutex);
    d.wakeHook = std::move(hook);
}

void ServeMainThreadCalls() { dispatch::ServePending(); }

}  // namespace winseria
