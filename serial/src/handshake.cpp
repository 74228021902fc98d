#include "serial/src/handshake.h"

#include <array>

#include "serial/src/library_state.h"
#include "serial/src/wait_for_first.h"

namespace winseria {

using namespace winapi;

// ---- Set-up ------------------------------------------------------------------------

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

// ---- The caller's side ---------------------------------------------------------------

namespace {

struct DirectionTexts {
    Message refused;      // the port closed or closing, or the worker ended, before the request
    Message waitFailed;   // the first wait failed
    Message finalSignal;  // TransferReady could not be signalled at the end
};

DirectionTexts TextsFor(HandshakeState::Direction direction) {
    if (direction == HandshakeState::Direction::Write) {
        return {Message::WriteAborted, Message::WriteInvalid, Message::EventSignal};
    }
    return {Message::ReadRefused, Message::WriteInvalid, Message::EventCancel};
}

}  // namespace

enum class HandshakeState::HandOverOutcome {
    Requested,  // the worker has the request
    Refused,    // no request was made; the caller still waits as after one
    Broken,     // an event could not be reset or signalled: the caller returns at once
};

bool HandshakeState::Write(std::uint8_t value) { return Transfer(Direction::Write, value); }

bool HandshakeState::Read(std::uint8_t& value) { return Transfer(Direction::Read, value); }

bool HandshakeState::WritePending() const {
    // In the order a write passes through: the request, then the worker's write.
    return WaitForSingleObject(writeRequest_.get(), 0) == WAIT_OBJECT_0 || writeUnderway_.load();
}

bool HandshakeState::Transfer(Direction direction, std::uint8_t& value) {
    const std::unique_lock turn = TakeTurn();
    timeOutFlag_.store(0);
    if (direction == Direction::Read) inByte_ = 0;
    const HandOverOutcome handedOver = HandOver(direction, value);
    if (handedOver == HandOverOutcome::Broken) return false;
    if (handedOver == HandOverOutcome::Requested && AwaitAnswer()) {
        // The worker answered, so it counts as idle again already.
        const bool moved = timeOutFlag_.load() == 0;
        if (moved && direction == Direction::Read) value = inByte_;
        return moved;
    }
    if (handedOver == HandOverOutcome::Refused) AwaitRefusal();
    // No answer came: the worker counts as idle again, whatever happened.
    SetLastError(0);
    if (!SetEvent(transferReady_.get())) RecordFailure(TextsFor(direction).finalSignal);
    return false;
}

// Waits until the worker is idle and hands the request over. Simultaneous
// outcomes rank: the port closed, the worker ended, a close began (each
// refuses the transfer), and only then the worker idle.
HandshakeState::HandOverOutcome HandshakeState::HandOver(Direction direction, std::uint8_t value) {
    enum class Woken { Refused, Idle, Failed };
    const DirectionTexts texts = TextsFor(direction);
    const Woken woken = WaitForFirst<Woken, 4>({{{portClosed_.get(), Woken::Refused},
                                                 {workerEnded_.get(), Woken::Refused},
                                                 {stopTransfers_.get(), Woken::Refused},
                                                 {transferReady_.get(), Woken::Idle}}},
                                               Woken::Failed);
    if (woken != Woken::Idle) {
        RecordFailure(woken == Woken::Refused ? texts.refused : texts.waitFailed);
        return HandOverOutcome::Refused;
    }
    if (direction == Direction::Write) outByte_ = value;
    SetLastError(0);
    if (!ResetEvent(transferReady_.get())) {
        RecordFailure(Message::EventCancel);
        return HandOverOutcome::Broken;
    }
    const HANDLE request = direction == Direction::Write ? writeRequest_.get() : readRequest_.get();
    SetLastError(0);
    if (!SetEvent(request)) {
        RecordFailure(Message::EventSignal);
        return HandOverOutcome::Broken;
    }
    return HandOverOutcome::Requested;
}

// Waits for the worker's answer to a request; true when it came. The answer
// outranks a close and the worker's end: TransferReady comes first, and is
// looked at once more when another event won (a wait need not see the events
// in the order they were signalled). So a transfer that finished counts
// whatever a close signalled meanwhile.
bool HandshakeState::AwaitAnswer() {
    enum class Woken { Answered, Closed, Failed };
    const Woken woken = WaitForFirst<Woken, 3>({{{transferReady_.get(), Woken::Answered},
                                                 {portClosed_.get(), Woken::Closed},
                                                 {workerEnded_.get(), Woken::Closed}}},
                                               Woken::Failed);
    const DWORD waitError = GetLastError();
    if (woken == Woken::Answered || WaitForSingleObject(transferReady_.get(), 0) == WAIT_OBJECT_0) return true;
    SetError(Message::WaitFailed, static_cast<std::int32_t>(waitError));
    return false;
}

// After a refusal TransferReady only says the worker is idle; a closed port
// outranks it and records the failed wait.
void HandshakeState::AwaitRefusal() {
    enum class Woken { Idle, Closed, Failed };
    const Woken woken = WaitForFirst<Woken, 3>({{{portClosed_.get(), Woken::Closed},
                                                 {transferReady_.get(), Woken::Idle},
                                                 {workerEnded_.get(), Woken::Closed}}},
                                               Woken::Failed);
    if (woken != Woken::Idle) RecordFailure(Message::WaitFailed);
}

// ---- The worker's side -------------------------------------------------------------------

bool HandshakeState::ServeNextRequest(ByteDevice& device) {
    enum class Woken { Stopped, Write, Read, Failed };
    // A stop outranks a request that came with it: the request is skipped.
    const Woken woken = WaitForFirst<Woken, 3>({{{stopTransfers_.get(), Woken::Stopped},
                                                 {writeRequest_.get(), Woken::Write},
                                                 {readRequest_.get(), Woken::Read}}},
                                               Woken::Failed);
    if (woken == Woken::Write) {
        // Up before the request is taken back, down once the byte is in the
        // driver's queue: CharSent never misses the write between.
        writeUnderway_.store(true);
        const DWORD written = TakeRequest(writeRequest_) ? device.WriteToDevice(outByte_) : 0;
        writeUnderway_.store(false);
        Answer(written);
    } else if (woken == Woken::Read) {
        Answer(TakeRequest(readRequest_) ? device.ReadFromDevice(inByte_) : 0);
    }
    return woken == Woken::Write || woken == Woken::Read;
}

bool HandshakeState::TakeRequest(const UniqueHandle& request) {
    SetLastError(0);
    if (!ResetEvent(request.get())) {
        RecordFailure(Message::HandleClose);
        return false;
    }
    SetLastError(0);
    timeOutFlag_.store(1);
    return true;
}

// Every path of the worker ends here, so the waiting caller is always
// released; a transfer that moved nothing leaves the time-out flag set.
void HandshakeState::Answer(DWORD moved) {
    timeOutFlag_.store(moved == 0 ? 1 : 0);
    SetLastError(0);
    if (!SetEvent(transferReady_.get())) RecordFailure(Message::EventCancel);
}

// The work was done outranks the end of the connection and the worker's
// stop (a close has begun).
DeviceWait HandshakeState::AwaitDevice(HANDLE done) const {
    return WaitForFirst<DeviceWait, 3>({{{done, DeviceWait::Done},
                                         {portClosed_.get(), DeviceWait::PortClosed},
                                         {stopTransfers_.get(), DeviceWait::Stopping}}},
                                       DeviceWait::Failed);
}

void HandshakeState::EndWorker() { SetEvent(workerEnded_.get()); }

// ---- The close -----------------------------------------------------------------------------

void HandshakeState::StopWorker() {
    SetLastError(0);
    if (stopTransfers_) SetEvent(stopTransfers_.get());
}

bool HandshakeState::SignalPortClosed() {
    SetLastError(0);
    return SetEvent(portClosed_.get()) != FALSE;
}

}  // namespace winseria
