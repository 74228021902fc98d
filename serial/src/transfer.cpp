// The worker's side of the byte handshake: one overlapped transfer per byte.
// Every path ends by signalling TransferReady, so that the caller waiting in
// WriteByte or ReadByte is always released; a transfer that moved nothing
// leaves the time-out flag set.
#include <array>

#include "serial/src/comm.h"
#include "serial/src/library_state.h"

namespace winseria {

using namespace winapi;

namespace {

constexpr DWORD kTransferDone = WAIT_OBJECT_0;
constexpr DWORD kPortClosed = WAIT_OBJECT_0 + 1;
constexpr DWORD kWorkerStopped = WAIT_OBJECT_0 + 2;

std::int32_t AsCode(DWORD error) { return static_cast<std::int32_t>(error); }

// Waits for the transfer's own event, the end of the connection, or the
// worker's stop (a disconnect has begun). The transfer's own completion
// comes first: a transfer that finished counts, whatever else happened.
DWORD WaitTransferOrClose(HANDLE done) {
    const HandshakeState& handshake = Handshake();
    SetLastError(0);
    const std::array<HANDLE, 3> handles = {done, handshake.PortClosed.get(), handshake.StopTransfers.get()};
    return WaitForMultipleObjects(3, handles.data(), FALSE, INFINITE);
}

}  // namespace

DWORD TComm::FinishTransfer(DWORD moved) {
    HandshakeState& handshake = Handshake();
    handshake.TimeOutFlag.store(moved == 0 ? 1 : 0);
    SetLastError(0);
    if (!SetEvent(handshake.TransferReady.get())) {
        RecordFailure(Message::EventCancel);
        return 0;
    }
    return moved;
}

DWORD TComm::FinishWrite(DWORD moved) {
    WriteUnderway.store(false);
    return FinishTransfer(moved);
}

void TComm::Abort(DWORD purgeFlags) {
    // Some serial stacks (Wine's) purge without cancelling pending
    // transfers; CancelIo, from the thread that started them, always does.
    PurgeComm(PortHandle.get(), purgeFlags);
    CancelIo(PortHandle.get());
}

DWORD TComm::Withdraw(OVERLAPPED& overlapped, DWORD purgeFlags) {
    // Cancelling and then collecting the transfer keeps the device from
    // completing it into a record that the next transfer reuses.
    Abort(purgeFlags);
    DWORD moved = 0;
    if (!GetOverlappedResult(PortHandle.get(), &overlapped, &moved, TRUE)) return 0;
    return moved;
}

DWORD TComm::SendByte(const std::uint8_t* buffer) {
    HandshakeState& handshake = Handshake();
    // Up before the request is taken back, down once the byte is in the
    // driver's queue (FinishWrite): CharSent never misses the write between.
    WriteUnderway.store(true);
    SetLastError(0);
    if (!ResetEvent(handshake.WriteRequest.get())) {
        RecordFailure(Message::HandleClose);
        return FinishWrite(0);
    }
    SetLastError(0);
    handshake.TimeOutFlag.store(1);
    WriteOverlapped = OVERLAPPED{};
    UniqueHandle done(CreateManualEvent(false));
    if (!done) {
        RecordFailure(Message::WorkerCreateEvent);
        return FinishWrite(0);
    }
    WriteOverlapped.hEvent = done.get();

    DWORD written = 0;
    if (WriteFile(PortHandle.get(), buffer, 1, &written, &WriteOverlapped)) {
        if (written != 1) RecordFailure(Message::WriteInvalid);
    } else if (GetLastError() != ERROR_IO_PENDING) {
        written = 0;
        RecordFailure(Message::WritePortInvalid);
    } else {
        written = AwaitWrite(done.get());
    }
    SetLastError(0);
    if (!done.Close()) RecordFailure(Message::HandleClose);
    return FinishWrite(written);
}

DWORD TComm::AwaitWrite(HANDLE done) {
    const DWORD woken = WaitTransferOrClose(done);
    // A disconnect has begun: the write is aborted and collected as the
    // device ends it.
    if (woken == kWorkerStopped) Abort(PURGE_TXABORT);
    if (woken == kTransferDone || woken == kWorkerStopped) {
        SetLastError(0);
        DWORD written = 0;
        if (!GetOverlappedResult(PortHandle.get(), &WriteOverlapped, &written, TRUE)) {
            RecordFailure(Message::WriteInvalid);
        } else if (written != 1) {
            RecordFailure(Message::WriteTimeout);
        }
        return written;
    }
    // A byte that moved before the transfer was withdrawn still counts.
    const DWORD waitError = GetLastError();
    const DWORD written = Withdraw(WriteOverlapped, PURGE_TXABORT);
    if (written == 0) SetError(woken == kPortClosed ? Message::WriteAborted : Message::WriteInvalid, AsCode(waitError));
    return written;
}

DWORD TComm::ReceiveBytes(std::uint8_t* buffer, DWORD count) {
    HandshakeState& handshake = Handshake();
    SetLastError(0);
    if (!ResetEvent(handshake.ReadRequest.get())) {
        RecordFailure(Message::HandleClose);
        return FinishTransfer(0);
    }
    SetLastError(0);
    handshake.TimeOutFlag.store(1);
    ReadOverlapped = OVERLAPPED{};
    UniqueHandle done(CreateManualEvent(false));
    if (!done) {
        // A read without its completion event could not be waited for.
        RecordFailure(Message::ReadCreateEvent);
        return FinishTransfer(0);
    }
    ReadOverlapped.hEvent = done.get();

    DWORD read = 0;
    if (ReadFile(PortHandle.get(), buffer, count, &read, &ReadOverlapped)) {
        if (read != count) RecordFailure(Message::ReadInvalid);
    } else if (GetLastError() != ERROR_IO_PENDING) {
        read = 0;
        RecordFailure(Message::ReadInvalid);
    } else {
        read = AwaitRead(done.get(), count);
    }
    SetLastError(0);
    if (!done.Close()) RecordFailure(Message::HandleClose);
    return FinishTransfer(read);
}

DWORD TComm::AwaitRead(HANDLE done, DWORD count) {
    const DWORD woken = WaitTransferOrClose(done);
    // A disconnect has begun: the read is aborted and collected as the
    // device ends it ("Odczyt przerwany", 995, unless its byte came first).
    if (woken == kWorkerStopped) Abort(PURGE_RXABORT);
    if (woken == kTransferDone || woken == kWorkerStopped) {
        SetLastError(0);
        DWORD read = 0;
        if (!GetOverlappedResult(PortHandle.get(), &ReadOverlapped, &read, TRUE)) {
            RecordFailure(GetLastError() == ERROR_OPERATION_ABORTED ? Message::ReadAbortedByDriver
                                                                     : Message::ReadInvalid);
        } else if (read != count) {
            RecordFailure(Message::ReadTimeout);
        }
        return read;
    }
    const DWORD waitError = GetLastError();
    const DWORD read = Withdraw(ReadOverlapped, PURGE_RXABORT);
    if (read == 0) SetError(woken == kPortClosed ? Message::ReadAbortedByClose : Message::ReadInvalid, AsCode(waitError));
    return read;
}

}  // namespace winseria
