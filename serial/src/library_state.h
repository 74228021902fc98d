#pragma once
// The library's process-wide state: the port object, the line-setting
// defaults the next port object takes, the CTS flag, the error slot, and the
// events and bytes of the byte handshake between a caller and the worker.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "serial/platform/win32_calls.h"
#include "serial/src/messages.h"

namespace winseria {

class TComm;

// ---- Error slot -----------------------------------------------------------
// One message (Windows-1250 bytes) and one code: the most recent failure.
// A mutex keeps the pair whole, since the worker records failures while the
// caller's thread waits for it and a disconnect may run on another thread.
void SetError(std::string_view cp1250Text, std::int32_t code);
void SetError(Message message, std::int32_t code);
// The common case: the message with the calling thread's last-error value,
// which is also returned.
std::int32_t RecordFailure(Message message);
// Replaces the code alone and keeps the text.
void SetErrorCode(std::int32_t code);

struct ErrorRecord {
    std::string text;  // Windows-1250
    std::int32_t code = 0;
};
// Reads the slot and empties it.
ErrorRecord TakeError();
// Reads the slot and leaves it.
ErrorRecord PeekError();

// ---- Defaults for the next port object --------------------------------------
struct LineDefaults {
    std::atomic<std::uint8_t> parity{2};    // even
    std::atomic<std::uint8_t> byteSize{8};  // data bits
    std::atomic<std::uint8_t> stopBits{0};  // one stop bit
    std::atomic<std::uint8_t> ctsFlag{1};   // stored by UstawCTS, consulted by nothing
};
LineDefaults& Defaults();

// ---- The port object ---------------------------------------------------------
// The one live TComm, or none before the first initialization.
TComm* CommPort();
// Installs a new port object and releases the one it replaces (whose port is
// closed by then: an open port refuses a new initialization).
void ReplaceCommPort(std::unique_ptr<TComm> port);

// ---- Byte handshake -----------------------------------------------------------
// The events are created by each worker (PortClosed by each Connect) and
// stay until the next ones replace them; the replaced ones are closed.
// WorkerEnded is signalled by a worker whose loop has ended, so that a
// transfer requested from it fails at once instead of waiting for PortClosed.
struct HandshakeState {
    winapi::HANDLE WriteRequest = nullptr;
    winapi::HANDLE ReadRequest = nullptr;
    winapi::HANDLE TransferReady = nullptr;
    winapi::HANDLE WorkerEnded = nullptr;
    winapi::HANDLE PortClosed = nullptr;
    // Handed over through the events; the handshake orders every access.
    std::uint8_t OutByte = 0;
    std::uint8_t InByte = 0;
    std::atomic<std::uint8_t> TimeOutFlag{0};
};
HandshakeState& Handshake();

// Closes `slot`'s event (if any) and stores `replacement` in its place.
void ReplaceEvent(winapi::HANDLE& slot, winapi::HANDLE replacement);

// Every event the library creates: manual-reset, unnamed, made by the event
// creator in force. Returns nullptr with the last error set when it fails.
winapi::HANDLE CreateManualEvent(bool signalled);

// Makes one manual-reset event as CreateManualEvent promises.
using EventCreator = winapi::HANDLE (*)(bool signalled);
// Installs the creator CreateManualEvent uses (tests refuse chosen creations
// this way); nullptr restores the platform's CreateEventA.
void InstallEventCreator(EventCreator creator);

}  // namespace winseria
