#pragma once
// The caller's side of the byte handshake: WriteByte and ReadByte hand one
// byte at a time to the worker and wait for its result.
#include <cstdint>
#include <mutex>

namespace winseria {

// Callers on several threads take turns: each WriteByte and ReadByte holds
// the turn for its whole handshake, and an initialization holds it while it
// replaces the handshake's events. A turn is never held for long while the
// port is closing: its transfer is released by the close.
std::unique_lock<std::mutex> TakeHandshakeTurn();

bool WriteThroughWorker(std::uint8_t value);
// Stores the byte read into `value` only when the read moved it.
bool ReadThroughWorker(std::uint8_t& value);

}  // namespace winseria
