#pragma once
// The byte handshake between the callers of WriteByte and ReadByte and the
// worker thread: its events, the bytes handed over and the time-out flag,
// and the caller's side (WriteThroughWorker, ReadThroughWorker).
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>

#include "serial/platform/win32_calls.h"
#include "serial/src/unique_handle.h"

namespace winseria {

// The handshake's state, process-wide. It owns all six events: it creates
// them when asked, keeps them until the next ones replace them, and closes
// the replaced ones. Who asks, and when:
//   - each worker, before it starts: TransferReady (signalled: idle),
//     StopTransfers (its stop signal, the first thing a close signals),
//     WriteRequest, ReadRequest and WorkerEnded (signalled by a worker whose
//     loop has ended, so that a transfer requested from it fails at once);
//   - each Connect, as its last step: PortClosed (signalled by Disconnect).
// Signalling follows the handshake: a caller requests, the worker answers
// with TransferReady.
class HandshakeState {
public:
    // Replaces the worker's five events; when one cannot be created the
    // failure is recorded and the handshake is left with none of them, so
    // that transfers fail at once instead of waiting for a worker that
    // never runs. True when all five exist.
    bool ReplaceWorkerEvents();
    // Replaces PortClosed; returns the creation's error, 0 on success (the
    // old event is replaced also then, by none).
    winapi::DWORD ReplacePortClosed();

    winapi::HANDLE WriteRequest() const { return writeRequest_.get(); }
    winapi::HANDLE ReadRequest() const { return readRequest_.get(); }
    winapi::HANDLE TransferReady() const { return transferReady_.get(); }
    winapi::HANDLE StopTransfers() const { return stopTransfers_.get(); }
    winapi::HANDLE WorkerEnded() const { return workerEnded_.get(); }
    winapi::HANDLE PortClosed() const { return portClosed_.get(); }

    // Callers on several threads take turns: each WriteByte and ReadByte
    // holds the turn for its whole handshake, and an initialization holds it
    // while it replaces the events. A turn is never held for long while the
    // port is closing: its transfer is released by the close. Second in the
    // lock order (comm_port.h).
    std::unique_lock<std::mutex> TakeTurn() { return std::unique_lock(turn_); }

    // Handed over through the events; the handshake orders every access.
    std::uint8_t outByte = 0;
    std::uint8_t inByte = 0;
    std::atomic<std::uint8_t> timeOutFlag{0};

private:
    UniqueHandle writeRequest_;
    UniqueHandle readRequest_;
    UniqueHandle transferReady_;
    UniqueHandle stopTransfers_;
    UniqueHandle workerEnded_;
    UniqueHandle portClosed_;
    std::mutex turn_;
};
HandshakeState& Handshake();

// A wait on several events, each naming the outcome it stands for. When
// several are signalled together the one listed first wins (the platform's
// lowest-index rule), so every wait lists its events in the order its
// outcomes rank. `failed` is the outcome of a wait that failed.
template <typename Outcome, std::size_t N>
Outcome WaitForFirst(const std::array<std::pair<winapi::HANDLE, Outcome>, N>& events, Outcome failed) {
    std::array<winapi::HANDLE, N> handles{};
    for (std::size_t i = 0; i < N; ++i) handles[i] = events[i].first;
    winapi::SetLastError(0);
    const winapi::DWORD woken = winapi::WaitForMultipleObjects(N, handles.data(), winapi::FALSE, winapi::INFINITE);
    const winapi::DWORD index = woken - winapi::WAIT_OBJECT_0;
    return index < N ? events[index].second : failed;
}

bool WriteThroughWorker(std::uint8_t value);
// Stores the byte read into `value` only when the read moved it.
bool ReadThroughWorker(std::uint8_t& value);

}  // namespace winseria
