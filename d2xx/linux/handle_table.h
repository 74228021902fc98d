#pragma once
// The vendor library's device handles: a fixed number of slots, each handle
// (generation << kSlotBits) | (slot + 1). The table is the code base's one
// generation-tagged handle table (torvane/handle_table.h); not synchronised
// (callers lock).
#include <cstddef>

#include "torvane/handle_table.h"

namespace ftdi_linux {

inline constexpr unsigned kHandleSlotBits = 8;

template <typename T, std::size_t Slots = 64>
using HandleTable = torvane::HandleTable<T, Slots, torvane::HandleLayout{0, kHandleSlotBits}>;

}  // namespace ftdi_linux
