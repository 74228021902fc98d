#include "serial/platform/posix/port_requests.h"

#include <atomic>

namespace winapi::posix {

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

}  // namespace winapi::posix
