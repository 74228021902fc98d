#include "serial/platform/posix/events.h"

#include "serial/platform/posix/errors.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>

namespace winapi::posix {

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

// One thread's wait, registered with each event it waits for.
class EventWaiter {
public:
    void wake() {
        {
            std::lock_guard lock(mutex_);
            woken_ = true;
        }
        cv_.notify_one();
    }
    void clear() {
        std::lock_guard lock(mutex_);
        woken_ = false;
    }
    void sleep(std::optional<Clock::time_point> deadline) {
        std::unique_lock lock(mutex_);
        if (deadline)
            cv_.wait_until(lock, *deadline, [this] { return woken_; });
        else
            cv_.wait(lock, [this] { return woken_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool woken_ = false;
};

Event::Event(bool manualReset, bool initiallySignalled)
    : manualReset_(manualReset), signalled_(initiallySignalled) {}

void Event::set() {
    std::unique_lock lock(mutex_);
    signalled_ = true;
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

void Event::reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool Event::isSignalled() const {
    std::lock_guard lock(mutex_);
    return signalled_;
}

// One wait on a list of events. The waiter's flag is cleared before each
// scan, so a SetEvent that comes after an event was seen unsignalled wakes it.
class EventWait {
public:
    EventWait(const std::vector<std::shared_ptr<Event>>& events, bool waitAll)
        : events_(events), waitAll_(waitAll) {}
    ~EventWait() {
        for (std::size_t i = 0; i < registered_; ++i) {
            std::lock_guard lock(events_[i]->mutex_);
            auto& list = events_[i]->waiters_;
            list.erase(std::remove(list.begin(), list.end(), waiter_), list.end());
        }
    }

    DWORD run(std::optional<Clock::time_point> deadline) {
        for (;;) {
            waiter_->clear();
            if (auto index = waitAll_ ? acquireAll() : acquireAny()) return WAIT_OBJECT_0 + *index;
            if (deadline && Clock::now() >= *deadline) return WAIT_TIMEOUT;
            waiter_->sleep(deadline);
        }
    }

private:
    // The lowest signalled index; registers with each event it passes.
    std::optional<DWORD> acquireAny() {
        for (std::size_t i = 0; i < events_.size(); ++i) {
            Event& event = *events_[i];
            std::lock_guard lock(event.mutex_);
            if (event.signalled_) {
                consume(event);
                return static_cast<DWORD>(i);
            }
            registerWith(i);
        }
        return std::nullopt;
    }

    // All at once or none, under all the events' mutexes (taken in address
    // order, so two overlapping waits cannot deadlock).
    std::optional<DWORD> acquireAll() {
        std::vector<Event*> ordered;
        for (auto& event : events_) ordered.push_back(event.get());
        std::sort(ordered.begin(), ordered.end());
        std::vector<std::unique_lock<std::mutex>> locks;
        for (Event* event : ordered) locks.emplace_back(event->mutex_);
        bool all = std::all_of(ordered.begin(), ordered.end(), [](Event* e) { return e->signalled_; });
        if (all) {
            for (Event* event : ordered) consume(*event);
            return 0;
        }
        for (std::size_t i = 0; i < events_.size(); ++i) registerWith(i);
        return std::nullopt;
    }

    static void consume(Event& event) {
        if (!event.manualReset_) event.signalled_ = false;
    }

    // Events are registered in list order, once; the caller holds the mutex.
    void registerWith(std::size_t index) {
        if (index < registered_) return;
        events_[index]->waiters_.push_back(waiter_);
        registered_ = index + 1;
    }

    const std::vector<std::shared_ptr<Event>>& events_;
    bool waitAll_;
    std::size_t registered_ = 0;
    // Shared with the events it is registered with: a SetEvent that found it
    // wakes it after releasing the event's mutex, maybe after the wait ended.
    std::shared_ptr<EventWaiter> waiter_ = std::make_shared<EventWaiter>();
};

void signalEventHandle(HANDLE event) {
    if (auto e = std::dynamic_pointer_cast<Event>(HandleTable::instance().find(event))) e->set();
}

void resetEventHandle(HANDLE event) {
    if (auto e = std::dynamic_pointer_cast<Event>(HandleTable::instance().find(event))) e->reset();
}

namespace {

std::optional<Clock::time_point> deadlineAfter(DWORD milliseconds) {
    if (milliseconds == INFINITE) return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

}  // namespace

}  // namespace winapi::posix

namespace winapi {

using posix::Event;
using posix::lookup;

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
    // Names are not shared between processes here: every event is private.
    try {
        auto event = std::make_shared<Event>(manualReset != FALSE, initialState != FALSE);
        HANDLE handle = posix::HandleTable::instance().insert(std::move(event));
        if (!handle) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return handle;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL SetEvent(HANDLE event) {
    auto e = lookup<Event>(event);
    if (!e) return FALSE;
    e->set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    auto e = lookup<Event>(event);
    if (!e) return FALSE;
    e->reset();
    return TRUE;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<Event>> events;
    events.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        auto e = lookup<Event>(handles[i]);
        if (!e) return WAIT_FAILED;  // lookup set ERROR_INVALID_HANDLE
        if (waitAll && std::find(events.begin(), events.end(), e) != events.end()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return WAIT_FAILED;
        }
        events.push_back(std::move(e));
    }
    return posix::EventWait(events, waitAll != FALSE).run(posix::deadlineAfter(milliseconds));
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &object, FALSE, milliseconds);
}

}  // namespace winapi
