#include "serial/src/comm_threads.h"

#include <algorithm>
#include <array>

#include "serial/src/comm.h"
#include "serial/src/library_state.h"

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

// The caller of a transfer that cannot run is released at once: the request
// is taken back, the time-out flag tells that nothing moved.
void RefuseTransfer(HANDLE request) {
    HandshakeState& handshake = Handshake();
    ResetEvent(request);
    handshake.TimeOutFlag.store(1);
    SetError(Message::NoPortObject, -1);
    SetEvent(handshake.TransferReady);
}

}  // namespace

// ---- Watcher -------------------------------------------------------------------

TZdarzeniaCommThread::TZdarzeniaCommThread(HANDLE portHandle, std::uint16_t eventSet)
    : PortHandle(portHandle), PlatformMask(PlatformEventMask(eventSet)) {
    SetLastError(0);
    HANDLE process = OpenProcess(PROCESS_SET_INFORMATION, TRUE, GetCurrentProcessId());
    if (process == nullptr) {
        SetErrorCode(static_cast<std::int32_t>(GetLastError()));
    } else {
        SetPriorityClass(process, REALTIME_PRIORITY_CLASS);
        CloseHandle(process);
    }
    StopSignal = CreateManualEvent(false);
    EventSignal = StopSignal != nullptr ? CreateManualEvent(true) : nullptr;
    // The connection goes on unwatched; the slot tells why.
    if (EventSignal == nullptr) RecordFailure(Message::WorkerCreateEvent);
    Overlapped.hEvent = EventSignal;
    SetCommMask(PortHandle, PlatformMask);
    if (!Start()) SetError(Message::Empty, static_cast<std::int32_t>(ERROR_NOT_ENOUGH_MEMORY));
}

TZdarzeniaCommThread::~TZdarzeniaCommThread() {
    StopThread();
    WaitFor();
    if (StopSignal != nullptr) CloseHandle(StopSignal);
}

void TZdarzeniaCommThread::StopThread() {
    SetLastError(0);
    if (StopSignal != nullptr) SetEvent(StopSignal);
    RequestStop();
}

bool TZdarzeniaCommThread::StopWithin(DWORD milliseconds) {
    return WaitForSingleObject(StopSignal, milliseconds) == WAIT_OBJECT_0 || Terminated();
}

void TZdarzeniaCommThread::Run() {
    RaiseThreadPriority();
    SetLastError(0);
    // Without its events the watcher could neither wait nor be stopped.
    if (StopSignal == nullptr || EventSignal == nullptr) return;

    DWORD backOff = kFirstBackOffMs;
    for (;;) {
        // The event tells this wait's completion alone, not an earlier one.
        ResetEvent(EventSignal);
        if (WaitCommEvent(PortHandle, &EventMask, &Overlapped)) {
            SetEvent(EventSignal);  // completed at once
        } else {
            const DWORD error = GetLastError();
            if (error == ERROR_INVALID_PARAMETER) {
                if (StopWithin(backOff)) break;
                backOff = std::min(backOff * 2, kLongestBackOffMs);
                continue;
            }
            if (error != ERROR_IO_PENDING) break;  // the device takes no waits: watching ends
            WaitOutstanding = true;
        }
        backOff = kFirstBackOffMs;

        const std::array<HANDLE, 2> handles = {StopSignal, EventSignal};
        const DWORD woken = WaitForMultipleObjects(2, handles.data(), FALSE, INFINITE);
        if (woken != WAIT_OBJECT_0 + 1) break;  // the stop signal, or a failed wait

        DWORD unused = 0;
        const BOOL completed = GetOverlappedResult(PortHandle, &Overlapped, &unused, FALSE);
        if (completed || GetLastError() != ERROR_IO_INCOMPLETE) WaitOutstanding = false;
        if (!completed) break;
        Synchronize([this] { NotifyOwner(); });
        if (Terminated()) break;
    }
    WithdrawWait();
    SetLastError(0);
    PurgeComm(PortHandle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    CloseHandle(EventSignal);
    EventSignal = nullptr;
}

void TZdarzeniaCommThread::WithdrawWait() {
    // The device would complete the wait into this object after it is gone:
    // setting the (unchanged) mask completes it now, with no events.
    if (!WaitOutstanding) return;
    SetCommMask(PortHandle, PlatformMask);
    DWORD unused = 0;
    GetOverlappedResult(PortHandle, &Overlapped, &unused, TRUE);
    WaitOutstanding = false;
}

void TZdarzeniaCommThread::NotifyOwner() {
    if (OnCommEvent) OnCommEvent(this, EventMask);
}

// ---- Worker ----------------------------------------------------------------------

TZapisOdczytThread::TZapisOdczytThread(TComm* port, HANDLE portHandle) : Port(port), PortHandle(portHandle) {
    if (!CreateEvents()) return;
    if (!Start()) {
        // Without a thread the handshake has no partner: transfers fail at once.
        SetError(Message::Empty, static_cast<std::int32_t>(ERROR_NOT_ENOUGH_MEMORY));
        SetEvent(Handshake().WorkerEnded);
    }
}

TZapisOdczytThread::~TZapisOdczytThread() {
    StopThread();
    WaitFor();
    if (StopSignal != nullptr) CloseHandle(StopSignal);
}

bool TZapisOdczytThread::CreateEvents() {
    SetLastError(0);
    // In the order of the handshake; the first failure ends the creation.
    std::array<HANDLE, 5> created{};
    const std::array<bool, 5> signalled = {true, false, false, false, false};
    for (std::size_t i = 0; i < created.size(); ++i) {
        created[i] = CreateManualEvent(signalled[i]);
        if (created[i] != nullptr) continue;
        RecordFailure(Message::WorkerCreateEvent);
        for (HANDLE event : created) {
            if (event != nullptr) CloseHandle(event);
        }
        // No partner for the handshake: transfers fail at once on the
        // missing events instead of waiting for a worker that never runs.
        created = {};
        break;
    }
    HandshakeState& handshake = Handshake();
    ReplaceEvent(handshake.TransferReady, created[0]);
    StopSignal = created[1];
    ReplaceEvent(handshake.WriteRequest, created[2]);
    ReplaceEvent(handshake.ReadRequest, created[3]);
    ReplaceEvent(handshake.WorkerEnded, created[4]);
    return StopSignal != nullptr;
}

void TZapisOdczytThread::StopThread() {
    SetLastError(0);
    if (StopSignal != nullptr) SetEvent(StopSignal);
    RequestStop();
}

void TZapisOdczytThread::Run() {
    RaiseThreadPriority();
    SetLastError(0);
    HandshakeState& handshake = Handshake();
    const std::array<HANDLE, 3> handles = {StopSignal, handshake.WriteRequest, handshake.ReadRequest};
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(3, handles.data(), FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0 + 1) {
            ResetEvent(handshake.TransferReady);
            PerformWrite();
        } else if (woken == WAIT_OBJECT_0 + 2) {
            ResetEvent(handshake.TransferReady);
            PerformRead();
        } else {
            break;  // the stop signal, or a failed wait
        }
        if (Terminated()) break;
    }
    SetEvent(handshake.WorkerEnded);
}

void TZapisOdczytThread::PerformWrite() {
    HandshakeState& handshake = Handshake();
    if (Port == nullptr) return RefuseTransfer(handshake.WriteRequest);
    Port->SendByte(&handshake.OutByte);
}

void TZapisOdczytThread::PerformRead() {
    HandshakeState& handshake = Handshake();
    if (Port == nullptr) return RefuseTransfer(handshake.ReadRequest);
    Port->ReceiveBytes(&handshake.InByte, 1);
}

}  // namespace winseria
