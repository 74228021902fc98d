#include "serial/platform/posix/port.h"

#include "serial/platform/posix/dcb_termios.h"
#include "serial/platform/posix/errors.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>

namespace winapi::posix {

namespace {

constexpr DWORD kLineErrorFlags = CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK;
// The event bits a serial driver accepts in SetCommMask; the upper ones
// (EV_PERR, EV_RX80FULL, EV_EVENT1/2) are accepted and never reported.
constexpr DWORD kAcceptedEventMask = 0x1FFF;
constexpr DWORD kKnownPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// A real tty does not announce modem-line changes through poll(): while the
// line events are watched they are sampled this often. Where the driver
// counts the changes, a sample reads only the count, and the lines when it
// moved; the wake-ups then cost most of what is left, and are made rarer:
// a change is still raised within about 20 ms (the chip reports it at once).
constexpr auto kModemSamplePeriod = std::chrono::milliseconds(10);
constexpr auto kCountedModemSamplePeriod = std::chrono::milliseconds(20);

torvane::UniqueFd openWakeFd() {
    torvane::UniqueFd fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!fd.Valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
    return fd;
}

}  // namespace

Port::Port(std::unique_ptr<Device> device, bool overlapped)
    : device_(std::move(device)), overlapped_(overlapped), wakeFd_(openWakeFd()) {
    KernelTermios settings;  // all zero where the device cannot tell them
    if (device_->getTermios(settings) == 0) {
        settings = openingTermios(settings);
        device_->setTermios(settings);
    }
    dcb_ = dcbFromTermios(settings);
    input_.startCounting(*device_);
    readModemBaselineLocked();
    thread_ = std::thread([this] { serviceLoop(); });
}

Port::~Port() { onClose(); }

void Port::onClose() {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        closed_ = true;
        endLocked(read_, STATUS_CANCELLED_CODE);
        endLocked(write_, STATUS_CANCELLED_CODE);
        if (lineWait_) completeLineWaitLocked(STATUS_CANCELLED_CODE, 0);
    }
    wakeServiceThread();
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    device_.reset();  // closes the descriptor, drops the lock and the claim
    wakeFd_.Close();  // the object may outlive its handle (handle_table.h)
}

void Port::wakeServiceThread() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_.Get(), &one, sizeof one);
}

// The one place a caller wakes the service thread: when the wake-up rule
// says its sleep is no longer right.
void Port::noteChangeLocked(PortChange change, std::optional<Clock::time_point> due) {
    if (wake_.mustWake(change, due)) wakeServiceThread();
}

// ---- the service thread ----

void Port::serviceLoop() {
    std::unique_lock lock(mutex_);
    bool inputAnnounced = false;
    while (!closed_) {
        pumpLocked(Clock::now(), inputAnnounced);
        bool someoneWaits = lineWait_ || read_ || write_;
        wake_.chooseWatch(!wake_.hungUp && input_.hasRoom(), someoneWaits, Clock::now());
        int timeout = pollTimeoutLocked(Clock::now());
        // A hung-up device stays -1, which poll() skips (its revents stay 0).
        pollfd fds[2] = {{wakeFd_.Get(), POLLIN, 0}, {-1, 0, 0}};
        if (!wake_.hungUp)
            fds[1] = {device_->pollFd(), device_->pollEvents(wake_.pollsInput(), write_.has_value()), 0};
        lock.unlock();
        int ready = poll(fds, 2, timeout);
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            std::uint64_t value;
            [[maybe_unused]] ssize_t n = ::read(wakeFd_.Get(), &value, sizeof value);
        }
        lock.lock();
        if (closed_) break;
        short deviceEvents = ready > 0 ? fds[1].revents : 0;
        if (deviceEvents) device_->acknowledgeWake();
        inputAnnounced = wake_.polled(deviceEvents, Clock::now());
    }
}

void Port::pumpLocked(Clock::time_point now, bool inputAnnounced) {
    for (;;) {
        bool stalled = false;
        if (wake_.inputReady()) {
            bool found = drainInputLocked();
            if (inputAnnounced) wake_.announcedInputFound(found);
            inputAnnounced = false;
            stalled = input_.stalled();
        }
        bool consumed = serveReadLocked(now);
        // A full buffer that a read has just emptied may leave data behind in
        // a device that will not wake us again for it.
        if (!(stalled && consumed)) break;
    }
    sampleModemLinesLocked(now);
    serveWriteLocked(now);
    checkTransmitterLocked(now);
}

int Port::pollTimeoutLocked(Clock::time_point now) {
    std::optional<Clock::time_point> next;
    for (const auto& t : {read_ ? read_->deadline : std::nullopt, write_ ? write_->deadline : std::nullopt,
                          transmitter_.nextCheck(), nextModemSample_, wake_.unwatchedCheck()})
        if (t && (!next || *t < *next)) next = t;
    wake_.sleepsUntil(next);
    if (!next) return -1;
    if (*next <= now) return 0;
    // Rounded up: waking a little early would only poll again at once.
    auto millis = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    return static_cast<int>(std::min<long long>(millis, INT_MAX));
}

// Returns whether the drain found anything.
bool Port::drainInputLocked() {
    LineReport report = input_.drain(*device_, dcb_, wake_.hungUp);
    wake_.drained(input_.stalled());
    errors_ |= report.errors;
    if (dcb_.fAbortOnError && (report.errors & kLineErrorFlags)) {
        endLocked(read_, STATUS_CANCELLED_CODE);
        endLocked(write_, STATUS_CANCELLED_CODE);
    }
    raiseEventsLocked(report.events);
    return report.events != 0 || report.errors != 0;
}

void Port::sampleModemLinesLocked(Clock::time_point now) {
    nextModemSample_.reset();
    if (!modemLinesKnown_ || !(eventMask_ & kModemEvents)) return;
    if (modemLinesMayHaveChangedLocked()) {
        int bits = 0;
        if (device_->modemLines(bits) != 0) {
            modemLinesKnown_ = false;
            return;
        }
        DWORD events = modemEventsBetween(lastModemBits_, bits);
        lastModemBits_ = bits;
        // The lines are read from the hardware, which may be ahead of the
        // reports the count comes from: a change is read again next time, so
        // that a line that went back before its report is seen going back.
        rereadModemLines_ = events != 0;
        raiseEventsLocked(events);
    }
    if (!device_->wakesOnLineChange())
        nextModemSample_ = now + (modemChangesCounted_ ? kCountedModemSamplePeriod : kModemSamplePeriod);
}

// Reads the device's count of line changes first, so that a change landing
// between the two reads is read again rather than missed.
bool Port::modemLinesMayHaveChangedLocked() {
    if (!modemChangesCounted_) return true;
    std::uint32_t count = 0;
    if (device_->modemChanges(count) != 0) {
        modemChangesCounted_ = false;
        return true;
    }
    const bool moved = count != lastModemChanges_;
    lastModemChanges_ = count;
    // A driver stops taking the hardware's reports, and so counting, while
    // its input is throttled: when this buffer is full, the kernel's fills.
    return moved || rereadModemLines_ || !input_.hasRoom() || input_.stalled();
}

// The lines as they are now, from which changes count.
void Port::readModemBaselineLocked() {
    if (!modemLinesKnown_) return;
    if (modemChangesCounted_ && device_->modemChanges(lastModemChanges_) != 0) modemChangesCounted_ = false;
    if (device_->modemLines(lastModemBits_) != 0) modemLinesKnown_ = false;
    rereadModemLines_ = false;
}

// True when the read took bytes from the buffer.
bool Port::serveReadLocked(Clock::time_point now) {
    if (!read_) return false;
    const DWORD before = read_->done;
    std::optional<ULONG_PTR> end = serveRead(*read_, input_, now);
    const bool consumed = read_->done != before;
    if (end) endLocked(read_, *end);
    return consumed;
}

void Port::serveWriteLocked(Clock::time_point now) {
    if (!write_) return;
    const DWORD before = write_->done;
    std::optional<ULONG_PTR> end = serveWrite(*write_, *device_, wake_.hungUp, now);
    if (write_->done != before) transmitter_.noteSent();
    if (end) endLocked(write_, *end);
}

// Ends the transfer, if any, with the status and the bytes it had moved.
void Port::endLocked(std::optional<Transfer>& transfer, ULONG_PTR status) {
    if (!transfer) return;
    finish(transfer->request, status, transfer->done);
    transfer.reset();
}

// EV_TXEMPTY when the device's queue has run empty; else the next look is
// scheduled (transmitter_.nextCheck()).
void Port::checkTransmitterLocked(Clock::time_point now) {
    if (transmitter_.check(*device_, write_.has_value(), wake_.hungUp, dcb_.BaudRate, now)) raiseEventsLocked(EV_TXEMPTY);
}

// Also completes a new wait with the events that came before it.
void Port::raiseEventsLocked(DWORD events) {
    eventHistory_ |= events & eventMask_;
    if (!lineWait_ || eventHistory_ == 0) return;
    DWORD reported = eventHistory_;
    eventHistory_ = 0;
    completeLineWaitLocked(STATUS_SUCCESS_CODE, reported);
}

void Port::completeLineWaitLocked(ULONG_PTR status, DWORD reported) {
    LineWait wait = *lineWait_;
    lineWait_.reset();
    bool succeeded = status == STATUS_SUCCESS_CODE;
    if (succeeded) *wait.mask = reported;  // a cancelled wait leaves the caller's mask alone
    finish(wait.request, status, succeeded ? sizeof(DWORD) : 0);
}

bool Port::abortLatchedLocked() const { return dcb_.fAbortOnError && (errors_ & kLineErrorFlags); }

// ---- transfers ----

// Transfers and line-event waits run overlapped only, each record with its
// event (reset here, as the call starts); a synchronous handle (the
// library's probe) refuses them.
DWORD Port::startRequest(OVERLAPPED* overlapped, Request& request) const {
    if (!overlapped_) return ERROR_NOT_SUPPORTED;
    if (overlapped == nullptr || overlapped->hEvent == nullptr) return ERROR_INVALID_PARAMETER;
    request = Request{overlapped, lookup<Event>(overlapped->hEvent)};
    if (!request.event) return ERROR_INVALID_HANDLE;
    request.event->reset();
    return ERROR_SUCCESS;
}

// A transfer starts inside the call, by the same rules the service thread
// serves it with; one that completes there returns TRUE, as a driver may
// complete a request at once. Anything else, a failure included, is reported
// through the record. One read and one write may be in flight.
BOOL Port::startTransfer(Transfer transfer, bool isRead, DWORD* transferred, OVERLAPPED* overlapped) {
    if (transfer.length > 0 && transfer.into == nullptr && transfer.from == nullptr)
        return fail(ERROR_INVALID_PARAMETER);
    if (DWORD error = startRequest(overlapped, transfer.request)) return fail(error);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    if (abortLatchedLocked()) return fail(ERROR_OPERATION_ABORTED);
    std::optional<Transfer>& slot = isRead ? read_ : write_;
    if (slot) return fail(ERROR_INVALID_PARAMETER);
    Clock::time_point now = Clock::now();
    markPending(overlapped);
    bool bufferFreed = false;
    if (isRead) {
        transfer.atOnce = timeouts_.ReadIntervalTimeout == MAXDWORD;
        transfer.deadline = deadlineAfter(now, timeouts_.ReadTotalTimeoutConstant);
        read_ = transfer;
        if (input_.size() < transfer.length && !wake_.hungUp) drainInputLocked();  // else the buffer holds it all
        bufferFreed = serveReadLocked(now);
    } else {
        transfer.deadline = deadlineAfter(now, timeouts_.WriteTotalTimeoutConstant);
        write_ = transfer;
        serveWriteLocked(now);
        checkTransmitterLocked(now);
    }
    ULONG_PTR status = loadStatus(overlapped);
    if (status == STATUS_PENDING_CODE)
        noteChangeLocked(isRead ? PortChange::ReadPending : PortChange::WritePending, transfer.deadline);
    else if (bufferFreed)
        noteChangeLocked(PortChange::BufferFreed);
    else if (!isRead && transmitter_.nextCheck())
        noteChangeLocked(PortChange::TransmitterCheckDue);
    if (!isSuccess(status)) return fail(ERROR_IO_PENDING);
    if (transferred) *transferred = loadCount(overlapped);
    return TRUE;
}

// ---- purge, errors, events ----

BOOL Port::purge(DWORD flags) {
    if (flags == 0 || (flags & ~kKnownPurgeFlags)) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    if (flags & PURGE_TXABORT) endLocked(write_, STATUS_CANCELLED_CODE);
    if (flags & PURGE_RXABORT) endLocked(read_, STATUS_CANCELLED_CODE);
    if (flags & (PURGE_TXCLEAR | PURGE_RXCLEAR)) device_->flush(flags & PURGE_RXCLEAR, flags & PURGE_TXCLEAR);
    if (flags & PURGE_RXCLEAR) input_.clear();
    noteChangeLocked(PortChange::StateChanged);
    return TRUE;
}

BOOL Port::clearError(DWORD* errors, COMSTAT* stat) {
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    // The queue counts as of now; the errors alone (the line-event handler's
    // question) are what the service thread has latched.
    if (stat && !wake_.hungUp) drainInputLocked();
    bool wasAborting = abortLatchedLocked();
    if (errors) *errors = errors_;
    errors_ = 0;
    if (stat) {
        unsigned queued = 0;
        if (device_->outputQueued(queued) != 0) queued = 0;  // the device cannot tell
        *stat = COMSTAT{};
        stat->cbInQue = static_cast<DWORD>(input_.size());
        stat->cbOutQue = (write_ ? write_->length - write_->done : 0) + queued;
    }
    if (wasAborting) noteChangeLocked(PortChange::StateChanged);  // transfers may run again
    return TRUE;
}

BOOL Port::setMask(DWORD mask) {
    if (mask & ~kAcceptedEventMask) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    if (lineWait_) completeLineWaitLocked(STATUS_SUCCESS_CODE, 0);
    eventMask_ = mask;
    eventHistory_ = 0;
    readModemBaselineLocked();  // changes count from now on
    noteChangeLocked(PortChange::StateChanged);
    return TRUE;
}

BOOL Port::waitEvent(DWORD* mask, OVERLAPPED* overlapped) {
    if (mask == nullptr) return fail(ERROR_INVALID_PARAMETER);
    Request request;
    if (DWORD error = startRequest(overlapped, request)) return fail(error);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    if (eventMask_ == 0 || lineWait_) return fail(ERROR_INVALID_PARAMETER);
    lineWait_ = LineWait{mask, request};  // the service thread completes it when an event comes
    markPending(overlapped);
    raiseEventsLocked(0);  // events already seen complete it at once
    if (!lineWait_) return TRUE;
    // Input that has arrived unseen is the service thread's to find: it
    // polls for input while this wait is pending.
    noteChangeLocked(PortChange::InputWanted);
    return fail(ERROR_IO_PENDING);
}

}  // namespace winapi::posix
