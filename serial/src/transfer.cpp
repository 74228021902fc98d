// The worker's side of the byte handshake: one overlapped transfer per byte,
// one path for both directions. Every path ends by signalling TransferReady,
// so that the caller waiting in WriteByte or ReadByte is always released; a
// transfer that moved nothing leaves the time-out flag set.
#include "serial/src/comm.h"
#include "serial/src/handshake.h"
#include "serial/src/library_state.h"

namespace winseria {

using namespace winapi;

// What tells a write from a read; everything else is the same.
struct TransferKind {
    HANDLE (HandshakeState::*request)() const;
    BOOL (*start)(HANDLE file, void* buffer, DWORD count, DWORD* moved, OVERLAPPED* overlapped);
    DWORD purgeFlag;              // aborts this direction's transfers
    Message noCompletionEvent;    // its TransferDone could not be created
    Message startRefused;         // the transfer could not be started
    Message shortAtOnce;          // it completed at once with too few bytes
    Message resultFailed;         // it failed after the wait
    Message resultAborted;        // it failed after the wait with ERROR_OPERATION_ABORTED
    Message timedOut;             // it ended after the wait with too few bytes
    Message portClosed;           // the connection ended during the wait
    Message waitFailed;           // the wait failed
};

namespace {

const TransferKind kWrite = {
    .request = &HandshakeState::WriteRequest,
    .start = [](HANDLE file, void* buffer, DWORD count, DWORD* moved, OVERLAPPED* overlapped) {
        return WriteFile(file, buffer, count, moved, overlapped);
    },
    .purgeFlag = PURGE_TXABORT,
    .noCompletionEvent = Message::WorkerCreateEvent,
    .startRefused = Message::WritePortInvalid,
    .shortAtOnce = Message::WriteInvalid,
    .resultFailed = Message::WriteInvalid,
    .resultAborted = Message::WriteInvalid,
    .timedOut = Message::WriteTimeout,
    .portClosed = Message::WriteAborted,
    .waitFailed = Message::WriteInvalid,
};

const TransferKind kRead = {
    .request = &HandshakeState::ReadRequest,
    .start = [](HANDLE file, void* buffer, DWORD count, DWORD* moved, OVERLAPPED* overlapped) {
        return ReadFile(file, buffer, count, moved, overlapped);
    },
    .purgeFlag = PURGE_RXABORT,
    // A read without its completion event could not be waited for.
    .noCompletionEvent = Message::ReadCreateEvent,
    .startRefused = Message::ReadInvalid,
    .shortAtOnce = Message::ReadInvalid,
    .resultFailed = Message::ReadInvalid,
    .resultAborted = Message::ReadAbortedByDriver,
    .timedOut = Message::ReadTimeout,
    .portClosed = Message::ReadAbortedByClose,
    .waitFailed = Message::ReadInvalid,
};

}  // namespace

DWORD TComm::SendByte(const std::uint8_t* buffer) {
    // Up before the request is taken back, down once the byte is in the
    // driver's queue: CharSent never misses the write between. (A write
    // only reads its buffer.)
    writeUnderway_.store(true);
    const DWORD written = RunTransfer(kWrite, writeOverlapped_, const_cast<std::uint8_t*>(buffer), 1);
    writeUnderway_.store(false);
    return FinishTransfer(written);
}

DWORD TComm::ReceiveBytes(std::uint8_t* buffer, DWORD count) {
    return FinishTransfer(RunTransfer(kRead, readOverlapped_, buffer, count));
}

DWORD TComm::RunTransfer(const TransferKind& kind, OVERLAPPED& overlapped, void* buffer, DWORD count) {
    HandshakeState& handshake = Handshake();
    SetLastError(0);
    if (!ResetEvent((handshake.*kind.request)())) {
        RecordFailure(Message::HandleClose);
        return 0;
    }
    SetLastError(0);
    handshake.timeOutFlag.store(1);
    overlapped = OVERLAPPED{};
    UniqueHandle done(CreateManualEvent(false));
    if (!done) {
        RecordFailure(kind.noCompletionEvent);
        return 0;
    }
    overlapped.hEvent = done.get();

    DWORD moved = 0;
    if (kind.start(portHandle_.get(), buffer, count, &moved, &overlapped)) {
        if (moved != count) RecordFailure(kind.shortAtOnce);
    } else if (GetLastError() != ERROR_IO_PENDING) {
        moved = 0;
        RecordFailure(kind.startRefused);
    } else {
        moved = AwaitTransfer(kind, overlapped, count);
    }
    SetLastError(0);
    if (!done.Close()) RecordFailure(Message::HandleClose);
    return moved;
}

DWORD TComm::AwaitTransfer(const TransferKind& kind, OVERLAPPED& overlapped, DWORD count) {
    enum class Woken { Done, PortClosed, Stopped, Failed };
    // The work was done outranks the end of the connection and the worker's
    // stop (a disconnect has begun).
    const HandshakeState& handshake = Handshake();
    const Woken woken = WaitForFirst<Woken, 3>({{{overlapped.hEvent, Woken::Done},
                                                 {handshake.PortClosed(), Woken::PortClosed},
                                                 {handshake.StopTransfers(), Woken::Stopped}}},
                                               Woken::Failed);
    if (woken == Woken::Done || woken == Woken::Stopped) {
        // On a stop the transfer is aborted and collected as the device ends
        // it (995, unless its byte moved first).
        if (woken == Woken::Stopped) Abort(kind.purgeFlag);
        SetLastError(0);
        DWORD moved = 0;
        if (!GetOverlappedResult(portHandle_.get(), &overlapped, &moved, TRUE)) {
            RecordFailure(GetLastError() == ERROR_OPERATION_ABORTED ? kind.resultAborted : kind.resultFailed);
        } else if (moved != count) {
            RecordFailure(kind.timedOut);
        }
        return moved;
    }
    // A byte that moved before the transfer was withdrawn still counts.
    const DWORD waitError = GetLastError();
    const DWORD moved = Withdraw(overlapped, kind.purgeFlag);
    if (moved == 0) {
        SetError(woken == Woken::PortClosed ? kind.portClosed : kind.waitFailed, static_cast<std::int32_t>(waitError));
    }
    return moved;
}

DWORD TComm::FinishTransfer(DWORD moved) {
    HandshakeState& handshake = Handshake();
    handshake.timeOutFlag.store(moved == 0 ? 1 : 0);
    SetLastError(0);
    if (!SetEvent(handshake.TransferReady())) {
        RecordFailure(Message::EventCancel);
        return 0;
    }
    return moved;
}

void TComm::Abort(DWORD purgeFlag) {
    // Some serial stacks (Wine's) purge without cancelling pending
    // transfers; CancelIo, from the thread that started them, always does.
    PurgeComm(portHandle_.get(), purgeFlag);
    CancelIo(portHandle_.get());
}

DWORD TComm::Withdraw(OVERLAPPED& overlapped, DWORD purgeFlag) {
    // Cancelling and then collecting the transfer keeps the device from
    // completing it into a record that the next transfer reuses.
    Abort(purgeFlag);
    DWORD moved = 0;
    if (!GetOverlappedResult(portHandle_.get(), &overlapped, &moved, TRUE)) return 0;
    return moved;
}

}  // namespace winseria
