#include "serial/platform/posix/port_requests.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>

namespace winapi::posix {

namespace {

std::optional<Millis> totalOf(DWORD multiplier, DWORD constant, DWORD length) {
    if (multiplier == 0 && constant == 0) return std::nullopt;
    // 64-bit: MAXDWORD x a large count must not wrap into a short time-out.
    std::uint64_t ms = std::uint64_t{multiplier} * length + constant;
    return Millis(static_cast<Millis::rep>(ms));
}

void startRead(Transfer& read, const COMMTIMEOUTS& timeouts, Clock::time_point now) {
    read.started = true;
    read.plan = planRead(timeouts, read.length);
    if (read.plan.total) read.totalDeadline = now + *read.plan.total;
}

std::optional<ULONG_PTR> readEnd(const Transfer& r, Clock::time_point now) {
    if (r.done == r.length || r.plan.immediate) return STATUS_SUCCESS_CODE;
    if ((r.totalDeadline && now >= *r.totalDeadline) || (r.intervalDeadline && now >= *r.intervalDeadline))
        return STATUS_TIMEOUT_CODE;
    return std::nullopt;
}

// Writes what the device takes now; true when any byte moved.
bool writeAvailable(Transfer& w, Device& device, bool& hungUp) {
    bool moved = false;
    while (w.done < w.length && !hungUp) {
        IoResult r = device.write(w.from + w.done, w.length - w.done);
        if (r.error == EAGAIN || r.error == EINTR || (r.error == 0 && r.count == 0)) break;
        if (r.error != 0) {
            hungUp = true;
            break;
        }
        w.done += static_cast<DWORD>(r.count);
        moved = moved || r.count > 0;
    }
    return moved;
}

}  // namespace

bool isValidTimeouts(const COMMTIMEOUTS& t) {
    return t.ReadIntervalTimeout != MAXDWORD || (t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0);
}

ReadPlan planRead(const COMMTIMEOUTS& t, DWORD length) {
    ReadPlan plan;
    if (t.ReadIntervalTimeout == MAXDWORD) {
        plan.immediate = true;
        return plan;
    }
    plan.total = totalOf(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, length);
    if (t.ReadIntervalTimeout != 0) plan.interval = Millis(t.ReadIntervalTimeout);
    return plan;
}

std::optional<Millis> writeTotal(const COMMTIMEOUTS& t, DWORD length) {
    return totalOf(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, length);
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

void TransferQueue::cancelAll(CompletionSink& sink, ULONG_PTR status) {
    for (const Transfer& t : queue_) sink.complete(t.request, status, t.done);
    queue_.clear();
}

DWORD TransferQueue::outstandingBytes() const {
    DWORD bytes = 0;
    for (const Transfer& t : queue_) bytes += t.length - t.done;
    return bytes;
}

std::optional<Clock::time_point> TransferQueue::nextDeadline() const {
    if (queue_.empty()) return std::nullopt;
    const Transfer& head = queue_.front();
    if (head.totalDeadline && head.intervalDeadline) return std::min(*head.totalDeadline, *head.intervalDeadline);
    return head.totalDeadline ? head.totalDeadline : head.intervalDeadline;
}

void TransferQueue::completeFront(CompletionSink& sink, ULONG_PTR status) {
    Transfer head = queue_.front();
    queue_.pop_front();
    sink.complete(head.request, status, head.done);
}

bool ReadQueue::serve(ReceivedInput& input, const COMMTIMEOUTS& timeouts, Clock::time_point now,
                      CompletionSink& sink) {
    bool consumed = false;
    while (!queue_.empty()) {
        Transfer& r = queue_.front();
        if (!r.started) startRead(r, timeouts, now);
        std::size_t n = input.take(r.into + r.done, r.length - r.done);
        if (n > 0) {
            r.done += static_cast<DWORD>(n);
            consumed = true;
            if (r.plan.interval) r.intervalDeadline = now + *r.plan.interval;
        }
        std::optional<ULONG_PTR> status = readEnd(r, now);
        if (!status) break;
        completeFront(sink, *status);
    }
    return consumed;
}

bool WriteQueue::serve(Device& device, bool& hungUp, const COMMTIMEOUTS& timeouts, Clock::time_point now,
                       CompletionSink& sink) {
    bool moved = false;
    while (!queue_.empty()) {
        Transfer& w = queue_.front();
        if (!w.started) {
            w.started = true;
            if (auto limit = writeTotal(timeouts, w.length)) w.totalDeadline = now + *limit;
        }
        moved = writeAvailable(w, device, hungUp) || moved;
        std::optional<ULONG_PTR> status;
        if (w.done == w.length)
            status = STATUS_SUCCESS_CODE;
        else if (hungUp)
            status = STATUS_UNSUCCESSFUL_CODE;
        else if (w.totalDeadline && now >= *w.totalDeadline)
            status = STATUS_TIMEOUT_CODE;
        if (!status) break;
        completeFront(sink, *status);
    }
    return moved;
}

bool TransmitterEmpty::check(Device& device, bool writesQueued, bool hungUp, DWORD baud, Clock::time_point now) {
    checkAt_.reset();
    if (!sentSinceEmpty_ || writesQueued) return false;
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
