#include "serial/platform/posix/events.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>

namespace winapi::posix {

// One thread's wait, registered with each event it waits for: a futex word
// that is 0 (not woken), 1 (woken) or 2 (asleep on it). A wake-up costs a
// system call only when the waiter is asleep, and neither side takes a lock.
class EventWaiter {
public:
    void wake() {
        if (state_.exchange(kWoken) == kAsleep) futexWake();
    }
    void clear() { state_.store(kIdle); }
    // Returns when woken, at the deadline, or spuriously: the caller scans again.
    void sleep(std::optional<Clock::time_point> deadline) {
        std::uint32_t expected = kIdle;
        if (!state_.compare_exchange_strong(expected, kAsleep) && expected == kWoken) return;
        futexWait(deadline);
    }

private:
    static constexpr std::uint32_t kIdle = 0;
    static constexpr std::uint32_t kWoken = 1;
    static constexpr std::uint32_t kAsleep = 2;

    std::uint32_t* word() { return reinterpret_cast<std::uint32_t*>(&state_); }
    void futexWake() { syscall(SYS_futex, word(), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0); }
    // An absolute steady_clock (CLOCK_MONOTONIC) deadline; EINTR, EAGAIN and
    // ETIMEDOUT all return to the caller's scan.
    void futexWait(std::optional<Clock::time_point> deadline) {
        timespec until{};
        timespec* limit = nullptr;
        if (deadline) {
            auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline->time_since_epoch()).count();
            until.tv_sec = static_cast<time_t>(ns / 1000000000);
            until.tv_nsec = static_cast<long>(ns % 1000000000);
            limit = &until;
        }
        syscall(SYS_futex, word(), FUTEX_WAIT_BITSET_PRIVATE, kAsleep, limit, nullptr, FUTEX_BITSET_MATCH_ANY);
    }

    std::atomic<std::uint32_t> state_{kIdle};
    static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));
};

Event::Event(bool initiallySignalled) : signalled_(initiallySignalled) {}

void Event::set() {
    signalled_.store(true);
    if (waiterCount_.load() == 0) return;
    std::unique_lock lock(mutex_);
    if (waiters_.size() == 1) {  // the usual case, without a copy of the list
        std::shared_ptr<EventWaiter> only = waiters_.front();
        lock.unlock();
        only->wake();
        return;
    }
    std::vector<std::shared_ptr<EventWaiter>> several = waiters_;
    lock.unlock();
    for (const auto& waiter : several) waiter->wake();
}

// One wait for any of a list of events. The waiter's flag is cleared before
// each scan, so a SetEvent that comes after an event was seen unsignalled
// wakes it. Each thread has one waiter for all its waits (a thread waits for
// one thing at a time), so a wait allocates nothing: a late wake-up from an
// earlier wait only makes a scan that finds nothing and sleeps again.
class EventWait {
public:
    EventWait(const std::shared_ptr<Event>* events, std::size_t count) : events_(events), count_(count) {}
    ~EventWait() {
        for (std::size_t i = 0; i < registered_; ++i) {
            Event& event = *events_[i];
            std::lock_guard lock(event.mutex_);
            std::erase(event.waiters_, waiter_);
            event.waiterCount_.fetch_sub(1);
        }
    }

    // A wait that finds an event signalled registers nowhere; one that must
    // sleep registers with every event, then looks once more before sleeping.
    DWORD run(std::optional<Clock::time_point> deadline) {
        for (;;) {
            waiter_->clear();
            if (auto index = firstSignalled()) return WAIT_OBJECT_0 + *index;
            if (registered_ < count_) {
                registerWithAll();
                continue;
            }
            if (deadline && Clock::now() >= *deadline) return WAIT_TIMEOUT;
            waiter_->sleep(deadline);
        }
    }

private:
    std::optional<DWORD> firstSignalled() const {
        for (std::size_t i = 0; i < count_; ++i)
            if (events_[i]->signalled_.load()) return static_cast<DWORD>(i);
        return std::nullopt;
    }

    void registerWithAll() {
        for (; registered_ < count_; ++registered_) {
            Event& event = *events_[registered_];
            std::lock_guard lock(event.mutex_);
            event.waiters_.push_back(waiter_);
            event.waiterCount_.fetch_add(1);
        }
    }

    static const std::shared_ptr<EventWaiter>& threadWaiter() {
        thread_local const std::shared_ptr<EventWaiter> waiter = std::make_shared<EventWaiter>();
        return waiter;
    }

    const std::shared_ptr<Event>* events_;
    std::size_t count_;
    std::size_t registered_ = 0;
    // Shared with the events it is registered with: a SetEvent that found it
    // wakes it after releasing the event's mutex, maybe after the wait ended.
    const std::shared_ptr<EventWaiter>& waiter_ = threadWaiter();
};

HANDLE newEvent(bool signalled) {
    return insertNew([&] { return std::make_shared<Event>(signalled); });
}

}  // namespace winapi::posix

namespace winapi {

using posix::Event;
using posix::lookup;

// Manual-reset events only, the kind the library makes; names are not shared
// between processes here: every event is private. A weak definition, so that
// a test program can link one in front of it that refuses chosen creations.
[[gnu::weak]] HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
    if (!manualReset) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return posix::newEvent(initialState != FALSE);
}

BOOL SetEvent(HANDLE event) {
    auto e = lookup<Event>(event);
    if (e) e->set();
    return e ? TRUE : FALSE;
}

BOOL ResetEvent(HANDLE event) {
    auto e = lookup<Event>(event);
    if (e) e->reset();
    return e ? TRUE : FALSE;
}

// A wait for any of the events (the library never waits for all).
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr || waitAll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::array<std::shared_ptr<Event>, MAXIMUM_WAIT_OBJECTS> events;  // on the stack: a wait allocates nothing
    for (DWORD i = 0; i < count; ++i) {
        events[i] = lookup<Event>(handles[i]);
        if (!events[i]) return WAIT_FAILED;  // lookup set ERROR_INVALID_HANDLE
    }
    std::optional<posix::Clock::time_point> deadline;
    if (milliseconds != INFINITE) deadline = posix::Clock::now() + std::chrono::milliseconds(milliseconds);
    return posix::EventWait(events.data(), count).run(deadline);
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &object, FALSE, milliseconds);
}

}  // namespace winapi
