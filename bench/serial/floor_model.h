#pragma once
// The floor of the serial library's own design: the least a byte can cost
// when it passes the same threads and hand-overs as the library's, built
// from the cheapest primitives. The caller hands each byte to a worker
// (request, then wait for ready); the worker moves it with one blocking
// write() or read() on the port and raises its line event (EV_TXEMPTY when
// the output queue reads 0 after a write, EV_RXCHAR after a read) for a
// watcher thread, which hands it to the caller and waits until the caller
// has served it at its next call's entry. Each waiting thread sleeps on a
// futex word of its own; a set makes a system call only when its waiter
// sleeps; no mutex, no allocation, no spinning.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace winseria::bench {

// One thread's wait word: event bits, and a top bit meaning "asleep".
class FutexWord {
public:
    explicit FutexWord(std::uint32_t bits = 0) : word_(bits) {}
    // Returns the bits of `mask` that are set, sleeping until one is.
    std::uint32_t wait(std::uint32_t mask);
    void set(std::uint32_t bits);
    void reset(std::uint32_t bits) { word_.fetch_and(~bits); }
    std::uint32_t peek() const { return word_.load(); }

private:
    std::atomic<std::uint32_t> word_;
};

class FloorPort {
public:
    // Opens the pty slave blocking, raw, VMIN 0 / VTIME 20 (a read waits for
    // its byte at most 2 s, as the library's reads), and starts the worker
    // and the watcher.
    explicit FloorPort(const std::string& slavePath);
    ~FloorPort();
    FloorPort(const FloorPort&) = delete;
    FloorPort& operator=(const FloorPort&) = delete;

    bool writeByte(std::uint8_t value);
    bool readByte(std::uint8_t& value);

private:
    bool transfer(std::uint32_t request);
    void serveHandOver();
    void workerLoop();
    void watcherLoop();

    int fd_ = -1;
    FutexWord workerWord_;
    FutexWord callerWord_;     // ready: the worker is idle
    FutexWord watcherEvents_;  // line events for the watcher
    FutexWord watcherServed_;  // the caller served the hand-over
    std::atomic<std::uint32_t> posted_{0};
    std::atomic<bool> timedOut_{false};
    std::uint8_t outByte_ = 0;
    std::uint8_t inByte_ = 0;
    std::thread worker_;
    std::thread watcher_;
};

}  // namespace winseria::bench
