#include "serial/src/dispatcher.h"

#include <atomic>  // also defines _GLIBCXX_HAVE_LINUX_FUTEX (libstdc++'s configuration)
#include <cstdint>
#include <mutex>
#include <thread>
#if !defined(_GLIBCXX_HAVE_LINUX_FUTEX)
#include <condition_variable>
#endif

#include "serial/main_thread.h"
#include "serial/platform/win32_calls.h"

namespace winseria::dispatch {
namespace {

// A word one thread sleeps on until another changes it: each waiting thread
// has its own, so a change wakes exactly the thread it concerns.
//
// Where libstdc++ waits on a futex (Linux) it is a bare atomic: its wait and
// notify are the futex, a notify makes a system call only while a thread
// waits, and it uses the word's address alone, never the word, so the waiter
// may return and take the word away as soon as it sees the change. Before it sleeps,
// libstdc++'s wait looks at the word 16 times, yielding the CPU before the
// last four: on two CPUs (and on one) that lets the main thread reach its
// next call and serve the watcher without a sleep and a wake, which halves
// the stream's cost (docs/PERFORMANCE.md); a bare futex wait measured no
// better than the shared condition it replaced. Without a futex (the MinGW
// build) the library's atomic wait shares a few mutex/condition pairs across
// the process and its notify takes no lock, so a wait can miss its wake; the
// word has a mutex and a condition of its own there, and the change is
// published and notified under that mutex.
class WakeWord {
public:
    std::uint32_t Load() const;
    // Blocks while the word holds `seen`; returns the value it changed to.
    std::uint32_t WaitWhile(std::uint32_t seen);
    // Changes the word and wakes its waiter.
    void Store(std::uint32_t value);

private:
#if defined(_GLIBCXX_HAVE_LINUX_FUTEX)
    std::atomic<std::uint32_t> value_{0};
#else
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::uint32_t value_ = 0;
#endif
};

#if defined(_GLIBCXX_HAVE_LINUX_FUTEX)
std::uint32_t WakeWord::Load() const { return value_.load(); }

std::uint32_t WakeWord::WaitWhile(std::uint32_t seen) {
    value_.wait(seen);
    return value_.load();
}

void WakeWord::Store(std::uint32_t value) {
    value_.store(value);
    value_.notify_one();
}
#else
std::uint32_t WakeWord::Load() const {
    std::lock_guard lock(mutex_);
    return value_;
}

std::uint32_t WakeWord::WaitWhile(std::uint32_t seen) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return value_ != seen; });
    return value_;
}

void WakeWord::Store(std::uint32_t value) {
    std::lock_guard lock(mutex_);
    value_ = value;
    changed_.notify_one();
}
#endif

// Lives on the stack of the thread that hands it over, which waits on its
// word until the call has run or was withdrawn: nothing is allocated per
// hand-over. Linked into the queue while it waits there.
struct PendingCall {
    enum State : std::uint32_t { Waiting, Done, Withdrawn };
    std::function<void()> call;
    const std::atomic<bool>* released = nullptr;
    PendingCall* next = nullptr;
    WakeWord state;  // a State; Waiting while queued or running
};

// A thread in WaitServing, on its stack; linked in while it sleeps. A wake
// counts its word up; the links and every wake are under the queue lock, so
// a sleeper is never woken after it has left.
struct Sleeper {
    bool serves = false;  // the main thread, which also wakes for a queued call
    Sleeper* next = nullptr;
    WakeWord wakes;
};

// Its two locks are third in the library's lock order (comm_port.h).
struct Dispatcher {
    std::mutex mutex;  // the queue and the sleepers
    PendingCall* first = nullptr;
    PendingCall* last = nullptr;
    Sleeper* sleepers = nullptr;
    // The queue's length, kept under the lock and read without it: an export
    // on the main thread with nothing to serve takes no lock.
    std::atomic<std::size_t> queued{0};
    std::atomic<std::thread::id> mainThread{};

    std::mutex hookMutex;  // held while the hook runs, so replacing it waits
    std::function<void()> wakeHook;
    // A hook is installed: without one a hand-over takes no hook lock.
    std::atomic<bool> hooked{false};
};

// Never destroyed: a watcher may still wait in it while the process ends.
Dispatcher& Instance() {
    static Dispatcher* dispatcher = new Dispatcher;
    return *dispatcher;
}

thread_local bool servingHere = false;

void WakeHost() {
    Dispatcher& d = Instance();
    if (!d.hooked.load()) return;
    std::lock_guard lock(d.hookMutex);
    if (d.wakeHook) d.wakeHook();
}

// Under the queue lock.
void WakeSleepers(Dispatcher& d, bool servingOnly) {
    for (Sleeper* s = d.sleepers; s != nullptr; s = s->next) {
        if (!servingOnly || s->serves) s->wakes.Store(s->wakes.Load() + 1);
    }
}

// Under the queue lock: takes `call` out of the queue; `previous` links to it.
void Unlink(Dispatcher& d, PendingCall* previous, PendingCall* call) {
    (previous != nullptr ? previous->next : d.first) = call->next;
    if (d.last == call) d.last = previous;
    call->next = nullptr;
    d.queued.fetch_sub(1);
}

PendingCall* TakeNext(Dispatcher& d) {
    std::lock_guard lock(d.mutex);
    PendingCall* next = d.first;
    if (next != nullptr) Unlink(d, nullptr, next);
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
    PendingCall pending;
    pending.call = std::move(call);
    pending.released = &released;
    {
        std::lock_guard lock(d.mutex);
        if (released.load()) return false;
        (d.last != nullptr ? d.last->next : d.first) = &pending;
        d.last = &pending;
        d.queued.fetch_add(1);
        WakeSleepers(d, true);
    }
    WakeHost();
    // Done by the main thread once the call has run; Withdrawn by Notify
    // while it is still queued. Neither comes back to the word afterwards.
    return pending.state.WaitWhile(PendingCall::Waiting) == PendingCall::Done;
}

void Notify() {
    Dispatcher& d = Instance();
    std::lock_guard lock(d.mutex);
    // A call whose flag is set and that has not begun is withdrawn here; one
    // the main thread has taken is waited for.
    PendingCall* previous = nullptr;
    for (PendingCall* call = d.first; call != nullptr;) {
        PendingCall* const next = call->next;
        if (call->released->load()) {
            Unlink(d, previous, call);
            call->state.Store(PendingCall::Withdrawn);
        } else {
            previous = call;
        }
        call = next;
    }
    WakeSleepers(d, false);
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
        // Out of the queue, so only this thread changes its state; once
        // Done, its owner may return and take it away.
        next->state.Store(PendingCall::Done);
        ++served;
    }
    servingHere = false;
    return served;
}

void WaitServing(const std::function<bool()>& done) {
    Dispatcher& d = Instance();
    Sleeper self;
    self.serves = OnMainThread() && !servingHere;
    for (;;) {
        if (self.serves) ServePending();
        std::uint32_t seen = 0;
        {
            // Linked in before `done` is read: a Notify after this read wakes it.
            std::lock_guard lock(d.mutex);
            if (done()) return;
            if (self.serves && d.first != nullptr) continue;
            self.next = d.sleepers;
            d.sleepers = &self;
            seen = self.wakes.Load();
        }
        self.wakes.WaitWhile(seen);
        std::lock_guard lock(d.mutex);
        Sleeper** link = &d.sleepers;
        while (*link != &self) link = &(*link)->next;
        *link = self.next;
    }
}

}  // namespace winseria::dispatch

namespace winseria {

void SetMainThreadWakeHook(std::function<void()> hook) {
    auto& d = dispatch::Instance();
    std::lock_guard lock(d.hookMutex);
    d.wakeHook = std::move(hook);
    d.hooked.store(static_cast<bool>(d.wakeHook));
}

void ServeMainThreadCalls() { dispatch::ServePending(); }

}  // namespace winseria
