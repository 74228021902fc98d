#include "tests/serial/support/pty_port.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "tests/serial/support/kernel_speed.h"

namespace winseria::test {
namespace {

std::runtime_error SystemFailure(const std::string& what) {
    return std::runtime_error(what + ": " + std::to_string(errno));
}

std::size_t CountEntries(const char* directory) {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        (void)entry;
        ++count;
    }
    return count;
}

}  // namespace

PortsDir::PortsDir() {
    char pattern[] = "/tmp/torvane-ports-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw SystemFailure("mkdtemp");
    path_ = pattern;
    if (const char* old = getenv("TORVANE_PORTS_DIR")) previous_ = old;
    setenv("TORVANE_PORTS_DIR", path_.c_str(), 1);
}

PortsDir::~PortsDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    if (previous_) {
        setenv("TORVANE_PORTS_DIR", previous_->c_str(), 1);
    } else {
        unsetenv("TORVANE_PORTS_DIR");
    }
}

void PortsDir::link(unsigned comNumber, const std::string& target) {
    unlink(comNumber);
    const std::string name = path_ + "/com" + std::to_string(comNumber);
    if (symlink(target.c_str(), name.c_str()) != 0) throw SystemFailure("symlink");
}

void PortsDir::unlink(unsigned comNumber) {
    const std::string name = path_ + "/com" + std::to_string(comNumber);
    ::unlink(name.c_str());
}

void PortsDir::linkRegularFile(unsigned comNumber) {
    const std::string file = path_ + "/plain-file-" + std::to_string(comNumber);
    FILE* created = std::fopen(file.c_str(), "w");
    if (created == nullptr) throw SystemFailure("fopen");
    std::fputs("not a port\n", created);
    std::fclose(created);
    link(comNumber, file);
}

PtyPair::PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) throw SystemFailure("posix_openpt");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) throw SystemFailure("grantpt");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) throw SystemFailure("ptsname_r");
    slavePath_ = name;
    // No echo, no line editing, no newline translation on the way.
    termios raw{};
    tcgetattr(master_, &raw);
    cfmakeraw(&raw);
    tcsetattr(master_, TCSANOW, &raw);
}

PtyPair::~PtyPair() { closeMaster(); }

void PtyPair::closeMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

void PtyPair::write(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            throw SystemFailure("write to pty master");
        }
        done += static_cast<std::size_t>(n);
    }
}

std::vector<std::uint8_t> PtyPair::read(std::size_t count, std::chrono::milliseconds wait) {
    std::vector<std::uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd ready{master_, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
        std::uint8_t buffer[256];
        const std::size_t want = std::min(sizeof buffer, count - bytes.size());
        const ssize_t n = ::read(master_, buffer, want);
        if (n <= 0) break;  // the slave is gone (EIO) or nothing came
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
}

std::vector<std::uint8_t> PtyPair::drain(std::chrono::milliseconds wait) { return read(1 << 20, wait); }

termios PtyPair::slaveTermios() const {
    termios settings{};
    if (tcgetattr(master_, &settings) != 0) throw SystemFailure("tcgetattr");
    return settings;
}

unsigned PtyPair::slaveSpeed() const { return KernelOutputSpeed(master_); }

std::size_t OpenDescriptorCount() { return CountEntries("/proc/self/fd"); }

std::size_t ThreadCount() { return CountEntries("/proc/self/task"); }

void SettleThreads() { std::thread([] {}).join(); }

}  // namespace winseria::test
