#pragma once
// The byte hand-over between the callers of WriteByte and ReadByte and the
// worker thread, in one unit: its six events, the bytes handed over, the
// time-out flag, both sides of the protocol, and how a close ends a transfer.
// Only handshake.cpp signals or resets these events or changes the bytes and
// the flag; the exports, the worker's loop, the device transfer (transfer.cpp)
// and the close (TComm::Disconnect) call into it.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "serial/platform/win32_calls.h"
#include "serial/src/unique_handle.h"

namespace winseria {

// What the worker does with a request: one overlapped transfer of one byte
// on the device (TComm, transfer.cpp). Each returns the bytes it moved, and
// has recorded why when that is none.
class ByteDevice {
public:
    virtual winapi::DWORD WriteToDevice(const std::uint8_t& byte) = 0;
    virtual winapi::DWORD ReadFromDevice(std::uint8_t& byte) = 0;

protected:
    ~ByteDevice() = default;
};

// How the worker's wait for its transfer on the device ended, and so what
// becomes of the transfer.
enum class DeviceWait {
    Done,        // the device completed it: collect it
    Stopping,    // a close began: abort it, then collect it as the device ends it
    PortClosed,  // the connection ended: withdraw it
    Failed,      // the wait failed: withdraw it
};

// The handshake's state, process-wide. Its events, who signals them, and when:
//   TransferReady (signalled: the worker is idle): reset by a caller handing
//     a request over; set by the worker when it has answered, or by the
//     caller when no answer came (refused, closed, failed);
//   WriteRequest, ReadRequest: set by the caller handing its request over,
//     reset by the worker taking it;
//   StopTransfers: set by a close's first step (StopWorker): no request is
//     handed over or taken from then on, and a transfer in flight is aborted;
//   WorkerEnded: set when the worker's loop ends or its thread is refused,
//     so that a request to it fails at once;
//   PortClosed: set by a close's last step, once the worker has been joined.
// The worker's five are replaced by each worker before it starts,
// PortClosed by each Connect as its last step; replaced events are closed.
class HandshakeState {
public:
    // ---- Set-up ----
    // Replaces the worker's five events; when one cannot be created the
    // failure is recorded and the handshake is left with none of them, so
    // that transfers fail at once instead of waiting for a worker that
    // never runs. True when all five exist.
    bool ReplaceWorkerEvents();
    // Replaces PortClosed; returns the creation's error, 0 on success (the
    // old event is replaced also then, by none).
    winapi::DWORD ReplacePortClosed();
    // Callers on several threads take turns: each WriteByte and ReadByte
    // holds the turn for its whole hand-over, and an initialization holds it
    // while it replaces the events. A turn is never held for long while the
    // port is closing: its transfer is released by the close. Second in the
    // lock order (comm_port.h).
    std::unique_lock<std::mutex> TakeTurn() { return std::unique_lock(turn_); }

    // ---- The caller's side ----
    enum class Direction { Write, Read };
    // True when the worker moved the byte.
    bool Write(std::uint8_t value);
    // Stores the byte read into `value` only when the read moved it.
    bool Read(std::uint8_t& value);
    // The time-out flag: set while a transfer runs and after one that moved
    // nothing.
    std::uint8_t TimedOut() const { return timeOutFlag_.load(); }
    // A write handed over whose byte is not yet in the driver's queue.
    bool WritePending() const;

    // ---- The worker's side ----
    // Waits for the next request and serves it on `device`; false when the
    // worker is to end (its stop, or a failed wait).
    bool ServeNextRequest(ByteDevice& device);
    // The worker's wait for the transfer it started; `done` is the
    // transfer's completion event.
    DeviceWait AwaitDevice(winapi::HANDLE done) const;
    // The worker's loop has ended, or its thread was refused.
    void EndWorker();

    // ---- The close ----
    // First step: the worker takes no further request, the one in flight is
    // aborted, and callers are refused.
    void StopWorker();
    // Last step, once the worker has been joined; false when PortClosed
    // could not be signalled.
    bool SignalPortClosed();

    // Read access (CharSent, tests).
    winapi::HANDLE WriteRequest() const { return writeRequest_.get(); }
    winapi::HANDLE ReadRequest() const { return readRequest_.get(); }
    winapi::HANDLE TransferReady() const { return transferReady_.get(); }
    winapi::HANDLE StopTransfers() const { return stopTransfers_.get(); }
    winapi::HANDLE WorkerEnded() const { return workerEnded_.get(); }
    winapi::HANDLE PortClosed() const { return portClosed_.get(); }
    // The byte the worker read for the last ReadByte; 0 from its start.
    std::uint8_t InByte() const { return inByte_; }

private:
    enum class HandOverOutcome;

    bool Transfer(Direction direction, std::uint8_t& value);
    HandOverOutcome HandOver(Direction direction, std::uint8_t value);
    bool AwaitAnswer();
    void AwaitRefusal();
    bool TakeRequest(const UniqueHandle& request);
    void Answer(winapi::DWORD moved);

    UniqueHandle writeRequest_;
    UniqueHandle readRequest_;
    UniqueHandle transferReady_;
    UniqueHandle stopTransfers_;
    UniqueHandle workerEnded_;
    UniqueHandle portClosed_;
    std::mutex turn_;

    // Handed over through the events, which order every access.
    std::uint8_t outByte_ = 0;
    std::uint8_t inByte_ = 0;
    std::atomic<std::uint8_t> timeOutFlag_{0};
    // Raised before the worker takes a write request and lowered once the
    // write is in the driver's queue (or failed), so that CharSent always
    // sees the request, the running write or the queued bytes.
    std::atomic<bool> writeUnderway_{false};
};
HandshakeState& Handshake();

}  // namespace winseria
