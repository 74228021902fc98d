#include "serial/platform/posix/port_requests.h"

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace winapi::posix {

bool isValidTimeouts(const COMMTIMEOUTS& t) {
    if (t.ReadTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutMultiplier != 0) return false;
    return t.ReadIntervalTimeout != MAXDWORD || t.ReadTotalTimeoutConstant == 0;
}

std::optional<Clock::time_point> deadlineAfter(Clock::time_point now, DWORD milliseconds) {
    if (milliseconds == 0) return std::nullopt;
    return now + std::chrono::milliseconds(milliseconds);
}

ULONG_PTR loadStatus(OVERLAPPED* overlapped) {
    return std::atomic_ref<ULONG_PTR>(overlapped->Internal).load(std::memory_order_acquire);
}

DWORD loadCount(OVERLAPPED* overlapped) {
    return static_cast<DWORD>(std::atomic_ref<ULONG_PTR>(overlapped->InternalHigh).load(std::memory_order_relaxed));
}

void markPending(OVERLAPPED* overlapped) { storeResult(overlapped, STATUS_PENDING_CODE, 0); }

void storeResult(OVERLAPPED* overlapped, ULONG_PTR status, DWORD count) {
    std::atomic_ref<ULONG_PTR>(overlapped->InternalHigh).store(count, std::memory_order_relaxed);
    std::atomic_ref<ULONG_PTR>(overlapped->Internal).store(status, std::memory_order_release);
}

void finish(const Request& request, ULONG_PTR status, DWORD count) {
    storeResult(request.overlapped, status, count);
    request.event->set();
}

std::optional<ULONG_PTR> serveRead(Transfer& r, ReceivedInput& input, Clock::time_point now) {
    r.done += static_cast<DWORD>(input.take(r.into + r.done, r.length - r.done));
    if (r.done == r.length || r.atOnce) return STATUS_SUCCESS_CODE;
    if (r.deadline && now >= *r.deadline) return STATUS_TIMEOUT_CODE;
    return std::nullopt;
}

std::optional<ULONG_PTR> serveWrite(Transfer& w, Device& device, bool& hungUp, Clock::time_point now) {
    while (w.done < w.length && !hungUp) {
        IoResult r = device.write(w.from + w.done, w.length - w.done);
        if (r.error == EAGAIN || r.error == EINTR || (r.error == 0 && r.count == 0)) break;
        if (r.error != 0) hungUp = true;
        w.done += static_cast<DWORD>(r.count);
    }
    if (w.done == w.length) return STATUS_SUCCESS_CODE;
    if (hungUp) return STATUS_UNSUCCESSFUL_CODE;
    if (w.deadline && now >= *w.deadline) return STATUS_TIMEOUT_CODE;
    return std::nullopt;
}

bool TransmitterEmpty::check(Device& device, bool writing, bool hungUp, DWORD baud, Clock::time_point now) {
    checkAt_.reset();
    if (!sentSinceEmpty_ || writing) return false;
    unsigned queued = 0;
    if (!hungUp && device.outputQueued(queued) == 0 && queued > 0) {
        DWORD bitsPerSecond = std::max<DWORD>(baud, 300);
        auto lineTime = std::chrono::milliseconds(1 + std::uint64_t{queued} * 10 * 1000 / bitsPerSecond);
        checkAt_ = now + std::min(lineTime, std::chrono::milliseconds(100));
        return false;
    }
    sentSinceEmpty_ = false;
    return true;
}

}  // namespace winapi::posix
