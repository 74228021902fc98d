#include "serial/src/handshake.h"

#include <array>
#include <mutex>

#include "serial/src/library_state.h"

namespace winseria {

using namespace winapi;

namespace {

enum class Direction { Write, Read };

struct DirectionTexts {
    Message closed;      // the port was closed before the request
    Message waitFailed;  // the first wait failed
    Message finalSignal; // TransferReady could not be signalled at the end
};

DirectionTexts TextsFor(Direction direction) {
    if (direction == Direction::Write) return {Message::WriteAborted, Message::WriteInvalid, Message::EventSignal};
    return {Message::ReadRefused, Message::WriteInvalid, Message::EventCancel};
}

std::mutex& TurnMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

// Waits until the worker is idle; true when the request was handed over.
// PortClosed comes first, so a closed port wins over everything; a worker
// that has ended, or whose connection has begun to close, refuses the
// transfer at once as a closed port would.
bool HandOver(Direction direction, std::uint8_t value, bool& stop) {
    HandshakeState& handshake = Handshake();
    const DirectionTexts texts = TextsFor(direction);
    const std::array<HANDLE, 4> handles = {handshake.PortClosed.get(), handshake.WorkerEnded.get(),
                                           handshake.StopTransfers.get(), handshake.TransferReady.get()};
    SetLastError(0);
    const DWORD woken = WaitForMultipleObjects(4, handles.data(), FALSE, INFINITE);
    if (woken <= WAIT_OBJECT_0 + 2) {
        RecordFailure(texts.closed);
        return false;
    }
    if (woken != WAIT_OBJECT_0 + 3) {
        RecordFailure(texts.waitFailed);
        return false;
    }
    if (direction == Direction::Write) handshake.OutByte = value;
    SetLastError(0);
    if (!ResetEvent(handshake.TransferReady.get())) {
        RecordFailure(Message::EventCancel);
        stop = true;
        return false;
    }
    const HANDLE request = direction == Direction::Write ? handshake.WriteRequest.get() : handshake.ReadRequest.get();
    SetLastError(0);
    if (!SetEvent(request)) {
        RecordFailure(Message::EventSignal);
        stop = true;
        return false;
    }
    return true;
}

// Waits for the worker's result; true when the transfer moved its byte.
// Once the worker has the request, its signalling TransferReady is the
// outcome that counts: it comes first in the wait, and when another event
// won (a close signalled meanwhile) TransferReady is looked at once more
// before the close is taken as the outcome. Without a request TransferReady
// only says the worker is idle, and PortClosed comes first, so a closed
// port records the failed wait.
bool AwaitResult(bool requested) {
    HandshakeState& handshake = Handshake();
    const HANDLE ready = handshake.TransferReady.get();
    const HANDLE closed = handshake.PortClosed.get();
    const std::array<HANDLE, 3> handles = {requested ? ready : closed, requested ? closed : ready,
                                           handshake.WorkerEnded.get()};
    SetLastError(0);
    const DWORD woken = WaitForMultipleObjects(3, handles.data(), FALSE, INFINITE);
    const DWORD waitError = GetLastError();
    const bool readyWon = woken < WAIT_OBJECT_0 + 2 && handles[woken - WAIT_OBJECT_0] == ready;
    if (readyWon || (requested && WaitForSingleObject(ready, 0) == WAIT_OBJECT_0)) {
        return requested && handshake.TimeOutFlag.load() == 0;
    }
    SetError(Message::WaitFailed, static_cast<std::int32_t>(waitError));
    return false;
}

bool Transfer(Direction direction, std::uint8_t& value) {
    const std::unique_lock turn = TakeHandshakeTurn();
    HandshakeState& handshake = Handshake();
    handshake.TimeOutFlag.store(0);
    bool stop = false;
    const bool requested = HandOver(direction, value, stop);
    if (stop) return false;
    bool result = AwaitResult(requested);
    if (result && direction == Direction::Read) value = handshake.InByte;
    // The worker counts as idle again, whatever happened.
    SetLastError(0);
    if (!SetEvent(handshake.TransferReady.get())) {
        RecordFailure(TextsFor(direction).finalSignal);
        return false;
    }
    return result;
}

}  // namespace

std::unique_lock<std::mutex> TakeHandshakeTurn() { return std::unique_lock(TurnMutex()); }

bool WriteThroughWorker(std::uint8_t value) { return Transfer(Direction::Write, value); }

bool ReadThroughWorker(std::uint8_t& value) { return Transfer(Direction::Read, value); }

}  // namespace winseria
