#pragma once
// Test ports: a pseudo-terminal whose slave is reached as "\\.\COMn" through
// a link in a private TORVANE_PORTS_DIR, and helpers to read what the tests
// need from the system (descriptor and thread counts).
#include <termios.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winseria::test {

// A temporary directory installed as TORVANE_PORTS_DIR for the fixture's
// life; the previous value comes back afterwards.
class PortsDir {
public:
    PortsDir();
    ~PortsDir();
    PortsDir(const PortsDir&) = delete;
    PortsDir& operator=(const PortsDir&) = delete;

    const std::string& path() const { return path_; }
    // comN -> target.
    void link(unsigned comNumber, const std::string& target);
    void unlink(unsigned comNumber);
    // A regular file reached as comN (something that opens but is no port).
    void linkRegularFile(unsigned comNumber);

private:
    std::string path_;
    std::optional<std::string> previous_;
};

// The master side of a pseudo-terminal, made raw; the slave is what the
// library opens.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

    void write(const std::vector<std::uint8_t>& bytes);
    void write(std::uint8_t byte) { write(std::vector<std::uint8_t>{byte}); }
    // Up to `count` bytes, waiting at most `wait` in all.
    std::vector<std::uint8_t> read(std::size_t count, std::chrono::milliseconds wait);
    // Everything that arrives within `wait`.
    std::vector<std::uint8_t> drain(std::chrono::milliseconds wait);
    // The slave's line settings (a master's termios calls reach the slave).
    termios slaveTermios() const;
    // The slave's output speed in bits per second, also for speeds outside
    // the B* table.
    unsigned slaveSpeed() const;
    void closeMaster();

private:
    int master_ = -1;
    std::string slavePath_;
};

// Counts for leak checks.
std::size_t OpenDescriptorCount();
std::size_t ThreadCount();
// Starts and joins a thread, so that helper threads a runtime starts with the
// first thread (ThreadSanitizer's) exist before a count is taken.
void SettleThreads();

// Waits until `predicate` holds or `limit` passes; returns the last value.
template <typename Predicate>
bool Eventually(Predicate predicate, std::chrono::milliseconds limit = std::chrono::milliseconds(3000));

}  // namespace winseria::test

#include "tests/serial/support/pty_port_inl.h"
