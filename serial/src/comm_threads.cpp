#include "serial/src/comm_threads.h"

#include <algorithm>
#include <array>

#include "serial/src/library_state.h"
#include "serial/src/line_events.h"

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
    SetEvent(handshake.TransferReady.get());
}

}  // namespace

// ---- Watcher -------------------------------------------------------------------

TZdarzeniaCommThread::TZdarzeniaCommThread(HANDLE portHandle, std::uint16_t eventSet)
    : PortHandle(portHandle), PlatformMask(PlatformEventMask(eventSet)) {
    SetLastError(0);
    if (const UniqueHandle process(OpenProcess(PROCESS_SET_INFORMATION, TRUE, GetCurrentProcessId())); process) {
        SetPriorityClass(process.get(), REALTIME_PRIORITY_CLASS);
    } else {
        SetErrorCode(static_cast<std::int32_t>(GetLastError()));
    }
    StopSignal.reset(CreateManualEvent(false));
    if (StopSignal) EventSignal.reset(CreateManualEvent(true));
    // The connection goes on unwatched; the slot tells why.
    if (!EventSignal) RecordFailure(Message::WorkerCreateEvent);
    Overlapped.hEvent = EventSignal.get();
    SetCommMask(PortHandle, PlatformMask);
    if (!Start()) SetError(Message::Empty, static_cast<std::int32_t>(ERROR_NOT_ENOUGH_MEMORY));
}

// The events go with the object, also when the thread never started.
TZdarzeniaCommThread::~TZdarzeniaCommThread() {
    StopThread();
    WaitFor();
}

void TZdarzeniaCommThread::StopThread() {
    SetLastError(0);
    if (StopSignal) SetEvent(StopSignal.get());
    RequestStop();
}

bool TZdarzeniaCommThread::StopWithin(DWORD milliseconds) {
    return WaitForSingleObject(StopSignal.get(), milliseconds) == WAIT_OBJECT_0 || Terminated();
}

void TZdarzeniaCommThread::Run() {
    RaiseThreadPriority();
    SetLastError(0);
    // Without its events the watcher could neither wait nor be stopped.
    if (!StopSignal || !EventSignal) return;

    DWORD backOff = kFirstBackOffMs;
    for (;;) {
        // The event tells this wait's completion alone, not an earlier one.
        ResetEvent(EventSignal.get());
        if (WaitCommEvent(PortHandle, &EventMask, &Overlapped)) {
            SetEvent(EventSignal.get());  // completed at once
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

        const std::array<HANDLE, 2> handles = {StopSignal.get(), EventSignal.get()};
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

TZapisOdczytThread::TZapisOdczytThread(ByteTransfers* port, HANDLE portHandle) : Port(port), PortHandle(portHandle) {
    if (!CreateEvents()) return;
    if (!Start()) {
        // Without a thread the handshake has no partner: transfers fail at once.
        SetError(Message::Empty, static_cast<std::int32_t>(ERROR_NOT_ENOUGH_MEMORY));
        SetEvent(Handshake().WorkerEnded.get());
    }
}

TZapisOdczytThread::~TZapisOdczytThread() {
    StopThread();
    WaitFor();
}

bool TZapisOdczytThread::CreateEvents() {
    SetLastError(0);
    // In the order of the handshake; the first failure ends the creation.
    std::array<UniqueHandle, 5> created{};
    const std::array<bool, 5> signalled = {true, false, false, false, false};
    for (std::size_t i = 0; i < created.size(); ++i) {
        created[i].reset(CreateManualEvent(signalled[i]));
        if (created[i]) continue;
        RecordFailure(Message::WorkerCreateEvent);
        // No partner for the handshake: transfers fail at once on the
        // missing events instead of waiting for a worker that never runs.
        created = {};
        break;
    }
    HandshakeState& handshake = Handshake();
    handshake.TransferReady = std::move(created[0]);
    handshake.StopTransfers = std::move(created[1]);
    handshake.WriteRequest = std::move(created[2]);
    handshake.ReadRequest = std::move(created[3]);
    handshake.WorkerEnded = std::move(created[4]);
    StopSignal = handshake.StopTransfers.get();
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
    const std::array<HANDLE, 3> handles = {StopSignal, handshake.WriteRequest.get(), handshake.ReadRequest.get()};
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(3, handles.data(), FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0 + 1) {
            ResetEvent(handshake.TransferReady.get());
            PerformWrite();
        } else if (woken == WAIT_OBJECT_0 + 2) {
            ResetEvent(handshake.TransferReady.get());
            PerformRead();
        } else {
            break;  // the stop signal, or a failed wait
        }
        if (Terminated()) break;
    }
    SetEvent(handshake.WorkerEnded.get());
}

void TZapisOdczytThread::PerformWrite() {
    HandshakeState& handshake = Handshake();
    if (Port == nullptr) return RefuseTransfer(handshake.WriteRequest.get());
    Port->SendByte(&handshake.OutByte);
}

void TZapisOdczytThread::PerformRead() {
    HandshakeState& handshake = Handshake();
    if (Port == nullptr) return RefuseTransfer(handshake.ReadRequest.get());
    Port->ReceiveBytes(&handshake.InByte, 1);
}

}  // namespace winseria
