#include "serial/platform/posix/write_queue.h"

#include <cerrno>

namespace winapi::posix {

namespace {

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

}  // namespace winapi::posix
