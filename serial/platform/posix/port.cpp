#include "serial/platform/posix/port.h"

#include "serial/platform/posix/dcb_termios.h"
#include "serial/platform/posix/errors.h"
#include "serial/platform/posix/events.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <system_error>

namespace winapi::posix {

namespace {

constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr DWORD kLineErrorFlags = CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK;
// The event bits a serial driver accepts in SetCommMask; the upper ones
// (EV_PERR, EV_RX80FULL, EV_EVENT1/2) are accepted and never reported.
constexpr DWORD kAcceptedEventMask = 0x1FFF;
constexpr DWORD kKnownPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kLargestQueue = 64u << 20;
// A real tty does not announce modem-line changes through poll(): while the
// line events are watched they are sampled this often.
constexpr auto kModemSamplePeriod = std::chrono::milliseconds(10);

ULONG_PTR loadStatus(OVERLAPPED* o) {
    return std::atomic_ref<ULONG_PTR>(o->Internal).load(std::memory_order_acquire);
}

void markPending(OVERLAPPED* o) {
    std::atomic_ref<ULONG_PTR>(o->InternalHigh).store(0, std::memory_order_relaxed);
    std::atomic_ref<ULONG_PTR>(o->Internal).store(STATUS_PENDING_CODE, std::memory_order_release);
}

bool isSuccess(ULONG_PTR status) { return status == STATUS_SUCCESS_CODE || status == STATUS_TIMEOUT_CODE; }

DWORD errorForStatus(ULONG_PTR status) {
    if (status == STATUS_CANCELLED_CODE) return ERROR_OPERATION_ABORTED;
    return ERROR_GEN_FAILURE;
}

DWORD modemStatusBits(int tiocm) {
    DWORD status = 0;
    if (tiocm & TIOCM_CTS) status |= MS_CTS_ON;
    if (tiocm & TIOCM_DSR) status |= MS_DSR_ON;
    if (tiocm & TIOCM_RNG) status |= MS_RING_ON;
    if (tiocm & TIOCM_CAR) status |= MS_RLSD_ON;
    return status;
}

DWORD modemEventsBetween(int before, int after) {
    int changed = before ^ after;
    DWORD events = 0;
    if (changed & TIOCM_CTS) events |= EV_CTS;
    if (changed & TIOCM_DSR) events |= EV_DSR;
    if (changed & TIOCM_CAR) events |= EV_RLSD;
    if (changed & TIOCM_RNG) events |= EV_RING;
    return events;
}

std::uint32_t takeOne(std::uint32_t& counter) {
    if (counter == 0) return 0;
    --counter;
    return 1;
}

}  // namespace

Port::Port(std::unique_ptr<Device> device, bool overlapped, DWORD access)
    : device_(std::move(device)), overlapped_(overlapped), access_(access) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    KernelTermios found;
    if (device_->getTermios(found) == 0) {
        KernelTermios raw = openingTermios(found);
        device_->setTermios(raw);
        dcb_ = dcbFromTermios(raw);
    } else {
        dcb_ = dcbFromTermios(KernelTermios{});
    }
    if (device_->lineCounters(lastCounters_) != 0) countersKnown_ = false;
    if (device_->modemLines(lastModemBits_) != 0) modemLinesKnown_ = false;
    thread_ = std::thread([this] { serviceLoop(); });
}

Port::~Port() {
    onClose();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void Port::onClose() {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        stopLocked();
    }
    wakeServiceThread();
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    device_.reset();  // closes the descriptor, drops the lock and the claim
}

void Port::stopLocked() {
    closed_ = true;
    cancelLocked(reads_, STATUS_CANCELLED_CODE);
    cancelLocked(writes_, STATUS_CANCELLED_CODE);
    if (lineWait_) {
        completeLocked(lineWait_->completion, STATUS_CANCELLED_CODE, 0);
        lineWait_.reset();
    }
}

void Port::wakeServiceThread() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

// ---- the service thread ----

void Port::serviceLoop() {
    std::unique_lock lock(mutex_);
    while (!closed_) {
        Clock::time_point now = Clock::now();
        pumpLocked(now);
        int timeout = pollTimeoutLocked(Clock::now());
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {-1, 0, 0}};
        nfds_t count = 1;
        if (!hungUp_) {
            fds[1] = {device_->pollFd(), device_->pollEvents(wantsInputLocked(), !writes_.empty()), 0};
            count = 2;
        }
        lock.unlock();
        int ready = poll(fds, count, timeout);
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            std::uint64_t value;
            [[maybe_unused]] ssize_t n = ::read(wakeFd_, &value, sizeof value);
        }
        lock.lock();
        if (closed_) break;
        if (ready > 0 && count == 2 && fds[1].revents) {
            device_->acknowledgeWake();
            // A hang-up without data would make every poll return at once.
            if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) && !(fds[1].revents & POLLIN)) hungUp_ = true;
        }
    }
}

void Port::pumpLocked(Clock::time_point now) {
    for (;;) {
        bool stalled = drainInputLocked();
        bool consumed = serveReadsLocked(now);
        // A full buffer that a read has just emptied may leave data behind in
        // a device that will not wake us again for it.
        if (!(stalled && consumed)) break;
    }
    sampleModemLinesLocked(now);
    serveWritesLocked(now);
    checkOutputEmptyLocked(now);
}

int Port::pollTimeoutLocked(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    auto consider = [&](const std::optional<Clock::time_point>& t) {
        if (t && (!next || *t < *next)) next = t;
    };
    if (!reads_.empty()) {
        consider(reads_.front().totalDeadline);
        consider(reads_.front().intervalDeadline);
    }
    if (!writes_.empty()) consider(writes_.front().totalDeadline);
    consider(outputCheckAt_);
    consider(nextModemSample_);
    if (!next) return -1;
    if (*next <= now) return 0;
    // Rounded up: waking a little early would only poll again at once.
    auto micros = std::chrono::duration_cast<std::chrono::microseconds>(*next - now).count();
    auto millis = (micros + 999) / 1000;
    return static_cast<int>(std::min<long long>(millis, INT_MAX));
}

bool Port::wantsInputLocked() const { return !hungUp_ && input_.size() < inputCapacity_; }

// Reads what the device has, up to the buffer's capacity; true when it
// stopped because the buffer is full.
bool Port::drainInputLocked() {
    std::vector<InputItem> items;
    std::uint8_t chunk[1024];
    bool stalled = false;
    while (!hungUp_) {
        std::size_t room = inputCapacity_ > input_.size() + items.size()
                               ? inputCapacity_ - input_.size() - items.size()
                               : 0;
        if (room == 0) {
            stalled = true;
            break;
        }
        IoResult r = device_->read(chunk, std::min(room, sizeof chunk));
        if (r.error == EAGAIN || r.error == EINTR) break;
        if (r.error != 0) {
            hungUp_ = true;
            break;
        }
        if (r.count == 0) {  // the next item (a mark) needs more room than is left
            stalled = true;
            break;
        }
        decoder_.feed(chunk, r.count, items);
    }
    inputStalled_ = stalled;
    acceptInputLocked(items);
    return stalled;
}

std::optional<LineCounters> Port::counterDeltaLocked() {
    if (!countersKnown_) return std::nullopt;
    LineCounters now;
    if (device_->lineCounters(now) != 0) {
        countersKnown_ = false;
        return std::nullopt;
    }
    LineCounters delta{now.frame - lastCounters_.frame, now.parity - lastCounters_.parity,
                       now.brk - lastCounters_.brk, now.overrun - lastCounters_.overrun};
    lastCounters_ = now;
    return delta;
}

// Data goes into the buffer; marks become line errors. Which error a mark
// stands for comes from the device's error counters where it keeps them
// (a 0 with a break count is a break); without counters a marked 0 is a
// break, and other marks are parity errors when parity is on, else framing.
void Port::acceptInputLocked(const std::vector<InputItem>& items) {
    std::optional<LineCounters> delta = counterDeltaLocked();
    LineCounters left = delta.value_or(LineCounters{});
    DWORD events = 0;
    DWORD errors = 0;
    auto store = [&](std::uint8_t byte) {
        if (dcb_.fNull && byte == 0) return;
        input_.push_back(byte);
        events |= EV_RXCHAR;
        if (static_cast<char>(byte) == dcb_.EvtChar) events |= EV_RXFLAG;
    };
    for (const InputItem& item : items) {
        if (item.kind == InputItem::Kind::Data) {
            store(item.byte);
            continue;
        }
        bool isBreak = item.byte == 0 && (delta ? takeOne(left.brk) != 0 : true);
        if (isBreak) {
            errors |= CE_BREAK;
            events |= EV_BREAK;
            continue;
        }
        bool isParity = delta ? takeOne(left.parity) != 0 : dcb_.Parity != NOPARITY;
        if (isParity) {
            if (!dcb_.fParity) {  // parity not checked: the byte is plain data
                store(item.byte);
                continue;
            }
            errors |= CE_RXPARITY;
            store(dcb_.fErrorChar ? static_cast<std::uint8_t>(dcb_.ErrorChar) : item.byte);
        } else {
            if (delta) takeOne(left.frame);
            errors |= CE_FRAME;
            store(item.byte);
        }
        events |= EV_ERR;
    }
    if (left.overrun > 0) {
        errors |= CE_OVERRUN;
        events |= EV_ERR;
    }
    if (delta && delta->brk > 0 && !(errors & CE_BREAK)) {  // a break the kernel did not mark
        errors |= CE_BREAK;
        events |= EV_BREAK;
    }
    if (errors) latchErrorsLocked(errors);
    raiseEventsLocked(events);
}

void Port::latchErrorsLocked(DWORD errors) {
    errors_ |= errors;
    if (dcb_.fAbortOnError && (errors & kLineErrorFlags)) {
        cancelLocked(reads_, STATUS_CANCELLED_CODE);
        cancelLocked(writes_, STATUS_CANCELLED_CODE);
    }
}

void Port::sampleModemLinesLocked(Clock::time_point now) {
    nextModemSample_.reset();
    if (!modemLinesKnown_ || !(eventMask_ & kModemEvents)) return;
    int bits = 0;
    if (device_->modemLines(bits) != 0) {
        modemLinesKnown_ = false;
        return;
    }
    DWORD events = modemEventsBetween(lastModemBits_, bits);
    lastModemBits_ = bits;
    raiseEventsLocked(events);
    if (!device_->wakesOnLineChange()) nextModemSample_ = now + kModemSamplePeriod;
}

void Port::startReadLocked(Transfer& read, Clock::time_point now) {
    read.started = true;
    read.plan = planRead(timeouts_, read.length);
    if (read.plan.total) read.totalDeadline = now + *read.plan.total;
}

// Returns whether any buffered byte was taken.
bool Port::serveReadsLocked(Clock::time_point now) {
    bool consumed = false;
    while (!reads_.empty()) {
        Transfer& r = reads_.front();
        if (!r.started) startReadLocked(r, now);
        std::size_t n = std::min<std::size_t>(input_.size(), r.length - r.done);
        if (n > 0) {
            std::copy_n(input_.begin(), n, r.into + r.done);
            input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
            r.done += static_cast<DWORD>(n);
            consumed = true;
            if (r.plan.interval) r.intervalDeadline = now + *r.plan.interval;
        }
        std::optional<ULONG_PTR> status;
        if (r.done == r.length || r.plan.immediate || (r.plan.endsOnFirstBytes && r.done > 0))
            status = STATUS_SUCCESS_CODE;
        else if ((r.totalDeadline && now >= *r.totalDeadline) || (r.intervalDeadline && now >= *r.intervalDeadline))
            status = STATUS_TIMEOUT_CODE;
        if (!status) break;
        completeLocked(r.completion, *status, r.done);
        reads_.pop_front();
    }
    return consumed;
}

void Port::serveWritesLocked(Clock::time_point now) {
    while (!writes_.empty()) {
        Transfer& w = writes_.front();
        if (!w.started) {
            w.started = true;
            if (auto limit = writeTotal(timeouts_, w.length)) w.totalDeadline = now + *limit;
        }
        while (w.done < w.length && !hungUp_) {
            IoResult r = device_->write(w.from + w.done, w.length - w.done);
            if (r.error == EAGAIN || r.error == EINTR) break;
            if (r.error != 0) {
                hungUp_ = true;
                break;
            }
            w.done += static_cast<DWORD>(r.count);
            if (r.count > 0) sentSinceEmpty_ = true;
        }
        std::optional<ULONG_PTR> status;
        if (w.done == w.length)
            status = STATUS_SUCCESS_CODE;
        else if (hungUp_)
            status = STATUS_UNSUCCESSFUL_CODE;
        else if (w.totalDeadline && now >= *w.totalDeadline)
            status = STATUS_TIMEOUT_CODE;
        if (!status) break;
        completeLocked(w.completion, *status, w.done);
        writes_.pop_front();
    }
}

// EV_TXEMPTY once the last queued byte has left the device. The kernel
// does not announce that moment, so the queue is checked again after
// roughly the time its bytes need on the line.
void Port::checkOutputEmptyLocked(Clock::time_point now) {
    outputCheckAt_.reset();
    if (!sentSinceEmpty_ || !writes_.empty()) return;
    unsigned queued = 0;
    if (!hungUp_ && device_->outputQueued(queued) == 0 && queued > 0) {
        DWORD baud = std::max<DWORD>(dcb_.BaudRate, 300);
        auto lineTime = std::chrono::milliseconds(1 + std::uint64_t{queued} * 10 * 1000 / baud);
        outputCheckAt_ = now + std::min(lineTime, std::chrono::milliseconds(100));
        return;
    }
    sentSinceEmpty_ = false;
    raiseEventsLocked(EV_TXEMPTY);
}

void Port::raiseEventsLocked(DWORD events) {
    events &= eventMask_;
    if (events == 0) return;
    eventHistory_ |= events;
    if (!lineWait_) return;
    DWORD reported = eventHistory_;
    eventHistory_ = 0;
    completeLocked(lineWait_->completion, STATUS_SUCCESS_CODE, sizeof(DWORD), lineWait_->mask, reported);
    lineWait_.reset();
}

void Port::cancelLocked(std::deque<Transfer>& queue, ULONG_PTR status) {
    for (const Transfer& t : queue) completeLocked(t.completion, status, t.done);
    queue.clear();
}

// Count first, then the status with release ordering, then the event: a
// caller that sees the status (or the event) sees the count and the mask.
void Port::completeLocked(const Completion& c, ULONG_PTR status, DWORD count, DWORD* mask, DWORD maskValue) {
    if (mask) *mask = maskValue;
    if (c.overlapped) {
        HANDLE event = c.overlapped->hEvent;  // read before the record may be reused
        std::atomic_ref<ULONG_PTR>(c.overlapped->InternalHigh).store(count, std::memory_order_relaxed);
        std::atomic_ref<ULONG_PTR>(c.overlapped->Internal).store(status, std::memory_order_release);
        if (event) signalEventHandle(event);
    }
    if (c.sync) {
        c.sync->count = count;
        c.sync->status = status;
        c.sync->done = true;
    }
    completed_.notify_all();
}

bool Port::abortLatchedLocked() const { return dcb_.fAbortOnError && (errors_ & kLineErrorFlags); }

// ---- transfers ----

BOOL Port::finishSynchronously(std::unique_lock<std::mutex>& lock, SyncResult& result, DWORD* transferred) {
    completed_.wait(lock, [&] { return result.done; });
    if (transferred) *transferred = result.count;
    if (isSuccess(result.status)) return TRUE;
    return fail(errorForStatus(result.status));
}

BOOL Port::startTransfer(Transfer transfer, bool isRead, DWORD* transferred, OVERLAPPED* overlapped) {
    std::unique_lock lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    if (abortLatchedLocked()) return fail(ERROR_OPERATION_ABORTED);
    Clock::time_point now = Clock::now();
    std::deque<Transfer>& queue = isRead ? reads_ : writes_;
    if (isRead && queue.empty()) {
        drainInputLocked();
        ReadPlan plan = planRead(timeouts_, transfer.length);
        std::size_t available = input_.size();
        if (transfer.length == 0 || plan.immediate || available >= transfer.length ||
            (plan.endsOnFirstBytes && available > 0)) {
            // Satisfied at once: completes inside the call, TRUE even when overlapped.
            std::size_t n = std::min<std::size_t>(available, transfer.length);
            std::copy_n(input_.begin(), n, transfer.into);
            input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
            if (inputStalled_) wakeServiceThread();
            if (overlapped) completeLocked({overlapped, nullptr}, STATUS_SUCCESS_CODE, static_cast<DWORD>(n));
            if (transferred) *transferred = static_cast<DWORD>(n);
            return TRUE;
        }
    }
    if (!isRead && transfer.length == 0) {
        if (overlapped) completeLocked({overlapped, nullptr}, STATUS_SUCCESS_CODE, 0);
        return TRUE;
    }
    SyncResult sync;
    if (overlapped_) {
        transfer.completion.overlapped = overlapped;
        markPending(overlapped);
    } else {
        transfer.completion.sync = &sync;
    }
    queue.push_back(transfer);
    if (isRead && queue.size() == 1) serveReadsLocked(now);  // starts its timers now
    wakeServiceThread();
    if (overlapped_) return fail(ERROR_IO_PENDING);
    BOOL ok = finishSynchronously(lock, sync, transferred);
    if (overlapped) {  // a record passed to a non-overlapped handle still reports
        std::atomic_ref<ULONG_PTR>(overlapped->InternalHigh).store(sync.count, std::memory_order_relaxed);
        std::atomic_ref<ULONG_PTR>(overlapped->Internal).store(sync.status, std::memory_order_release);
    }
    return ok;
}

BOOL Port::read(void* buffer, DWORD length, DWORD* transferred, OVERLAPPED* overlapped) {
    if (transferred) *transferred = 0;
    if (!(access_ & GENERIC_READ)) return fail(ERROR_ACCESS_DENIED);
    if (!validTransferArguments(buffer, length, transferred, overlapped)) return fail(ERROR_INVALID_PARAMETER);
    if (overlapped && overlapped->hEvent) resetEventHandle(overlapped->hEvent);
    Transfer t;
    t.into = static_cast<std::uint8_t*>(buffer);
    t.length = length;
    return startTransfer(t, true, transferred, overlapped);
}

BOOL Port::write(const void* buffer, DWORD length, DWORD* transferred, OVERLAPPED* overlapped) {
    if (transferred) *transferred = 0;
    if (!(access_ & GENERIC_WRITE)) return fail(ERROR_ACCESS_DENIED);
    if (!validTransferArguments(buffer, length, transferred, overlapped)) return fail(ERROR_INVALID_PARAMETER);
    if (overlapped && overlapped->hEvent) resetEventHandle(overlapped->hEvent);
    Transfer t;
    t.from = static_cast<const std::uint8_t*>(buffer);
    t.length = length;
    return startTransfer(t, false, transferred, overlapped);
}

// An overlapped handle needs a record; a synchronous one a count to fill.
bool Port::validTransferArguments(const void* buffer, DWORD length, DWORD* transferred,
                                  OVERLAPPED* overlapped) const {
    if (buffer == nullptr && length > 0) return false;
    return overlapped_ ? overlapped != nullptr : transferred != nullptr;
}

void Port::waitUntilComplete(OVERLAPPED* overlapped) {
    std::unique_lock lock(mutex_);
    completed_.wait(lock, [&] { return closed_ || loadStatus(overlapped) != STATUS_PENDING_CODE; });
}

// ---- settings ----

BOOL Port::getState(DCB* dcb) {
    if (dcb == nullptr) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    KernelTermios t;
    if (int e = device_->getTermios(t)) return fail(windowsErrorFromErrno(e));
    DCB result = dcb_;
    result.DCBlength = sizeof(DCB);
    result.BaudRate = baudRateOf(t);
    result.ByteSize = byteSizeOf(t);
    result.Parity = parityOf(t);
    result.StopBits = stopBitsOf(t);
    *dcb = result;
    return TRUE;
}

BOOL Port::setState(const DCB* dcb) {
    if (dcb == nullptr || !isValidDcb(*dcb)) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    KernelTermios current;
    if (int e = device_->getTermios(current)) return fail(windowsErrorFromErrno(e));
    if (int e = device_->setTermios(termiosForDcb(current, *dcb))) return fail(windowsErrorFromErrno(e));
    // Lines follow the DCB where the device has them; a pty has none, and
    // that must not stop it from being configured.
    bool dtrOn = dcb->fDtrControl != DTR_CONTROL_DISABLE;
    bool rtsOn = dcb->fRtsControl == RTS_CONTROL_ENABLE || dcb->fRtsControl == RTS_CONTROL_HANDSHAKE;
    device_->changeModemLines(TIOCM_DTR, dtrOn);
    device_->changeModemLines(TIOCM_RTS, rtsOn);
    dcb_ = *dcb;
    dcb_.DCBlength = sizeof(DCB);
    wakeServiceThread();  // flow control may have released held output
    return TRUE;
}

BOOL Port::setup(DWORD inQueue, DWORD outQueue) {
    if (inQueue > kLargestQueue || outQueue > kLargestQueue) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    // As a serial driver does: the receive buffer only ever grows.
    inputCapacity_ = std::max<std::size_t>(inputCapacity_, inQueue);
    outQueueSize_ = outQueue;
    wakeServiceThread();
    return TRUE;
}

BOOL Port::getTimeouts(COMMTIMEOUTS* timeouts) {
    if (timeouts == nullptr) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    *timeouts = timeouts_;
    return TRUE;
}

BOOL Port::setTimeouts(const COMMTIMEOUTS* timeouts) {
    if (timeouts == nullptr || !isValidTimeouts(*timeouts)) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    timeouts_ = *timeouts;  // requests already started keep their own
    return TRUE;
}

// ---- purge, errors, events, lines ----

BOOL Port::purge(DWORD flags) {
    if (flags == 0 || (flags & ~kKnownPurgeFlags)) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    if (flags & PURGE_TXABORT) cancelLocked(writes_, STATUS_CANCELLED_CODE);
    if (flags & PURGE_RXABORT) cancelLocked(reads_, STATUS_CANCELLED_CODE);
    if (flags & (PURGE_TXCLEAR | PURGE_RXCLEAR)) device_->flush(flags & PURGE_RXCLEAR, flags & PURGE_TXCLEAR);
    if (flags & PURGE_RXCLEAR) {
        input_.clear();
        decoder_.reset();
    }
    wakeServiceThread();
    return TRUE;
}

BOOL Port::clearError(DWORD* errors, COMSTAT* stat) {
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    drainInputLocked();  // queue counts as of now
    if (errors) *errors = errors_;
    errors_ = 0;
    if (stat) {
        COMSTAT s{};
        s.cbInQue = static_cast<DWORD>(input_.size());
        DWORD outgoing = 0;
        for (const Transfer& w : writes_) outgoing += w.length - w.done;
        unsigned queued = 0;
        if (device_->outputQueued(queued) == 0) outgoing += queued;
        s.cbOutQue = outgoing;
        s.fXoffHold = outputHeld_ ? 1 : 0;
        int bits = 0;
        if (modemLinesKnown_ && device_->modemLines(bits) == 0) {
            s.fCtsHold = (dcb_.fOutxCtsFlow && !(bits & TIOCM_CTS)) ? 1 : 0;
            s.fDsrHold = (dcb_.fOutxDsrFlow && !(bits & TIOCM_DSR)) ? 1 : 0;
        }
        *stat = s;
    }
    wakeServiceThread();  // transfers held back by the latched error may start
    return TRUE;
}

BOOL Port::setMask(DWORD mask) {
    if (mask & ~kAcceptedEventMask) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    if (lineWait_) {
        completeLocked(lineWait_->completion, STATUS_SUCCESS_CODE, sizeof(DWORD), lineWait_->mask, 0);
        lineWait_.reset();
    }
    eventMask_ = mask;
    eventHistory_ = 0;
    if (modemLinesKnown_) device_->modemLines(lastModemBits_);  // changes count from now on
    wakeServiceThread();
    return TRUE;
}

BOOL Port::waitEvent(DWORD* mask, OVERLAPPED* overlapped) {
    if (mask == nullptr || (overlapped_ && overlapped == nullptr)) return fail(ERROR_INVALID_PARAMETER);
    if (overlapped_ && overlapped->hEvent) resetEventHandle(overlapped->hEvent);
    std::unique_lock lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    if (eventMask_ == 0 || lineWait_) return fail(ERROR_INVALID_PARAMETER);
    drainInputLocked();
    if (eventHistory_) {
        DWORD reported = eventHistory_;
        eventHistory_ = 0;
        completeLocked({overlapped_ ? overlapped : nullptr, nullptr}, STATUS_SUCCESS_CODE, sizeof(DWORD), mask,
                       reported);
        return TRUE;
    }
    SyncResult sync;
    if (overlapped_) {
        markPending(overlapped);
        lineWait_ = LineWait{mask, {overlapped, nullptr}};
        wakeServiceThread();
        return fail(ERROR_IO_PENDING);
    }
    lineWait_ = LineWait{mask, {nullptr, &sync}};
    wakeServiceThread();
    return finishSynchronously(lock, sync, nullptr);
}

BOOL Port::escape(DWORD function) {
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    int e = 0;
    switch (function) {
        case SETRTS:
        case CLRRTS:
            if (dcb_.fRtsControl == RTS_CONTROL_HANDSHAKE) return fail(ERROR_INVALID_PARAMETER);
            e = device_->changeModemLines(TIOCM_RTS, function == SETRTS);
            break;
        case SETDTR:
        case CLRDTR:
            if (dcb_.fDtrControl == DTR_CONTROL_HANDSHAKE) return fail(ERROR_INVALID_PARAMETER);
            e = device_->changeModemLines(TIOCM_DTR, function == SETDTR);
            break;
        case SETBREAK:
        case CLRBREAK:
            e = device_->setBreak(function == SETBREAK);
            break;
        case SETXOFF:
        case SETXON:
            e = device_->holdOutput(function == SETXOFF);
            if (e == 0) outputHeld_ = function == SETXOFF;
            break;
        default:
            return fail(ERROR_INVALID_PARAMETER);
    }
    if (e != 0) return fail(windowsErrorFromModemErrno(e));
    wakeServiceThread();
    return TRUE;
}

BOOL Port::modemStatus(DWORD* status) {
    if (status == nullptr) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    int bits = 0;
    if (int e = device_->modemLines(bits)) return fail(windowsErrorFromModemErrno(e));
    *status = modemStatusBits(bits);
    return TRUE;
}

}  // namespace winapi::posix
