#pragma once
// An in-process null-modem cable for tests: two connected ends. Bytes written
// at one end arrive at the other; each end's DTR shows as the other's DSR and
// DCD, RTS as CTS, a ring output as RI. Faults (framing or parity errors,
// overruns, breaks) can be injected on the way. Register an end under a COM
// number or a device path and CreateFileA("\\.\COMn") opens it like a real
// port; the other end stays in the test's hands. Each end keeps its own
// termios record, so a test reads back exactly what the port asked for
// (speed, data bits, parity, stop bits, flow control) - unlike a pty, which
// forces 8 data bits and no parity.
//
// POSIX only; the platform library and its tests include it.
#include "serial/platform/posix/kernel_termios.h"
#include "serial/platform/win32_calls.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace winapi::posix {

struct VirtualModemLines {
    // This end's outputs.
    bool dtr = false;
    bool rts = false;
    bool ring = false;
    bool breakOn = false;
    // This end's inputs (the peer's outputs).
    bool cts = false;
    bool dsr = false;
    bool dcd = false;
    bool ri = false;
    bool operator==(const VirtualModemLines&) const = default;
};

// The termios record of an end, decoded into the DCB's terms.
struct VirtualLineSettings {
    DWORD baudRate = 0;
    BYTE byteSize = 0;
    BYTE parity = 0;    // NOPARITY .. SPACEPARITY
    BYTE stopBits = 0;  // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
    bool ctsFlow = false;  // CRTSCTS
    bool xonOutput = false;  // IXON
    bool xonInput = false;   // IXOFF
    bool rawMode = false;    // no echo, no canonical input, no output processing
};

enum class VirtualLineFault { Framing, Parity, Overrun };

class VirtualNullModem {
public:
    struct Pair;  // shared state, kept alive by the ends' users

    class End {
    public:
        // Sends to the peer; returns how many bytes fitted into the peer's
        // receive buffer (bounded, see setReceiveCapacity).
        std::size_t write(std::span<const std::uint8_t> bytes);
        std::size_t write(std::string_view text);
        // Received data bytes, at most max; waits up to `wait` for the first.
        std::vector<std::uint8_t> read(std::size_t max, std::chrono::milliseconds wait = {});
        // Exactly count bytes, or fewer when `wait` ran out first.
        std::vector<std::uint8_t> readExactly(std::size_t count, std::chrono::milliseconds wait);
        // Bytes (and marks) waiting at this end.
        std::size_t pending() const;
        // Bound of this end's receive buffer; default 4096 bytes.
        void setReceiveCapacity(std::size_t bytes);

        void setDtr(bool on);
        void setRts(bool on);
        void setRing(bool on);
        VirtualModemLines lines() const;

        // The peer receives byte with a framing or parity error; Overrun
        // drops the byte and counts an overrun at the peer.
        void sendFaulty(std::uint8_t byte, VirtualLineFault fault);
        // The peer receives a break.
        void sendBreak();

        KernelTermios termios() const;
        VirtualLineSettings settings() const;
        // Whether a port has this end open (CreateFileA).
        bool isOpen() const;

    private:
        friend class VirtualNullModem;
        End(std::shared_ptr<Pair> pair, int index) : pair_(std::move(pair)), index_(index) {}
        std::shared_ptr<Pair> pair_;
        int index_;
    };

    VirtualNullModem();
    // Unregisters its names; a port still open on an end keeps it working.
    ~VirtualNullModem();
    VirtualNullModem(const VirtualNullModem&) = delete;
    VirtualNullModem& operator=(const VirtualNullModem&) = delete;

    End& end(int index) { return index == 0 ? end0_ : end1_; }

    // "\\.\COMn" opens end `index`, ahead of TORVANE_PORTS_DIR and /dev.
    void registerPort(int index, unsigned comNumber);
    // A port whose link in TORVANE_PORTS_DIR is `path` or points to `path`
    // (the target need not exist) opens end `index`.
    void registerPath(int index, const std::string& path);

private:
    std::shared_ptr<Pair> pair_;
    End end0_;
    End end1_;
};

}  // namespace winapi::posix
