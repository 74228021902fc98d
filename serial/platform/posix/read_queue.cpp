#include "serial/platform/posix/read_queue.h"

namespace winapi::posix {

namespace {

void start(Transfer& read, const COMMTIMEOUTS& timeouts, Clock::time_point now) {
    read.started = true;
    read.plan = planRead(timeouts, read.length);
    if (read.plan.total) read.totalDeadline = now + *read.plan.total;
}

std::optional<ULONG_PTR> endOf(const Transfer& r, Clock::time_point now) {
    if (r.done == r.length || r.plan.immediate) return STATUS_SUCCESS_CODE;
    if ((r.totalDeadline && now >= *r.totalDeadline) || (r.intervalDeadline && now >= *r.intervalDeadline))
        return STATUS_TIMEOUT_CODE;
    return std::nullopt;
}

}  // namespace

bool ReadQueue::serve(ReceivedInput& input, const COMMTIMEOUTS& timeouts, Clock::time_point now,
                      CompletionSink& sink) {
    bool consumed = false;
    while (!queue_.empty()) {
        Transfer& r = queue_.front();
        if (!r.started) start(r, timeouts, now);
        std::size_t n = input.take(r.into + r.done, r.length - r.done);
        if (n > 0) {
            r.done += static_cast<DWORD>(n);
            consumed = true;
            if (r.plan.interval) r.intervalDeadline = now + *r.plan.interval;
        }
        std::optional<ULONG_PTR> status = endOf(r, now);
        if (!status) break;
        completeFront(sink, *status);
    }
    return consumed;
}

}  // namespace winapi::posix
