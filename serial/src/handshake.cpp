#include "serial/src/handshake.h"

#include "serial/src/library_state.h"

namespace winseria {

using namespace winapi;

bool HandshakeState::ReplaceWorkerEvents() {
    SetLastError(0);
    // In the order of the handshake; the first failure ends the creation.
    std::array<UniqueHandle, 5> created{};
    const std::array<bool, 5> signalled = {true, false, false, false, false};
    for (std::size_t i = 0; i < created.size(); ++i) {
        created[i].reset(CreateManualEvent(signalled[i]));
        if (created[i]) continue;
        RecordFailure(Message::WorkerCreateEvent);
        created = {};
        break;
    }
    transferReady_ = std::move(created[0]);
    stopTransfers_ = std::move(created[1]);
    writeRequest_ = std::move(created[2]);
    readRequest_ = std::move(created[3]);
    workerEnded_ = std::move(created[4]);
    return static_cast<bool>(stopTransfers_);
}

DWORD HandshakeState::ReplacePortClosed() {
    SetLastError(0);
    portClosed_.reset(CreateManualEvent(false));
    return portClosed_ ? ERROR_SUCCESS : GetLastError();
}

HandshakeState& Handshake() {
    // Never destroyed: threads of a port still open at process end may use it.
    static auto* state = new HandshakeState;
    return *state;
}

namespace {

enum class Direction { Write, Read };

struct DirectionTexts {
    Message refused;      // the port closed or closing, or the worker ended, before the request
    Message waitFailed;   // the first wait failed
    Message finalSignal;  // TransferReady could not be signalled at the end
};

DirectionTexts TextsFor(Direction direction) {
    if (direction == Direction::Write) return {Message::WriteAborted, Message::WriteInvalid, Message::EventSignal};
    return {Message::ReadRefused, Message::WriteInvalid, Message::EventCancel};
}

enum class HandOverOutcome {
    Requested,  // the worker has the request
    Refused,    // no request was made; the caller still waits as after one
    Broken,     // an event could not be reset or signalled: the caller returns at once
};

// Waits until the worker is idle and hands the request over. Simultaneous
// outcomes rank: the port closed, the worker ended, a close began (each
// refuses the transfer), and only then the worker idle.
HandOverOutcome HandOver(Direction direction, std::uint8_t value) {
    enum class Woken { Refused, Idle, Failed };
    HandshakeState& handshake = Handshake();
    const DirectionTexts texts = TextsFor(direction);
    const Woken woken = WaitForFirst<Woken, 4>({{{handshake.PortClosed(), Woken::Refused},
                                                 {handshake.WorkerEnded(), Woken::Refused},
                                                 {handshake.StopTransfers(), Woken::Refused},
                                                 {handshake.TransferReady(), Woken::Idle}}},
                                               Woken::Failed);
    if (woken != Woken::Idle) {
        RecordFailure(woken == Woken::Refused ? texts.refused : texts.waitFailed);
        return HandOverOutcome::Refused;
    }
    if (direction == Direction::Write) handshake.outByte = value;
    SetLastError(0);
    if (!ResetEvent(handshake.TransferReady())) {
        RecordFailure(Message::EventCancel);
        return HandOverOutcome::Broken;
    }
    const HANDLE request = direction == Direction::Write ? handshake.WriteRequest() : handshake.ReadRequest();
    SetLastError(0);
    if (!SetEvent(request)) {
        RecordFailure(Message::EventSignal);
        return HandOverOutcome::Broken;
    }
    return HandOverOutcome::Requested;
}

// Waits for the worker's result; true when the transfer moved its byte.
bool AwaitResult(HandOverOutcome handedOver) {
    enum class Woken { Done, Idle, Closed, Failed };
    HandshakeState& handshake = Handshake();
    const HANDLE ready = handshake.TransferReady();
    Woken woken = Woken::Failed;
    if (handedOver == HandOverOutcome::Requested) {
        // The work was done outranks a close or the worker's end: TransferReady
        // comes first, and is looked at once more when another event won (a
        // wait need not see the events in the order they were signalled).
        woken = WaitForFirst<Woken, 3>(
            {{{ready, Woken::Done}, {handshake.PortClosed(), Woken::Closed}, {handshake.WorkerEnded(), Woken::Closed}}},
            Woken::Failed);
        const DWORD waitError = GetLastError();
        if (woken == Woken::Done || WaitForSingleObject(ready, 0) == WAIT_OBJECT_0) {
            return handshake.timeOutFlag.load() == 0;
        }
        SetError(Message::WaitFailed, static_cast<std::int32_t>(waitError));
        return false;
    }
    // Without a request TransferReady only says the worker is idle; a closed
    // port outranks it and records the failed wait.
    woken = WaitForFirst<Woken, 3>(
        {{{handshake.PortClosed(), Woken::Closed}, {ready, Woken::Idle}, {handshake.WorkerEnded(), Woken::Closed}}},
        Woken::Failed);
    if (woken != Woken::Idle) RecordFailure(Message::WaitFailed);
    return false;
}

bool Transfer(Direction direction, std::uint8_t& value) {
    HandshakeState& handshake = Handshake();
    const std::unique_lock turn = handshake.TakeTurn();
    handshake.timeOutFlag.store(0);
    const HandOverOutcome handedOver = HandOver(direction, value);
    if (handedOver == HandOverOutcome::Broken) return false;
    const bool moved = AwaitResult(handedOver);
    if (moved && direction == Direction::Read) value = handshake.inByte;
    // The worker counts as idle again, whatever happened.
    SetLastError(0);
    if (!SetEvent(handshake.TransferReady())) {
        RecordFailure(TextsFor(direction).finalSignal);
        return false;
    }
    return moved;
}

}  // namespace

bool WriteThroughWorker(std::uint8_t value) { return Transfer(Direction::Write, value); }

bool ReadThroughWorker(std::uint8_t& value) { return Transfer(Direction::Read, value); }

}  // namespace winseria
