#include "serial/src/comm_threads.h"

#include <algorithm>

#include "serial/src/library_state.h"
#include "serial/src/line_events.h"
#include "serial/src/wait_for_first.h"

namespace winseria {

using namespace winapi;

namespace {

// A wait the device refuses because another one is outstanding on the port
// (CharSent's query) is retried after a pause that grows up to a second.
constexpr DWORD kFirstBackOffMs = 10;
constexpr DWORD kLongestBackOffMs = 1000;

void RaiseThreadPriority() {
    // Refused where the system does not allow it; the thread runs anyway.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

}  // namespace

// ---- Watcher -------------------------------------------------------------------

TZdarzeniaCommThread::TZdarzeniaCommThread(HANDLE portHandle, std::uint16_t eventSet)
    : portHandle_(portHandle), platformMask_(PlatformEventMask(eventSet)) {
    SetLastError(0);
    if (const UniqueHandle process(OpenProcess(PROCESS_SET_INFORMATION, TRUE, GetCurrentProcessId())); process) {
        SetPriorityClass(process.get(), REALTIME_PRIORITY_CLASS);
    } else {
        SetErrorCode(static_cast<std::int32_t>(GetLastError()));
    }
    stopSignal_.reset(CreateManualEvent(false));
    if (stopSignal_) eventSignal_.reset(CreateManualEvent(true));
    // The connection goes on unwatched; the slot tells why.
    if (!eventSignal_) RecordFailure(Message::WorkerCreateEvent);
    overlapped_.hEvent = eventSignal_.get();
    SetCommMask(portHandle_, platformMask_);
    if (!Start()) SetError(Message::Empty, static_cast<std::int32_t>(ERROR_NOT_ENOUGH_MEMORY));
}

// The events go with the object, also when the thread never started.
TZdarzeniaCommThread::~TZdarzeniaCommThread() {
    StopThread();
    WaitFor();
}

void TZdarzeniaCommThread::StopThread() {
    SetLastError(0);
    if (stopSignal_) SetEvent(stopSignal_.get());
    RequestStop();
}

bool TZdarzeniaCommThread::StopWithin(DWORD milliseconds) {
    return WaitForSingleObject(stopSignal_.get(), milliseconds) == WAIT_OBJECT_0 || Terminated();
}

void TZdarzeniaCommThread::Run() {
    enum class Woken { Stopped, LineEvent, Failed };
    RaiseThreadPriority();
    SetLastError(0);
    // Without its events the watcher could neither wait nor be stopped.
    if (!stopSignal_ || !eventSignal_) return;

    DWORD backOff = kFirstBackOffMs;
    for (;;) {
        // The event tells this wait's completion alone, not an earlier one.
        ResetEvent(eventSignal_.get());
        if (WaitCommEvent(portHandle_, &eventMask_, &overlapped_)) {
            SetEvent(eventSignal_.get());  // completed at once
        } else {
            const DWORD error = GetLastError();
            if (error == ERROR_INVALID_PARAMETER) {
                if (StopWithin(backOff)) break;
                backOff = std::min(backOff * 2, kLongestBackOffMs);
                continue;
            }
            if (error != ERROR_IO_PENDING) break;  // the device takes no waits: watching ends
            waitOutstanding_ = true;
        }
        backOff = kFirstBackOffMs;

        // A stop outranks a line event that came with it.
        const Woken woken = WaitForFirst<Woken, 2>(
            {{{stopSignal_.get(), Woken::Stopped}, {eventSignal_.get(), Woken::LineEvent}}}, Woken::Failed);
        if (woken != Woken::LineEvent) break;

        DWORD unused = 0;
        const BOOL completed = GetOverlappedResult(portHandle_, &overlapped_, &unused, FALSE);
        if (completed || GetLastError() != ERROR_IO_INCOMPLETE) waitOutstanding_ = false;
        if (!completed) break;
        Synchronize([this] { NotifyOwner(); });
        if (Terminated()) break;
    }
    WithdrawWait();
    SetLastError(0);
    PurgeComm(portHandle_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void TZdarzeniaCommThread::WithdrawWait() {
    // The device would complete the wait into this object after it is gone:
    // setting the (unchanged) mask completes it now, with no events.
    if (!waitOutstanding_) return;
    SetCommMask(portHandle_, platformMask_);
    DWORD unused = 0;
    GetOverlappedResult(portHandle_, &overlapped_, &unused, TRUE);
    waitOutstanding_ = false;
}

void TZdarzeniaCommThread::NotifyOwner() {
    if (onCommEvent_) onCommEvent_(this, eventMask_);
}

// ---- Worker ----------------------------------------------------------------------

TZapisOdczytThread::TZapisOdczytThread(ByteDevice& port) : port_(port) {
    if (!Handshake().ReplaceWorkerEvents()) return;
    if (!Start()) {
        // Without a thread the handshake has no partner: transfers fail at once.
        SetError(Message::Empty, static_cast<std::int32_t>(ERROR_NOT_ENOUGH_MEMORY));
        Handshake().EndWorker();
    }
}

TZapisOdczytThread::~TZapisOdczytThread() {
    StopThread();
    WaitFor();
}

void TZapisOdczytThread::StopThread() {
    Handshake().StopWorker();
    RequestStop();
}

void TZapisOdczytThread::Run() {
    RaiseThreadPriority();
    SetLastError(0);
    HandshakeState& handshake = Handshake();
    while (handshake.ServeNextRequest(port_) && !Terminated()) {
    }
    handshake.EndWorker();
}

}  // namespace winseria
