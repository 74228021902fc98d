#include "serial/platform/posix/device_resolver.h"

#include "serial/platform/posix/errors.h"
#include "torvane/unique_fd.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <set>

namespace winapi::posix {

namespace {

// Character devices (by device number, whatever path led to them) that a
// port of this process holds, under their lock.
struct HeldDevices {
    std::mutex mutex;
    std::set<dev_t> devices;
};

HeldDevices& heldDevices() {
    static HeldDevices* held = new HeldDevices;
    return *held;
}

int ioctlError(int result) { return result == 0 ? 0 : errno; }

// What a tty's driver does that its ioctls do not tell, by driver name.
// Sizes: some hardware has fewer data sizes than termios offers, and its
// driver does not say so: ftdi_sio puts back the old size for CS6 and keeps
// CS5 in the settings (some smartcard readers use it as a mode switch) but
// gives the chip no size, and FTDI chips then send 8 bits. tcsetattr succeeds
// in both.
// Modem changes: ftdi_sio counts every change of CTS, DSR, RI and DCD (the
// TIOCGICOUNT counters, read from memory) from the status bytes heading each
// packet the chip sends, which it sends at once on such a change and at least
// every latency-timer period; its TIOCMGET is a USB request. Other drivers'
// counters (8250's only while modem-status interrupts are on) are not
// trusted.
struct DriverTraits {
    const char* driver;
    int smallestByteSize;
    bool countsModemChanges;
};
constexpr DriverTraits kDriverTraits[] = {
    {.driver = "ftdi_sio", .smallestByteSize = 7, .countsModemChanges = true},
};
constexpr DriverTraits kOtherDriver = {.driver = "", .smallestByteSize = 5, .countsModemChanges = false};

// The traits of the kernel driver behind a tty (its sysfs device's driver).
const DriverTraits& traitsOf(dev_t device) {
    std::error_code ignored;
    const std::string node = "/sys/dev/char/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    const std::string driver = std::filesystem::read_symlink(node + "/device/driver", ignored).filename().string();
    for (const DriverTraits& d : kDriverTraits)
        if (driver == d.driver) return d;
    return kOtherDriver;
}

class TtyDevice : public Device {
public:
    // Takes the descriptor and this process's claim on the device, and
    // remembers the settings found, to put them back at close.
    TtyDevice(torvane::UniqueFd fd, dev_t device)
        : owned_(std::move(fd)), fd_(owned_.Get()), device_(device), traits_(traitsOf(device)) {
        foundSettingsKnown_ = readKernelTermios(fd_, foundSettings_) == 0;
    }
    ~TtyDevice() override {
        // A probe, or any open closed without SetCommState, leaves the tty as
        // it was; opening a port on Windows changes none of its settings.
        if (foundSettingsKnown_ && !keepSettings_.load()) writeKernelTermios(fd_, foundSettings_);
        // Exclusivity would outlive us on a tty that stays allocated (a pty
        // whose master is open); the lock goes with the descriptor.
        ioctl(fd_, TIOCNXCL);
        owned_.Close();
        std::lock_guard lock(heldDevices().mutex);
        heldDevices().devices.erase(device_);
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

    int smallestByteSize() const override { return traits_.smallestByteSize; }
    int getTermios(KernelTermios& out) override { return readKernelTermios(fd_, out); }
    int setTermios(const KernelTermios& in) override { return writeKernelTermios(fd_, in); }
    void keepSettingsAtClose() override { keepSettings_.store(true); }
    int outputQueued(unsigned& bytes) override {
        int n = 0;
        if (ioctl(fd_, TIOCOUTQ, &n) != 0) return errno;
        bytes = static_cast<unsigned>(n);
        return 0;
    }
    int flush(bool input, bool output) override {
        return ioctlError(tcflush(fd_, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH));
    }

    int modemLines(int& bits) override { return ioctlError(ioctl(fd_, TIOCMGET, &bits)); }
    int changeModemLines(int bits, bool on) override {
        return ioctlError(ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits));
    }
    int modemChanges(std::uint32_t& count) override {
        if (!traits_.countsModemChanges) return EOPNOTSUPP;
        serial_icounter_struct counts{};
        if (ioctl(fd_, TIOCGICOUNT, &counts) != 0) return errno;
        count = static_cast<std::uint32_t>(counts.cts) + static_cast<std::uint32_t>(counts.dsr) +
                static_cast<std::uint32_t>(counts.rng) + static_cast<std::uint32_t>(counts.dcd);
        return 0;
    }
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
    torvane::UniqueFd owned_;
    const int fd_;
    dev_t device_;
    const DriverTraits& traits_;
    KernelTermios foundSettings_;
    bool foundSettingsKnown_ = false;
    std::atomic<bool> keepSettings_{false};
};

}  // namespace

std::unique_ptr<Device> openTty(const std::string& path, DWORD& error) {
    // Looked at before the open, which has effects of its own on some files (a
    // FIFO's open meets its other end).
    struct stat st{};
    const bool found = stat(path.c_str(), &st) == 0;
    if (!found || !S_ISCHR(st.st_mode)) {
        error = found ? ERROR_FILE_NOT_FOUND : windowsErrorFromErrno(errno);
        return nullptr;
    }
    torvane::UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) {
        error = windowsErrorFromErrno(errno);
        return nullptr;
    }
    if (fstat(fd.Get(), &st) != 0 || !S_ISCHR(st.st_mode) || !isatty(fd.Get())) {
        error = ERROR_FILE_NOT_FOUND;  // replaced since the look, or a character device that is no terminal
        return nullptr;
    }
    {
        std::lock_guard lock(heldDevices().mutex);
        if (!heldDevices().devices.insert(st.st_rdev).second) {
            error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
    }
    const int raw = fd.Get();
    auto device = std::make_unique<TtyDevice>(std::move(fd), st.st_rdev);  // releases the claim when it goes
    // Exclusive use: TIOCEXCL, then the lock.
    if (ioctl(raw, TIOCEXCL) != 0 || flock(raw, LOCK_EX | LOCK_NB) != 0) {
        error = windowsErrorFromErrno(errno);
        return nullptr;
    }
    return device;
}

}  // namespace winapi::posix
