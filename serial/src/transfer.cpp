// The device side of a worker's request: one overlapped transfer of one byte,
// one path for both directions. The hand-over around it (the request, the
// answer, the time-out flag) and the ranking of its wait against a close are
// the handshake's (handshake.cpp); this file carries out what the wait's
// outcome asks of the device.
#include "serial/src/comm.h"
#include "serial/src/handshake.h"
#include "serial/src/library_state.h"

namespace winseria {

using namespace winapi;

// What tells a write from a read; everything else is the same.
struct TransferKind {
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

DWORD TComm::WriteToDevice(const std::uint8_t& byte) {
    // A write only reads its buffer.
    return RunTransfer(kWrite, writeOverlapped_, const_cast<std::uint8_t*>(&byte), 1);
}

DWORD TComm::ReadFromDevice(std::uint8_t& byte) { return RunTransfer(kRead, readOverlapped_, &byte, 1); }

DWORD TComm::RunTransfer(const TransferKind& kind, OVERLAPPED& overlapped, void* buffer, DWORD count) {
    SetLastError(0);
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
    const DeviceWait woken = Handshake().AwaitDevice(overlapped.hEvent);
    if (woken == DeviceWait::Done || woken == DeviceWait::Stopping) {
        // On a stop the transfer is aborted and collected as the device ends
        // it (995, unless its byte moved first).
        if (woken == DeviceWait::Stopping) Abort(kind.purgeFlag);
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
        SetError(woken == DeviceWait::PortClosed ? kind.portClosed : kind.waitFailed,
                 static_cast<std::int32_t>(waitError));
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
