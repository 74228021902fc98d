#include "serial/platform/posix/tty_device.h"

#include "serial/platform/posix/errors.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>

namespace winapi::posix {

namespace {

// Character devices (by device number, whatever path led to them) that a
// port of this process holds.
class HeldDevices {
public:
    bool claim(dev_t device) {
        std::lock_guard lock(mutex_);
        return held_.insert(device).second;
    }
    void release(dev_t device) {
        std::lock_guard lock(mutex_);
        held_.erase(device);
    }

private:
    std::mutex mutex_;
    std::set<dev_t> held_;
};

HeldDevices& heldDevices() {
    static HeldDevices* held = new HeldDevices;
    return *held;
}

int ioctlError(int result) { return result == 0 ? 0 : errno; }

class TtyDevice : public Device {
public:
    TtyDevice(int fd, dev_t device) : fd_(fd), device_(device) {}
    ~TtyDevice() override {
        // Exclusivity would outlive us on a tty that stays allocated (a pty
        // whose master is open); the lock and our claim go with the descriptor.
        ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        heldDevices().release(device_);
    }

    int pollFd() const override { return fd_; }
    short pollEvents(bool wantInput, bool wantOutput) const override {
        return static_cast<short>((wantInput ? POLLIN : 0) | (wantOutput ? POLLOUT : 0));
    }
    bool wakesOnLineChange() const override { return false; }

    IoResult read(std::uint8_t* buffer, std::size_t size) override {
        ssize_t n = ::read(fd_, buffer, size);
        if (n < 0) return {0, errno};
        if (n == 0) return {0, EIO};  // end of file on a tty: the other side is gone
        return {static_cast<std::size_t>(n), 0};
    }
    IoResult write(const std::uint8_t* buffer, std::size_t size) override {
        ssize_t n = ::write(fd_, buffer, size);
        if (n < 0) return {0, errno};
        return {static_cast<std::size_t>(n), 0};
    }

    int getTermios(KernelTermios& out) override { return readKernelTermios(fd_, out); }
    int setTermios(const KernelTermios& in) override { return writeKernelTermios(fd_, in); }
    int outputQueued(unsigned& bytes) override {
        int n = 0;
        if (ioctl(fd_, TIOCOUTQ, &n) != 0) return errno;
        bytes = static_cast<unsigned>(n);
        return 0;
    }
    int flush(bool input, bool output) override {
        if (input && output) return ioctlError(tcflush(fd_, TCIOFLUSH));
        if (input) return ioctlError(tcflush(fd_, TCIFLUSH));
        if (output) return ioctlError(tcflush(fd_, TCOFLUSH));
        return 0;
    }

    int modemLines(int& bits) override { return ioctlError(ioctl(fd_, TIOCMGET, &bits)); }
    int changeModemLines(int bits, bool on) override {
        return ioctlError(ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits));
    }
    int setBreak(bool on) override { return ioctlError(ioctl(fd_, on ? TIOCSBRK : TIOCCBRK)); }
    int holdOutput(bool held) override { return ioctlError(tcflow(fd_, held ? TCOOFF : TCOON)); }
    int lineCounters(LineCounters& out) override {
        serial_icounter_struct counts{};
        if (ioctl(fd_, TIOCGICOUNT, &counts) != 0) return errno;
        out.frame = static_cast<std::uint32_t>(counts.frame);
        out.parity = static_cast<std::uint32_t>(counts.parity);
        out.brk = static_cast<std::uint32_t>(counts.brk);
        out.overrun = static_cast<std::uint32_t>(counts.overrun + counts.buf_overrun);
        return 0;
    }

private:
    int fd_;
    dev_t device_;
};

DWORD fileTypeOf(mode_t mode) {
    if (S_ISCHR(mode)) return FILE_TYPE_CHAR;
    if (S_ISREG(mode) || S_ISDIR(mode) || S_ISBLK(mode)) return FILE_TYPE_DISK;
    if (S_ISFIFO(mode) || S_ISSOCK(mode)) return FILE_TYPE_PIPE;
    return FILE_TYPE_UNKNOWN;
}

// Exclusive use of an opened character device; 0 or the Windows code.
DWORD lockCharacterDevice(int fd) {
    // Not every character device is a tty: ENOTTY from TIOCEXCL is fine.
    if (ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) return windowsErrorFromErrno(errno);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return windowsErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

}  // namespace

OpenedPath openDevicePath(const std::string& path, DWORD& error) {
    OpenedPath opened;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = windowsErrorFromErrno(errno);
        return opened;
    }
    struct stat st{};
    if (fstat(fd, &st) != 0) {
        error = windowsErrorFromErrno(errno);
        ::close(fd);
        return opened;
    }
    opened.fileType = fileTypeOf(st.st_mode);
    if (!S_ISCHR(st.st_mode)) {
        opened.otherFd = fd;
        error = ERROR_SUCCESS;
        return opened;
    }
    if (!heldDevices().claim(st.st_rdev)) {
        ::close(fd);
        error = ERROR_ACCESS_DENIED;
        return opened;
    }
    auto device = std::make_unique<TtyDevice>(fd, st.st_rdev);  // owns fd and the claim from here
    error = lockCharacterDevice(fd);
    if (error != ERROR_SUCCESS) return opened;  // device's destructor closes and releases
    opened.device = std::move(device);
    return opened;
}

}  // namespace winapi::posix
