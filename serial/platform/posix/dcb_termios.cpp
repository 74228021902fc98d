#include "serial/platform/posix/dcb_termios.h"

#include <termios.h>

namespace winapi::posix {

namespace {

struct StandardSpeed {
    DWORD baud;
    std::uint32_t code;
};

constexpr StandardSpeed kStandardSpeeds[] = {
    {50, B50},         {75, B75},           {110, B110},         {134, B134},
    {150, B150},       {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},     {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},     {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool stopBitsFitByteSize(BYTE stopBits, BYTE byteSize) {
    if (stopBits == ONE5STOPBITS) return byteSize == 5;
    if (stopBits == TWOSTOPBITS) return byteSize != 5;
    return stopBits == ONESTOPBIT;
}

}  // namespace

bool isValidDcb(const DCB& dcb) {
    if (dcb.BaudRate == 0) return false;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return false;
    if (dcb.Parity > SPACEPARITY) return false;
    if (!stopBitsFitByteSize(dcb.StopBits, dcb.ByteSize)) return false;
    bool handshake = dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fOutX || dcb.fInX ||
                     dcb.fDtrControl == DTR_CONTROL_HANDSHAKE || dcb.fRtsControl >= RTS_CONTROL_HANDSHAKE;
    return !handshake && !dcb.fNull && !dcb.fErrorChar;
}

KernelTermios openingTermios(KernelTermios t) {
    t.iflag &= ~static_cast<std::uint32_t>(IGNBRK | BRKINT | IGNPAR | ISTRIP | INLCR | IGNCR | ICRNL |
                                           IXANY | IMAXBEL | IUCLC | IXON | IXOFF);
    // Line errors arrive in-band (0xFF 0x00 x, break 0xFF 0x00 0x00, 0xFF
    // doubled): framing errors are reported whether or not parity is on, so
    // INPCK stays set.
    t.iflag |= INPCK | PARMRK;
    t.oflag &= ~static_cast<std::uint32_t>(OPOST);
    t.lflag &= ~static_cast<std::uint32_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN |
                                           NOFLSH | TOSTOP);
    t.cflag &= ~static_cast<std::uint32_t>(CRTSCTS);
    t.cflag |= CREAD | CLOCAL | HUPCL;
    t.cc[VMIN] = 1;
    t.cc[VTIME] = 0;
    return t;
}

void applyBaudRate(KernelTermios& t, DWORD baud) {
    std::uint32_t code = kTermiosBother;
    for (const StandardSpeed& s : kStandardSpeeds)
        if (s.baud == baud) code = s.code;
    t.cflag &= ~static_cast<std::uint32_t>(CBAUD | CIBAUD);  // input speed follows output
    t.cflag |= code;
    t.ispeed = baud;
    t.ospeed = baud;
}

void applyByteSize(KernelTermios& t, BYTE byteSize) {
    t.cflag &= ~static_cast<std::uint32_t>(CSIZE);
    switch (byteSize) {
        case 5: t.cflag |= CS5; break;
        case 6: t.cflag |= CS6; break;
        case 7: t.cflag |= CS7; break;
        default: t.cflag |= CS8; break;
    }
}

void applyParity(KernelTermios& t, BYTE parity) {
    t.cflag &= ~static_cast<std::uint32_t>(PARENB | PARODD | CMSPAR);
    switch (parity) {
        case ODDPARITY: t.cflag |= PARENB | PARODD; break;
        case EVENPARITY: t.cflag |= PARENB; break;
        case MARKPARITY: t.cflag |= PARENB | PARODD | CMSPAR; break;
        case SPACEPARITY: t.cflag |= PARENB | CMSPAR; break;
        default: break;
    }
}

KernelTermios termiosForDcb(KernelTermios t, const DCB& dcb) {
    t = openingTermios(t);
    applyBaudRate(t, dcb.BaudRate);
    applyByteSize(t, dcb.ByteSize);
    applyParity(t, dcb.Parity);
    // With 5 data bits the UART turns CSTOPB into one and a half stop bits.
    t.cflag &= ~static_cast<std::uint32_t>(CSTOPB);
    if (dcb.StopBits != ONESTOPBIT) t.cflag |= CSTOPB;
    return t;
}

DWORD baudRateOf(const KernelTermios& t) {
    std::uint32_t code = t.cflag & CBAUD;
    if (code == kTermiosBother || t.ospeed != 0) return t.ospeed;
    for (const StandardSpeed& s : kStandardSpeeds)
        if (s.code == code) return s.baud;
    return 0;
}

BYTE byteSizeOf(const KernelTermios& t) {
    switch (t.cflag & CSIZE) {
        case CS5: return 5;
        case CS6: return 6;
        case CS7: return 7;
        default: return 8;
    }
}

BYTE parityOf(const KernelTermios& t) {
    if (!(t.cflag & PARENB)) return NOPARITY;
    bool odd = (t.cflag & PARODD) != 0;
    if (t.cflag & CMSPAR) return odd ? MARKPARITY : SPACEPARITY;
    return odd ? ODDPARITY : EVENPARITY;
}

BYTE stopBitsOf(const KernelTermios& t) {
    if (!(t.cflag & CSTOPB)) return ONESTOPBIT;
    return byteSizeOf(t) == 5 ? ONE5STOPBITS : TWOSTOPBITS;
}

DCB withLineSettings(DCB dcb, const KernelTermios& t) {
    dcb.BaudRate = baudRateOf(t);
    dcb.ByteSize = byteSizeOf(t);
    dcb.Parity = parityOf(t);
    dcb.StopBits = stopBitsOf(t);
    return dcb;
}

DCB dcbFromTermios(const KernelTermios& t) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fTXContinueOnXoff = 1;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb = withLineSettings(dcb, t);
    dcb.fParity = dcb.Parity != NOPARITY ? 1 : 0;
    dcb.XonChar = static_cast<char>(t.cc[VSTART] ? t.cc[VSTART] : 0x11);
    dcb.XoffChar = static_cast<char>(t.cc[VSTOP] ? t.cc[VSTOP] : 0x13);
    return dcb;
}

}  // namespace winapi::posix
