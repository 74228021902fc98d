#pragma once
// The library's process-wide state: the line-setting defaults the next port
// object takes, the CTS flag, the error slot, and the creation of events.
// (The port object is in comm_port.h, the byte handshake in handshake.h.)
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

// ---- Defaults for the next port object --------------------------------------
struct LineDefaults {
    std::atomic<std::uint8_t> parity{2};    // even
    std::atomic<std::uint8_t> byteSize{8};  // data bits
    std::atomic<std::uint8_t> stopBits{0};  // one stop bit
    std::atomic<std::uint8_t> ctsFlag{1};   // stored by UstawCTS, consulted by nothing
};
LineDefaults& Defaults();

// Every event the library creates: manual-reset, unnamed. Returns nullptr
// with the last error set when it fails.
winapi::HANDLE CreateManualEvent(bool signalled);

}  // namespace winseria
