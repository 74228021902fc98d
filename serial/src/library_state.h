#pragma once
// The library's process-wide state: the line-setting defaults the next port
// object takes, the CTS flag, the error slot, and the events and bytes of the
// byte handshake between a caller and the worker. (The port object itself is
// in comm_port.h.)
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "serial/platform/win32_calls.h"
#include "serial/src/messages.h"
#include "serial/src/unique_handle.h"

namespace winseria {

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

// ---- Byte handshake -----------------------------------------------------------
// The events are created by each worker (PortClosed by each Connect) and
// stay until the next ones replace them; the replaced ones are closed.
// StopTransfers is the worker's stop signal, the first thing a disconnect
// signals: from then on no request is handed to the worker and the transfer
// in flight is aborted. WorkerEnded is signalled by a worker whose loop has
// ended, so that a transfer requested from it fails at once instead of
// waiting for PortClosed.
struct HandshakeState {
    UniqueHandle WriteRequest;
    UniqueHandle ReadRequest;
    UniqueHandle TransferReady;
    UniqueHandle StopTransfers;
    UniqueHandle WorkerEnded;
    UniqueHandle PortClosed;
    // Handed over through the events; the handshake orders every access.
    std::uint8_t OutByte = 0;
    std::uint8_t InByte = 0;
    std::atomic<std::uint8_t> TimeOutFlag{0};
};
HandshakeState& Handshake();

// Every event the library creates: manual-reset, unnamed, made by the event
// creator in force. Returns nullptr with the last error set when it fails.
winapi::HANDLE CreateManualEvent(bool signalled);

// Makes one manual-reset event as CreateManualEvent promises.
using EventCreator = winapi::HANDLE (*)(bool signalled);
// Installs the creator CreateManualEvent uses (tests refuse chosen creations
// this way); nullptr restores the platform's CreateEventA.
void InstallEventCreator(EventCreator creator);

}  // namespace winseria
