#pragma once
// The modem input lines, one row each: the device's TIOCM bit, the line
// event its change raises and its bit in GetCommModemStatus.
#include "serial/platform/win32_calls.h"

#include <sys/ioctl.h>

namespace winapi::posix {

struct ModemLine {
    int tiocm;
    DWORD event;
    DWORD status;
};

inline constexpr ModemLine kModemLines[] = {
    {.tiocm = TIOCM_CTS, .event = EV_CTS, .status = MS_CTS_ON},
    {.tiocm = TIOCM_DSR, .event = EV_DSR, .status = MS_DSR_ON},
    {.tiocm = TIOCM_CAR, .event = EV_RLSD, .status = MS_RLSD_ON},
    {.tiocm = TIOCM_RNG, .event = EV_RING, .status = MS_RING_ON},
};

// The line events a change of modem bits raises.
constexpr DWORD modemEventsBetween(int before, int after) {
    DWORD events = 0;
    for (const ModemLine& line : kModemLines)
        if ((before ^ after) & line.tiocm) events |= line.event;
    return events;
}

constexpr DWORD modemStatusOf(int bits) {
    DWORD status = 0;
    for (const ModemLine& line : kModemLines)
        if (bits & line.tiocm) status |= line.status;
    return status;
}

inline constexpr DWORD kModemEvents = modemEventsBetween(0, ~0);
static_assert(kModemEvents == (EV_CTS | EV_DSR | EV_RLSD | EV_RING));

}  // namespace winapi::posix
