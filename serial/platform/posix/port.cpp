#include "serial/platform/posix/port.h"

#include "serial/platform/posix/dcb_termios.h"
#include "serial/platform/posix/errors.h"
#include "serial/platform/posix/events.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>

#include <algorithm>
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
// A real tty does not announce modem-line changes through poll(): while the
// line events are watched they are sampled this often.
constexpr auto kModemSamplePeriod = std::chrono::milliseconds(10);
// While nobody waits for input and the callers read it themselves, the
// service thread looks for it this often instead of waking for every byte;
// the kernel holds far more than arrives in this time.
constexpr auto kUnwatchedInputPeriod = std::chrono::milliseconds(10);

DWORD modemEventsBetween(int before, int after) {
    int changed = before ^ after;
    DWORD events = 0;
    if (changed & TIOCM_CTS) events |= EV_CTS;
    if (changed & TIOCM_DSR) events |= EV_DSR;
    if (changed & TIOCM_CAR) events |= EV_RLSD;
    if (changed & TIOCM_RNG) events |= EV_RING;
    return events;
}

torvane::UniqueFd openWakeFd() {
    torvane::UniqueFd fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!fd.Valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
    return fd;
}

}  // namespace

Port::Port(std::unique_ptr<Device> device, bool overlapped, DWORD access)
    : device_(std::move(device)), overlapped_(overlapped), access_(access), wakeFd_(openWakeFd()) {
    KernelTermios found;
    if (device_->getTermios(found) == 0) {
        KernelTermios raw = openingTermios(found);
        device_->setTermios(raw);
        dcb_ = dcbFromTermios(raw);
    } else {
        dcb_ = dcbFromTermios(KernelTermios{});
    }
    input_.startCounting(*device_);
    if (device_->modemLines(lastModemBits_) != 0) modemLinesKnown_ = false;
    thread_ = std::thread([this] { serviceLoop(); });
}

Port::~Port() { onClose(); }

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
    reads_.cancelAll(*this, STATUS_CANCELLED_CODE);
    writes_.cancelAll(*this, STATUS_CANCELLED_CODE);
    if (lineWait_) completeLineWaitLocked(STATUS_CANCELLED_CODE, 0);
}

void Port::wakeServiceThread() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_.Get(), &one, sizeof one);
}

// ---- the service thread ----

void Port::serviceLoop() {
    std::unique_lock lock(mutex_);
    bool inputAnnounced = false;
    while (!closed_) {
        pumpLocked(Clock::now(), inputAnnounced);
        chooseInputWatchLocked();
        int timeout = pollTimeoutLocked(Clock::now());
        pollfd fds[2] = {{wakeFd_.Get(), POLLIN, 0}, {-1, 0, 0}};
        nfds_t count = 1;
        if (!hungUp_) {
            fds[1] = {device_->pollFd(), device_->pollEvents(servicePollsInput_, !writes_.empty()), 0};
            count = 2;
        }
        lock.unlock();
        int ready = poll(fds, count, timeout);
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            std::uint64_t value;
            [[maybe_unused]] ssize_t n = ::read(wakeFd_.Get(), &value, sizeof value);
        }
        lock.lock();
        if (closed_) break;
        inputAnnounced = notePollLocked(ready > 0 && count == 2 ? fds[1].revents : 0);
    }
}

// Whether the coming wait includes input, and when input left to the
// callers is looked at anyway.
void Port::chooseInputWatchLocked() {
    bool roomForInput = !hungUp_ && input_.hasRoom();
    servicePollsInput_ = roomForInput && inputWatchedLocked();
    if (!roomForInput || servicePollsInput_)
        unwatchedInputCheck_.reset();
    else if (!unwatchedInputCheck_)
        unwatchedInputCheck_ = Clock::now() + kUnwatchedInputPeriod;
}

// Takes in what the device's poll reported; returns whether it announced input.
bool Port::notePollLocked(short deviceEvents) {
    if (deviceEvents) {
        device_->acknowledgeWake();
        inputReady_ = true;
        // A hang-up without data would make every poll return at once.
        if ((deviceEvents & (POLLHUP | POLLERR | POLLNVAL)) && !(deviceEvents & POLLIN)) hungUp_ = true;
        return deviceEvents & POLLIN;
    }
    if (unwatchedInputCheck_ && Clock::now() >= *unwatchedInputCheck_) {
        // Input left to the callers is looked at now and then, and from then
        // on wakes this thread again until they take it first.
        unwatchedInputCheck_.reset();
        callersTakeInput_ = false;
        inputReady_ = true;
    }
    return false;
}

// Whether the service thread should wake as input arrives: someone waits
// for it (a read, a line event, a write that a line error may abort), or the
// callers have not been reading it themselves.
bool Port::inputWatchedLocked() const {
    return lineWait_ || !reads_.empty() || !writes_.empty() || !callersTakeInput_;
}

// The device is read only when poll reported input, the last drain stopped
// at a full buffer, or input left to the callers is due for a look: reading
// on every wake-up would mostly get EAGAIN.
void Port::pumpLocked(Clock::time_point now, bool inputAnnounced) {
    for (;;) {
        bool stalled = false;
        if (inputReady_) {
            bool found = drainInputLocked();
            // Input the device announced but a caller had already read: the
            // callers take it themselves, so it need not wake this thread.
            if (inputAnnounced) callersTakeInput_ = !found;
            inputAnnounced = false;
            stalled = input_.stalled();
        }
        bool consumed = reads_.serve(input_, timeouts_, now, *this);
        // A full buffer that a read has just emptied may leave data behind in
        // a device that will not wake us again for it.
        if (!(stalled && consumed)) break;
    }
    sampleModemLinesLocked(now);
    serveWritesLocked(now);
    if (transmitter_.check(*device_, !writes_.empty(), hungUp_, dcb_.BaudRate, now)) raiseEventsLocked(EV_TXEMPTY);
}

int Port::pollTimeoutLocked(Clock::time_point now) {
    std::optional<Clock::time_point> next;
    for (const auto& t : {reads_.nextDeadline(), writes_.nextDeadline(), transmitter_.nextCheck(), nextModemSample_,
                          unwatchedInputCheck_})
        if (t && (!next || *t < *next)) next = t;
    serviceWakesAt_ = next;
    if (!next) return -1;
    if (*next <= now) return 0;
    // Rounded up: waking a little early would only poll again at once.
    auto micros = std::chrono::duration_cast<std::chrono::microseconds>(*next - now).count();
    auto millis = (micros + 999) / 1000;
    return static_cast<int>(std::min<long long>(millis, INT_MAX));
}

// Returns whether the drain found anything.
bool Port::drainInputLocked() {
    LineReport report = input_.drain(*device_, dcb_, hungUp_);
    inputReady_ = input_.stalled();  // drained to the end, or more is waiting
    if (report.errors) latchErrorsLocked(report.errors);
    raiseEventsLocked(report.events);
    return report.events != 0 || report.errors != 0;
}

// For the calls that report the buffer as of now; the service thread
// drains what arrives anyway.
void Port::drainIfPendingLocked() {
    if (!hungUp_ && device_->inputPending()) drainInputLocked();
}

void Port::latchErrorsLocked(DWORD errors) {
    errors_ |= errors;
    if (dcb_.fAbortOnError && (errors & kLineErrorFlags)) {
        reads_.cancelAll(*this, STATUS_CANCELLED_CODE);
        writes_.cancelAll(*this, STATUS_CANCELLED_CODE);
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

void Port::serveWritesLocked(Clock::time_point now) {
    if (writes_.serve(*device_, hungUp_, timeouts_, now, *this)) transmitter_.noteSent();
}

// Outside the service thread: EV_TXEMPTY now when the device's queue is
// already empty, else the service thread schedules the next look.
void Port::afterBytesSentLocked(Clock::time_point now) {
    transmitter_.noteSent();
    if (transmitter_.check(*device_, !writes_.empty(), hungUp_, dcb_.BaudRate, now))
        raiseEventsLocked(EV_TXEMPTY);
    else if (transmitter_.nextCheck())
        wakeServiceThread();
}

void Port::raiseEventsLocked(DWORD events) {
    events &= eventMask_;
    if (events == 0) return;
    eventHistory_ |= events;
    if (!lineWait_) return;
    DWORD reported = eventHistory_;
    eventHistory_ = 0;
    completeLineWaitLocked(STATUS_SUCCESS_CODE, reported);
}

void Port::completeLineWaitLocked(ULONG_PTR status, DWORD reported) {
    LineWait wait = *lineWait_;
    lineWait_.reset();
    bool succeeded = status == STATUS_SUCCESS_CODE;
    if (succeeded) *wait.mask = reported;  // a cancelled wait leaves the caller's mask alone
    complete(wait.overlapped, status, succeeded ? sizeof(DWORD) : 0);
}

// The count and status first, then the event (read before the stores, as
// the record may be reused as soon as the status shows): a caller that sees
// the status or the event sees the count and the mask.
void Port::complete(OVERLAPPED* overlapped, ULONG_PTR status, DWORD count) {
    HANDLE event = overlapped->hEvent;
    storeResult(overlapped, status, count);
    signalEventHandle(event);
}

bool Port::abortLatchedLocked() const { return dcb_.fAbortOnError && (errors_ & kLineErrorFlags); }

// ---- transfers ----

// A read that no queued read is ahead of completes inside the call - TRUE
// even when overlapped - when the buffer or the time-outs already decide it.
bool Port::readAtOnceLocked(const Transfer& transfer, DWORD* transferred, OVERLAPPED* overlapped) {
    if (input_.size() < transfer.length) drainIfPendingLocked();  // else the buffer holds the whole read
    ReadPlan plan = planRead(timeouts_, transfer.length);
    std::size_t available = input_.size();
    if (!(transfer.length == 0 || plan.immediate || available >= transfer.length ||
          (plan.endsOnFirstBytes && available > 0)))
        return false;
    DWORD n = static_cast<DWORD>(input_.take(transfer.into, transfer.length));
    if (input_.stalled()) wakeServiceThread();
    complete(overlapped, STATUS_SUCCESS_CODE, n);
    if (transferred) *transferred = n;
    return true;
}

// A write with no write queued ahead of it goes to the device inside the
// call; when the device takes it all it completes there - TRUE even when
// overlapped, as a driver may complete it at once. What the device did not
// take is queued (the head: its time-out starts now).
bool Port::writeAtOnceLocked(Transfer& transfer, DWORD* transferred, OVERLAPPED* overlapped) {
    Clock::time_point now = Clock::now();
    transfer.started = true;
    if (auto limit = writeTotal(timeouts_, transfer.length)) transfer.totalDeadline = now + *limit;
    while (transfer.done < transfer.length && !hungUp_) {
        IoResult r = device_->write(transfer.from + transfer.done, transfer.length - transfer.done);
        if (r.error != 0 || r.count == 0) break;  // the service thread retries and reports
        transfer.done += static_cast<DWORD>(r.count);
    }
    if (transfer.done < transfer.length) {
        if (transfer.done > 0) transmitter_.noteSent();
        return false;
    }
    complete(overlapped, STATUS_SUCCESS_CODE, transfer.done);
    if (transferred) *transferred = transfer.done;
    if (transfer.length > 0) afterBytesSentLocked(now);  // after the write's own completion
    return true;
}

BOOL Port::startTransfer(Transfer transfer, bool isRead, DWORD* transferred, OVERLAPPED* overlapped) {
    std::unique_lock lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    if (abortLatchedLocked()) return fail(ERROR_OPERATION_ABORTED);
    Clock::time_point now = Clock::now();
    if (isRead && reads_.empty() && readAtOnceLocked(transfer, transferred, overlapped)) return TRUE;
    if (!isRead && writes_.empty() && writeAtOnceLocked(transfer, transferred, overlapped)) return TRUE;
    transfer.overlapped = overlapped;
    markPending(overlapped);
    if (isRead) {
        reads_.push(transfer);
        if (reads_.size() == 1) reads_.serve(input_, timeouts_, now, *this);  // starts its timers now
    } else {
        writes_.push(transfer);
    }
    if (!isRead || readNeedsServiceWakeLocked()) wakeServiceThread();
    return fail(ERROR_IO_PENDING);
}

// The service thread already polls the device for input whenever the
// buffer has room: a queued read changes its wait only by a time-out due
// before the service thread's next wake-up, a stalled buffer the read has
// made room in, or a hung-up device.
bool Port::readNeedsServiceWakeLocked() const {
    if (input_.stalled() || inputReady_ || hungUp_ || !servicePollsInput_) return true;
    auto due = reads_.nextDeadline();
    return due && (!serviceWakesAt_ || *due < *serviceWakesAt_);
}

BOOL Port::read(void* buffer, DWORD length, DWORD* transferred, OVERLAPPED* overlapped) {
    if (transferred) *transferred = 0;
    if (!(access_ & GENERIC_READ)) return fail(ERROR_ACCESS_DENIED);
    if (buffer == nullptr && length > 0) return fail(ERROR_INVALID_PARAMETER);
    if (DWORD error = overlappedArgumentsError(overlapped)) return fail(error);
    resetEventHandle(overlapped->hEvent);
    Transfer t;
    t.into = static_cast<std::uint8_t*>(buffer);
    t.length = length;
    return startTransfer(t, true, transferred, overlapped);
}

BOOL Port::write(const void* buffer, DWORD length, DWORD* transferred, OVERLAPPED* overlapped) {
    if (transferred) *transferred = 0;
    if (!(access_ & GENERIC_WRITE)) return fail(ERROR_ACCESS_DENIED);
    if (buffer == nullptr && length > 0) return fail(ERROR_INVALID_PARAMETER);
    if (DWORD error = overlappedArgumentsError(overlapped)) return fail(error);
    resetEventHandle(overlapped->hEvent);
    Transfer t;
    t.from = static_cast<const std::uint8_t*>(buffer);
    t.length = length;
    return startTransfer(t, false, transferred, overlapped);
}

// Transfers and line-event waits run overlapped only, each record with its
// event; a synchronous handle (the library's probe) refuses them.
DWORD Port::overlappedArgumentsError(const OVERLAPPED* overlapped) const {
    if (!overlapped_) return ERROR_NOT_SUPPORTED;
    return overlapped == nullptr || overlapped->hEvent == nullptr ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

// ---- purge, errors, events ----

BOOL Port::purge(DWORD flags) {
    if (flags == 0 || (flags & ~kKnownPurgeFlags)) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    if (flags & PURGE_TXABORT) writes_.cancelAll(*this, STATUS_CANCELLED_CODE);
    if (flags & PURGE_RXABORT) reads_.cancelAll(*this, STATUS_CANCELLED_CODE);
    if (flags & (PURGE_TXCLEAR | PURGE_RXCLEAR)) device_->flush(flags & PURGE_RXCLEAR, flags & PURGE_TXCLEAR);
    if (flags & PURGE_RXCLEAR) input_.clear();
    wakeServiceThread();
    return TRUE;
}

BOOL Port::clearError(DWORD* errors, COMSTAT* stat) {
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    drainIfPendingLocked();  // queue counts as of now
    bool wasAborting = abortLatchedLocked();
    if (errors) *errors = errors_;
    errors_ = 0;
    if (stat) {
        COMSTAT s{};
        s.cbInQue = static_cast<DWORD>(input_.size());
        DWORD outgoing = writes_.outstandingBytes();
        unsigned queued = 0;
        if (device_->outputQueued(queued) == 0) outgoing += queued;
        s.cbOutQue = outgoing;
        *stat = s;
    }
    if (wasAborting) wakeServiceThread();  // transfers may run again
    return TRUE;
}

BOOL Port::setMask(DWORD mask) {
    if (mask & ~kAcceptedEventMask) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    if (lineWait_) completeLineWaitLocked(STATUS_SUCCESS_CODE, 0);
    eventMask_ = mask;
    eventHistory_ = 0;
    if (modemLinesKnown_) device_->modemLines(lastModemBits_);  // changes count from now on
    wakeServiceThread();
    return TRUE;
}

BOOL Port::waitEvent(DWORD* mask, OVERLAPPED* overlapped) {
    if (mask == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (DWORD error = overlappedArgumentsError(overlapped)) return fail(error);
    resetEventHandle(overlapped->hEvent);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    if (eventMask_ == 0 || lineWait_) return fail(ERROR_INVALID_PARAMETER);
    drainIfPendingLocked();
    if (eventHistory_) {
        DWORD reported = eventHistory_;
        eventHistory_ = 0;
        *mask = reported;
        complete(overlapped, STATUS_SUCCESS_CODE, sizeof(DWORD));
        return TRUE;
    }
    lineWait_ = LineWait{mask, overlapped};  // the service thread completes it when an event comes
    markPending(overlapped);
    if (!servicePollsInput_) wakeServiceThread();  // it must now wake as input arrives
    return fail(ERROR_IO_PENDING);
}

}  // namespace winapi::posix
