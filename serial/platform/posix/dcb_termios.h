#pragma once
// DCB <-> termios, one small function per field. Pure: no device is touched,
// so the rules can be checked table by table.
#include "serial/platform/posix/kernel_termios.h"
#include "serial/platform/win32_calls.h"

namespace winapi::posix {

// The checks SetCommState makes before it touches the device: ByteSize 5..8,
// Parity 0..4, StopBits 0..2 with 1.5 only for 5 data bits and 2 not for 5,
// a baud rate above 0; and no handshake (CTS, DSR, XON/XOFF, DTR or RTS
// handshake or toggle), which the library never asks for.
bool isValidDcb(const DCB& dcb);

// Raw 8-bit transfer: no echo, no line editing, no character translation;
// CLOCAL so that the carrier line does not gate reads; HUPCL so that closing
// drops DTR and RTS as Windows does.
void applyRawMode(KernelTermios& t);
// Line errors arrive in-band (0xFF 0x00 x, break 0xFF 0x00 0x00, 0xFF doubled):
// framing errors are reported whether or not parity is on, so INPCK stays set.
void applyErrorMarking(KernelTermios& t);
void applyBaudRate(KernelTermios& t, DWORD baud);
void applyByteSize(KernelTermios& t, BYTE byteSize);
void applyParity(KernelTermios& t, BYTE parity);
void applyStopBits(KernelTermios& t, BYTE stopBits);
void applyNoFlowControl(KernelTermios& t);

// Everything above, on top of what the device reported.
KernelTermios termiosForDcb(KernelTermios current, const DCB& dcb);

DWORD baudRateOf(const KernelTermios& t);
BYTE byteSizeOf(const KernelTermios& t);
BYTE parityOf(const KernelTermios& t);
BYTE stopBitsOf(const KernelTermios& t);

}  // namespace winapi::posix

namespace winapi::posix {

// What a port does to the device when it opens: raw mode, in-band line
// errors, no flow control; speed, data bits, parity and stop bits stay.
KernelTermios openingTermios(KernelTermios found);
// The DCB a freshly opened port reports: line settings from the device,
// everything else at the Windows defaults (binary, DTR and RTS enabled).
DCB dcbFromTermios(const KernelTermios& t);

}  // namespace winapi::posix
