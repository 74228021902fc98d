#include "serial/platform/posix/events.h"

#include "serial/platform/posix/errors.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <new>
#include <optional>

namespace winapi::posix {

namespace {
std::mutex& eventMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}
using Clock = std::chrono::steady_clock;
}  // namespace

Event::Event(bool manualReset, bool initiallySignalled)
    : manualReset_(manualReset), signalled_(initiallySignalled) {}

void Event::set() {
    std::lock_guard lock(eventMutex());
    signalled_ = true;
    for (Waiter* waiter : waiters_) waiter->cv.notify_one();
}

void Event::reset() {
    std::lock_guard lock(eventMutex());
    signalled_ = false;
}

bool Event::isSignalled() const {
    std::lock_guard lock(eventMutex());
    return signalled_;
}

// One wait on a list of events, holding the event mutex while it scans.
class EventWait {
public:
    EventWait(const std::vector<std::shared_ptr<Event>>& events, bool waitAll)
        : events_(events), waitAll_(waitAll) {}

    DWORD run(std::optional<Clock::time_point> deadline) {
        std::unique_lock lock(eventMutex());
        // Declared after the lock: unregisters while the mutex is still held.
        struct Unregister {
            EventWait* self;
            ~Unregister() { self->unregisterAll(); }
        } unregister{this};
        for (;;) {
            if (auto index = tryAcquire()) return WAIT_OBJECT_0 + *index;
            if (deadline && Clock::now() >= *deadline) return WAIT_TIMEOUT;
            registerOnce();
            if (deadline)
                waiter_.cv.wait_until(lock, *deadline);
            else
                waiter_.cv.wait(lock);
        }
    }

private:
    std::optional<DWORD> tryAcquire() {
        if (waitAll_) {
            for (auto& event : events_)
                if (!event->signalled_) return std::nullopt;
            for (auto& event : events_) consume(*event);
            return 0;
        }
        for (DWORD i = 0; i < events_.size(); ++i) {
            if (events_[i]->signalled_) {
                consume(*events_[i]);
                return i;
            }
        }
        return std::nullopt;
    }

    static void consume(Event& event) {
        if (!event.manualReset_) event.signalled_ = false;
    }

    void unregisterAll() {
        if (!registered_) return;
        for (auto& event : events_) {
            auto& list = event->waiters_;
            list.erase(std::remove(list.begin(), list.end(), &waiter_), list.end());
        }
    }

    void registerOnce() {
        if (registered_) return;
        for (auto& event : events_) event->waiters_.push_back(&waiter_);
        registered_ = true;
    }

    const std::vector<std::shared_ptr<Event>>& events_;
    bool waitAll_;
    bool registered_ = false;
    Event::Waiter waiter_;
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
