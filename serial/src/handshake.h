#pragma once
// The caller's side of the byte handshake: WriteByte and ReadByte hand one
// byte at a time to the worker and wait for its result.
#include <cstdint>

namespace winseria {

bool WriteThroughWorker(std::uint8_t value);
// Stores the byte read into `value` only when the read moved it.
bool ReadThroughWorker(std::uint8_t& value);

}  // namespace winseria
