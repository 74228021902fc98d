#pragma once
// When a port's service thread must be woken: the whole rule, in one state
// object that the port changes only under its lock. The service thread sleeps
// in poll() on its wake-up descriptor and the device; it watches the device
// for input only while someone waits for input or the callers are not taking
// it themselves, and otherwise looks now and then. A caller that changes the
// port asks mustWake() whether the change alters that sleep; nothing else
// decides (docs/serial-platform.md, "The service thread's wake-up rule").
#include "serial/platform/posix/port_requests.h"

#include <poll.h>

#include <optional>

namespace winapi::posix {

// A change a caller makes to the port, as far as the service thread cares.
enum class PortChange {
    WritePending,         // the device must be watched for room to write
    ReadPending,          // matters only by its deadline, or when input is not watched
    InputWanted,          // a line-event wait: arriving input must wake the thread
    BufferFreed,          // a read made room in a buffer that had stopped the drain
    TransmitterCheckDue,  // the transmitter-empty look is scheduled
    StateChanged,         // purge, settings, mask, escape, errors cleared, close
};

class ServiceWake {
public:
    // While nobody waits for input and the callers read it themselves, the
    // service thread looks for it this often instead of waking for every byte;
    // the kernel holds far more than arrives in this time.
    static constexpr auto kUnwatchedInputPeriod = std::chrono::milliseconds(10);

    // The device reported end of file or an error: it is not polled again.
    bool hungUp = false;

    // ---- transitions ----
    // Before the service thread sleeps: whether its sleep includes input.
    void chooseWatch(bool roomForInput, bool someoneWaitsForInput, Clock::time_point now) {
        pollsInput_ = roomForInput && (someoneWaitsForInput || !callersTakeInput_);
        if (!roomForInput || pollsInput_)
            unwatchedCheck_.reset();
        else if (!unwatchedCheck_)
            unwatchedCheck_ = now + kUnwatchedInputPeriod;
    }
    // The sleep's own end (none: only a wake-up or the device ends it).
    void sleepsUntil(std::optional<Clock::time_point> at) { wakesAt_ = at; }
    // What the device's poll reported; returns whether it announced input.
    bool polled(short deviceEvents, Clock::time_point now) {
        if (deviceEvents) {
            inputReady_ = true;
            // A hang-up without data would make every poll return at once.
            if ((deviceEvents & (POLLHUP | POLLERR | POLLNVAL)) && !(deviceEvents & POLLIN)) hungUp = true;
            return deviceEvents & POLLIN;
        }
        if (unwatchedCheck_ && now >= *unwatchedCheck_) {
            // Input left to the callers is looked at now, and from then on
            // wakes the thread again until they take it first.
            unwatchedCheck_.reset();
            callersTakeInput_ = false;
            inputReady_ = true;
        }
        return false;
    }
    // A drain of the device ended: at its end, or stopped by a full buffer.
    void drained(bool stalled) { inputReady_ = stalled_ = stalled; }
    // Input the device announced had already been read by a caller: the
    // callers take it themselves, so it need not wake the thread.
    void announcedInputFound(bool found) { callersTakeInput_ = !found; }

    // ---- state ----
    bool pollsInput() const { return pollsInput_; }
    // The device is read only when this says so: reading on every wake-up
    // would mostly get EAGAIN.
    bool inputReady() const { return inputReady_; }
    std::optional<Clock::time_point> unwatchedCheck() const { return unwatchedCheck_; }

    // ---- the one decision ----
    bool mustWake(PortChange change, std::optional<Clock::time_point> due = std::nullopt) const {
        switch (change) {
            case PortChange::ReadPending:
                // The thread already polls for input whenever the buffer has
                // room: a read changes its sleep only by an earlier deadline.
                if (inputReady_ || hungUp || !pollsInput_) return true;
                return due && (!wakesAt_ || *due < *wakesAt_);
            case PortChange::InputWanted: return !pollsInput_;
            case PortChange::BufferFreed: return stalled_;
            default: return true;
        }
    }

private:
    bool inputReady_ = true;  // poll reported input, or the last drain stopped at a full buffer
    bool stalled_ = false;    // the last drain stopped at a full buffer
    bool callersTakeInput_ = false;
    bool pollsInput_ = true;
    std::optional<Clock::time_point> unwatchedCheck_;
    std::optional<Clock::time_point> wakesAt_;
};

}  // namespace winapi::posix
