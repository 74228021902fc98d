#pragma once
// What a port needs from the thing under it: the real tty (ioctls) or one end
// of the in-process virtual null-modem. Calls return 0 or an errno; modem
// bits are the TIOCM_* values.
#include "serial/platform/posix/kernel_termios.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace winapi::posix {

struct LineCounters {
    std::uint32_t frame = 0;
    std::uint32_t parity = 0;
    std::uint32_t brk = 0;
    std::uint32_t overrun = 0;
};

struct IoResult {
    std::size_t count = 0;
    int error = 0;  // EAGAIN: nothing could move now
};

class Device {
public:
    virtual ~Device() = default;

    // The descriptor the port's service thread polls, and for what.
    virtual int pollFd() const = 0;
    virtual short pollEvents(bool wantInput, bool wantOutput) const = 0;
    // Called after the descriptor woke the poll, before input is read.
    virtual void acknowledgeWake() {}
    // True when a modem-line change wakes the descriptor; otherwise the port
    // samples the lines while someone waits for their events.
    virtual bool wakesOnLineChange() const = 0;

    virtual IoResult read(std::uint8_t* buffer, std::size_t size) = 0;
    virtual IoResult write(const std::uint8_t* buffer, std::size_t size) = 0;

    // The fewest data bits the hardware sends as asked, where its driver
    // accepts fewer without saying so.
    virtual int smallestByteSize() const { return 5; }
    virtual int getTermios(KernelTermios& out) = 0;
    virtual int setTermios(const KernelTermios& in) = 0;
    // The port's owner chose the line settings (SetCommState): they stay when
    // the device closes, as on Windows. Until then a device that can puts back
    // the settings it found at open (the port's own raw mode included).
    virtual void keepSettingsAtClose() {}
    virtual int outputQueued(unsigned& bytes) = 0;
    // Drops what the kernel holds in one or both directions (at least one).
    virtual int flush(bool input, bool output) = 0;

    virtual int modemLines(int& bits) = 0;
    // How many changes of the modem inputs (CTS, DSR, RI, DCD, summed) the
    // device has counted, where reading the count is cheap and the count
    // misses no change while input is being read; EOPNOTSUPP otherwise. While
    // it stands still the lines need not be read again.
    virtual int modemChanges(std::uint32_t& /*count*/) { return EOPNOTSUPP; }
    virtual int changeModemLines(int bits, bool on) = 0;
    virtual int lineCounters(LineCounters& out) = 0;
};

}  // namespace winapi::posix
