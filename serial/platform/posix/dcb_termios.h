#pragma once
// DCB <-> termios, one small function per field, and the modem lines. Pure:
// no device is touched, so the rules can be checked table by table.
#include "serial/platform/posix/kernel_termios.h"
#include "serial/platform/win32_calls.h"

#include <sys/ioctl.h>

namespace winapi::posix {

// The checks SetCommState makes before it touches the device: ByteSize 5..8,
// Parity 0..4, StopBits 0..2 with 1.5 only for 5 data bits and 2 not for 5,
// a baud rate above 0; and no handshake (CTS, DSR, XON/XOFF, DTR or RTS
// handshake or toggle), no null stripping and no error character, which the
// library never asks for.
bool isValidDcb(const DCB& dcb);

// What a port does to the device when it opens: raw 8-bit transfer (no echo,
// no line editing, no character translation; CLOCAL so that the carrier line
// does not gate reads; HUPCL so that closing drops DTR and RTS as Windows
// does), line errors in-band, no flow control. Speed, data bits, parity and
// stop bits stay.
KernelTermios openingTermios(KernelTermios found);
// The above, with the DCB's speed, data bits, parity and stop bits.
KernelTermios termiosForDcb(KernelTermios current, const DCB& dcb);

void applyBaudRate(KernelTermios& t, DWORD baud);
void applyByteSize(KernelTermios& t, BYTE byteSize);
void applyParity(KernelTermios& t, BYTE parity);

DWORD baudRateOf(const KernelTermios& t);
BYTE byteSizeOf(const KernelTermios& t);
BYTE parityOf(const KernelTermios& t);
BYTE stopBitsOf(const KernelTermios& t);

// dcb with the device's speed, data bits, parity and stop bits.
DCB withLineSettings(DCB dcb, const KernelTermios& t);
// The DCB a freshly opened port reports: line settings from the device,
// everything else at the Windows defaults (binary, DTR and RTS enabled).
DCB dcbFromTermios(const KernelTermios& t);

// The modem input lines, one row each: the device's TIOCM bit, the line
// event its change raises and its bit in GetCommModemStatus.
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
