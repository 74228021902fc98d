#pragma once
// The port's line events: one table, one row per member of the event set.
// Adding a line event is a row here, its EV_ constant's row in the seam's
// constant list, and the stand-in's code that raises it
// (docs/serial-library.md).
#include <bit>
#include <cstddef>
#include <cstdint>

#include "serial/platform/win32_calls.h"

namespace winseria {

struct LineEventRow {
    winapi::DWORD platformBit;  // the EV_ bit SetCommMask and WaitCommEvent use
    bool dispatched;            // passed on to TComm::LineEvent (in table order)
};

// By position in the event set: member n is bit n of the set.
inline constexpr LineEventRow kLineEvents[] = {
    {.platformBit = winapi::EV_BREAK, .dispatched = true},
    {.platformBit = winapi::EV_CTS, .dispatched = false},
    {.platformBit = winapi::EV_DSR, .dispatched = false},
    {.platformBit = winapi::EV_ERR, .dispatched = true},
    {.platformBit = winapi::EV_RING, .dispatched = false},
    {.platformBit = winapi::EV_RLSD, .dispatched = false},
    {.platformBit = winapi::EV_RXCHAR, .dispatched = true},
    {.platformBit = winapi::EV_RXFLAG, .dispatched = true},
    {.platformBit = winapi::EV_TXEMPTY, .dispatched = true},
};

// Every member of the event set (the set a port watches).
inline constexpr std::uint16_t kAllEvents = (1u << std::size(kLineEvents)) - 1;

// The platform mask of an event set; bits beyond the members mean nothing.
constexpr winapi::DWORD PlatformEventMask(std::uint16_t eventSet) {
    winapi::DWORD mask = 0;
    for (std::size_t position = 0; position < std::size(kLineEvents); ++position) {
        if (eventSet & (1u << position)) mask |= kLineEvents[position].platformBit;
    }
    return mask;
}

static_assert(std::size(kLineEvents) <= 16, "the event set is 16 bits wide");
static_assert(std::popcount(PlatformEventMask(kAllEvents)) == std::size(kLineEvents),
              "each platform bit in exactly one row");

}  // namespace winseria
