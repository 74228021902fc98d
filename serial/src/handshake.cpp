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
    if (!ResetEvent(handshake.TransferReady.get())) {
        RecordFailure(Message::EventCancel);
        stop = true;
        return false;
    }
    const HANDLE request = direction == Direction::Write ? handshake.WriteRequest.get() : handshake.ReadRequest.get();
    if (!SetEvent(request)) {
        RecordFailure(Message::EventSignal);
        stop = true;
        return false;
    }
    return true;
}

// Waits for the worker's result; true when the transfer moved its byte.
// TransferReady precedes WorkerEnded, so a transfer finished just before
// the worker stopped still counts.
bool AwaitResult(bool requested) {
    HandshakeState& handshake = Handshake();
    const std::array<HANDLE, 3> handles = {handshake.PortClosed.get(), handshake.TransferReady.get(),
                                           handshake.WorkerEnded.get()};
    const DWORD woken = WaitForMultipleObjects(3, handles.data(), FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0 + 1) return requested && handshake.TimeOutFlag.load() == 0;
    RecordFailure(Message::WaitFailed);
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
