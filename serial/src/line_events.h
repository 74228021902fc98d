#pragma once
// The port's set of line events and the platform's event bits.
#include <array>
#include <cstdint>

#include "serial/platform/win32_calls.h"

namespace winseria {

// The platform event bit of each member of the event set, by position:
// EV_BREAK, EV_CTS, EV_DSR, EV_ERR, EV_RING, EV_RLSD, EV_RXCHAR, EV_RXFLAG,
// EV_TXEMPTY.
inline constexpr std::array<winapi::DWORD, 9> kEventMasks = {0x40, 0x8, 0x10, 0x80, 0x100,
                                                              0x20, 0x1, 0x2,  0x4};

// The platform mask of an event set.
inline winapi::DWORD PlatformEventMask(std::uint16_t eventSet) {
    winapi::DWORD mask = 0;
    for (std::size_t position = 0; position < kEventMasks.size(); ++position) {
        if (eventSet & (1u << position)) mask |= kEventMasks[position];
    }
    return mask;
}

}  // namespace winseria
