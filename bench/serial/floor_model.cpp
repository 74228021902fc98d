#include "bench/serial/floor_model.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace winseria::bench {

namespace {

constexpr std::uint32_t kAsleep = 0x80000000u;
constexpr std::uint32_t kStop = 0x40000000u;  // every word: the port closes
constexpr std::uint32_t kWriteRequest = 0x1, kReadRequest = 0x2;
constexpr std::uint32_t kReady = 0x1;
constexpr std::uint32_t kRxChar = 0x1, kTxEmpty = 0x4;  // the EV_ bits
constexpr std::uint32_t kServed = 0x1;

long futex(std::atomic<std::uint32_t>& word, int op, std::uint32_t value) {
    return syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), op, value, nullptr, nullptr, 0);
}

}  // namespace

std::uint32_t FutexWord::wait(std::uint32_t mask) {
    std::uint32_t v = word_.load();
    for (;;) {
        if (v & mask) return v & mask;
        if (!(v & kAsleep)) {
            if (!word_.compare_exchange_weak(v, v | kAsleep)) continue;
            v |= kAsleep;
        }
        futex(word_, FUTEX_WAIT_PRIVATE, v);
        v = word_.load();
    }
}

void FutexWord::set(std::uint32_t bits) {
    if (word_.fetch_or(bits) & kAsleep) {
        word_.fetch_and(~kAsleep);
        futex(word_, FUTEX_WAKE_PRIVATE, 1);
    }
}

FloorPort::FloorPort(const std::string& slavePath) : callerWord_(kReady) {
    fd_ = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (fd_ < 0 || tcgetattr(fd_, &t) != 0) throw std::runtime_error("floor: open " + slavePath);
    cfmakeraw(&t);
    cfsetspeed(&t, B115200);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 20;
    tcsetattr(fd_, TCSANOW, &t);
    worker_ = std::thread([this] { workerLoop(); });
    watcher_ = std::thread([this] { watcherLoop(); });
}

FloorPort::~FloorPort() {
    workerWord_.set(kStop);
    worker_.join();
    watcherEvents_.set(kStop);
    watcherServed_.set(kStop);
    watcher_.join();
    ::close(fd_);
}

void FloorPort::workerLoop() {
    for (;;) {
        const std::uint32_t request = workerWord_.wait(kWriteRequest | kReadRequest | kStop);
        if (request & kStop) return;
        workerWord_.reset(request);
        ssize_t n = 0;
        std::uint32_t lineEvent = 0;
        if (request & kWriteRequest) {
            do n = ::write(fd_, &outByte_, 1); while (n < 0 && errno == EINTR);
            int queued = 0;
            if (n == 1 && ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued == 0) lineEvent = kTxEmpty;
        } else {
            do n = ::read(fd_, &inByte_, 1); while (n < 0 && errno == EINTR);
            if (n == 1) lineEvent = kRxChar;
        }
        // As the library: the line event is raised inside the transfer,
        // before the caller is answered.
        if (lineEvent) watcherEvents_.set(lineEvent);
        timedOut_.store(n != 1);
        callerWord_.set(kReady);
    }
}

void FloorPort::watcherLoop() {
    for (;;) {
        const std::uint32_t events = watcherEvents_.wait(kRxChar | kTxEmpty | kStop);
        if (events & kStop) return;
        watcherEvents_.reset(events);
        posted_.store(events);
        if (watcherServed_.wait(kServed | kStop) & kStop) return;
        watcherServed_.reset(kServed);
    }
}

// At each call's entry, on the caller's thread: the waiting hand-over is
// served (the library's handler asks for line errors; a pty has none).
void FloorPort::serveHandOver() {
    if (posted_.exchange(0) != 0) watcherServed_.set(kServed);
}

bool FloorPort::transfer(std::uint32_t request) {
    serveHandOver();
    callerWord_.wait(kReady);  // the worker is idle
    callerWord_.reset(kReady);
    workerWord_.set(request);
    callerWord_.wait(kReady);
    return !timedOut_.load();  // ready stays set: idle again
}

bool FloorPort::writeByte(std::uint8_t value) {
    outByte_ = value;
    return transfer(kWriteRequest);
}

bool FloorPort::readByte(std::uint8_t& value) {
    if (!transfer(kReadRequest)) return false;
    value = inByte_;
    return true;
}

}  // namespace winseria::bench
