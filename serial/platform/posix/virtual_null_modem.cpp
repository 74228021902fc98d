#include "serial/platform/posix/virtual_null_modem.h"

#include "serial/platform/posix/dcb_termios.h"
#include "serial/platform/posix/virtual_registry.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>

namespace winapi::posix {

namespace {

struct ReceivedItem {
    enum class Kind : std::uint8_t { Data, Faulty, Break };
    Kind kind;
    std::uint8_t byte;
};

// What a freshly allocated Linux tty starts with.
KernelTermios defaultTermios() {
    KernelTermios t;
    t.iflag = ICRNL | IXON;
    t.oflag = OPOST | ONLCR;
    t.cflag = B38400 | CS8 | CREAD | HUPCL;
    t.lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE | IEXTEN;
    t.ispeed = t.ospeed = 38400;
    t.cc[VINTR] = 3;
    t.cc[VQUIT] = 28;
    t.cc[VERASE] = 127;
    t.cc[VKILL] = 21;
    t.cc[VEOF] = 4;
    t.cc[VMIN] = 1;
    t.cc[VSTART] = 17;
    t.cc[VSTOP] = 19;
    t.cc[VSUSP] = 26;
    return t;
}

struct EndState {
    std::deque<ReceivedItem> received;
    std::size_t capacity = 4096;
    bool dtr = false, rts = false, ring = false, breakOn = false;
    bool outputHeld = false;
    bool open = false;
    KernelTermios termios = defaultTermios();
    LineCounters counters;
    int wakeFd = -1;
};

}  // namespace

struct VirtualNullModem::Pair {
    Pair() {
        for (EndState& end : ends) {
            end.wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
            if (end.wakeFd < 0) throw std::runtime_error("eventfd failed");
        }
    }
    ~Pair() {
        for (EndState& end : ends) ::close(end.wakeFd);
    }
    Pair(const Pair&) = delete;
    Pair& operator=(const Pair&) = delete;

    // Wakes the port polling end `index` and any test waiting for data.
    void wake(int index) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(ends[index].wakeFd, &one, sizeof one);
        changed.notify_all();
    }

    EndState& peerOf(int index) { return ends[1 - index]; }

    // Moves bytes from end `from` into its peer's receive buffer.
    std::size_t send(int from, const std::uint8_t* bytes, std::size_t count) {
        EndState& self = ends[from];
        EndState& peer = peerOf(from);
        if (self.outputHeld) return 0;
        if ((self.termios.cflag & CRTSCTS) && !peer.rts) return 0;
        std::size_t room = peer.capacity > peer.received.size() ? peer.capacity - peer.received.size() : 0;
        std::size_t n = std::min(room, count);
        for (std::size_t i = 0; i < n; ++i) peer.received.push_back({ReceivedItem::Kind::Data, bytes[i]});
        if (n > 0) wake(1 - from);
        return n;
    }

    void deliverFault(int from, std::uint8_t byte, VirtualLineFault fault) {
        EndState& peer = peerOf(from);
        switch (fault) {
            case VirtualLineFault::Framing: ++peer.counters.frame; break;
            case VirtualLineFault::Parity: ++peer.counters.parity; break;
            case VirtualLineFault::Overrun: ++peer.counters.overrun; break;
        }
        if (fault != VirtualLineFault::Overrun) peer.received.push_back({ReceivedItem::Kind::Faulty, byte});
        wake(1 - from);
    }

    void deliverBreak(int from) {
        EndState& peer = peerOf(from);
        ++peer.counters.brk;
        peer.received.push_back({ReceivedItem::Kind::Break, 0});
        wake(1 - from);
    }

    // Lines or buffer space changed at end `index`: the peer may care.
    void outputsChanged(int index) { wake(1 - index); }

    int modemBits(int index) {
        const EndState& self = ends[index];
        const EndState& peer = peerOf(index);
        int bits = 0;
        if (self.dtr) bits |= TIOCM_DTR;
        if (self.rts) bits |= TIOCM_RTS;
        if (peer.rts) bits |= TIOCM_CTS;
        if (peer.dtr) bits |= TIOCM_DSR | TIOCM_CAR;
        if (peer.ring) bits |= TIOCM_RNG;
        return bits;
    }

    mutable std::mutex mutex;
    std::condition_variable changed;
    EndState ends[2];
};

namespace {

using Pair = VirtualNullModem::Pair;

// Appends one received item as the kernel's line discipline would hand it to
// a reader with these input flags; false when it does not fit.
bool encodeItem(const ReceivedItem& item, std::uint32_t iflag, std::uint8_t* out, std::size_t room,
                std::size_t& used) {
    std::uint8_t bytes[3];
    std::size_t n = 0;
    bool parmrk = (iflag & PARMRK) != 0;
    switch (item.kind) {
        case ReceivedItem::Kind::Data: {
            std::uint8_t b = (iflag & ISTRIP) ? static_cast<std::uint8_t>(item.byte & 0x7F) : item.byte;
            if (parmrk && !(iflag & ISTRIP) && b == 0xFF) bytes[n++] = 0xFF;
            bytes[n++] = b;
            break;
        }
        case ReceivedItem::Kind::Faulty:
            if (!(iflag & INPCK)) {
                bytes[n++] = item.byte;
            } else if (!(iflag & IGNPAR)) {
                if (parmrk) {
                    bytes[n++] = 0xFF;
                    bytes[n++] = 0x00;
                }
                bytes[n++] = parmrk ? item.byte : 0;
            }
            break;
        case ReceivedItem::Kind::Break:
            if (!(iflag & (IGNBRK | BRKINT))) {
                if (parmrk) {
                    bytes[n++] = 0xFF;
                    bytes[n++] = 0x00;
                }
                bytes[n++] = 0;
            }
            break;
    }
    if (n > room) return false;
    std::copy(bytes, bytes + n, out);
    used = n;
    return true;
}

class VirtualEndDevice : public Device {
public:
    VirtualEndDevice(std::shared_ptr<Pair> pair, int index) : pair_(std::move(pair)), index_(index) {
        std::lock_guard lock(pair_->mutex);
        EndState& self = pair_->ends[index_];
        self.open = true;
        self.dtr = self.rts = true;  // as a tty raises them on open
        pair_->outputsChanged(index_);
    }
    ~VirtualEndDevice() override {
        std::lock_guard lock(pair_->mutex);
        EndState& self = pair_->ends[index_];
        if (self.termios.cflag & HUPCL) self.dtr = self.rts = false;
        self.breakOn = false;
        self.outputHeld = false;
        self.open = false;
        pair_->outputsChanged(index_);
    }

    int pollFd() const override { return pair_->ends[index_].wakeFd; }
    short pollEvents(bool, bool) const override { return POLLIN; }
    void acknowledgeWake() override {
        std::uint64_t count;
        [[maybe_unused]] ssize_t n = ::read(pair_->ends[index_].wakeFd, &count, sizeof count);
    }
    bool wakesOnLineChange() const override { return true; }

    IoResult read(std::uint8_t* buffer, std::size_t size) override {
        std::lock_guard lock(pair_->mutex);
        EndState& self = pair_->ends[index_];
        std::size_t total = 0;
        while (!self.received.empty()) {
            std::size_t used = 0;
            if (!encodeItem(self.received.front(), self.termios.iflag, buffer + total, size - total, used)) break;
            self.received.pop_front();
            total += used;
        }
        if (total == 0 && self.received.empty()) return {0, EAGAIN};
        pair_->outputsChanged(index_);  // room for the peer's writes
        return {total, 0};
    }

    IoResult write(const std::uint8_t* buffer, std::size_t size) override {
        std::lock_guard lock(pair_->mutex);
        std::size_t n = pair_->send(index_, buffer, size);
        if (n == 0 && size > 0) return {0, EAGAIN};
        return {n, 0};
    }

    int getTermios(KernelTermios& out) override {
        std::lock_guard lock(pair_->mutex);
        out = pair_->ends[index_].termios;
        return 0;
    }
    int setTermios(const KernelTermios& in) override {
        std::lock_guard lock(pair_->mutex);
        pair_->ends[index_].termios = in;
        pair_->outputsChanged(index_);  // CRTSCTS may now hold or free the peer
        return 0;
    }
    int outputQueued(unsigned& bytes) override {
        bytes = 0;  // bytes go straight into the peer's receive buffer
        return 0;
    }
    int flush(bool input, bool) override {
        std::lock_guard lock(pair_->mutex);
        if (input) {
            pair_->ends[index_].received.clear();
            pair_->outputsChanged(index_);
        }
        return 0;
    }

    int modemLines(int& bits) override {
        std::lock_guard lock(pair_->mutex);
        bits = pair_->modemBits(index_);
        return 0;
    }
    int changeModemLines(int bits, bool on) override {
        std::lock_guard lock(pair_->mutex);
        EndState& self = pair_->ends[index_];
        if (bits & TIOCM_DTR) self.dtr = on;
        if (bits & TIOCM_RTS) self.rts = on;
        pair_->outputsChanged(index_);
        return 0;
    }
    int setBreak(bool on) override {
        std::lock_guard lock(pair_->mutex);
        EndState& self = pair_->ends[index_];
        if (on && !self.breakOn) pair_->deliverBreak(index_);
        self.breakOn = on;
        return 0;
    }
    int holdOutput(bool held) override {
        std::lock_guard lock(pair_->mutex);
        pair_->ends[index_].outputHeld = held;
        pair_->wake(index_);  // a released hold lets our own writes go on
        return 0;
    }
    int lineCounters(LineCounters& out) override {
        std::lock_guard lock(pair_->mutex);
        out = pair_->ends[index_].counters;
        return 0;
    }

private:
    std::shared_ptr<Pair> pair_;
    int index_;
};

struct Registration {
    std::weak_ptr<Pair> pair;
    int index;
    const VirtualNullModem* owner;
};

struct Registry {
    std::mutex mutex;
    std::map<unsigned, Registration> byNumber;
    std::map<std::string, Registration> byPath;
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

template <class Map>
void eraseOwnedBy(Map& map, const VirtualNullModem* owner) {
    for (auto it = map.begin(); it != map.end();) {
        if (it->second.owner == owner)
            it = map.erase(it);
        else
            ++it;
    }
}

VirtualLookup openEnd(const Registration& registration) {
    VirtualLookup result;
    std::shared_ptr<Pair> pair = registration.pair.lock();
    if (!pair) return result;
    result.found = true;
    {
        std::lock_guard lock(pair->mutex);
        if (pair->ends[registration.index].open) return result;
    }
    result.device = std::make_unique<VirtualEndDevice>(pair, registration.index);
    return result;
}

}  // namespace

VirtualLookup openRegisteredVirtualEnd(unsigned comNumber, const std::string& linkPath,
                                       const std::string& linkTarget) {
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    if (auto it = r.byNumber.find(comNumber); it != r.byNumber.end()) return openEnd(it->second);
    for (const std::string* name : {&linkPath, &linkTarget}) {
        if (name->empty()) continue;
        if (auto it = r.byPath.find(*name); it != r.byPath.end()) return openEnd(it->second);
    }
    return {};
}

VirtualNullModem::VirtualNullModem()
    : pair_(std::make_shared<Pair>()), end0_(pair_, 0), end1_(pair_, 1) {}

VirtualNullModem::~VirtualNullModem() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    eraseOwnedBy(r.byNumber, this);
    eraseOwnedBy(r.byPath, this);
}

void VirtualNullModem::registerPort(int index, unsigned comNumber) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.byNumber[comNumber] = Registration{pair_, index, this};
}

void VirtualNullModem::registerPath(int index, const std::string& path) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.byPath[path] = Registration{pair_, index, this};
}

std::size_t VirtualNullModem::End::write(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(pair_->mutex);
    return pair_->send(index_, bytes.data(), bytes.size());
}

std::size_t VirtualNullModem::End::write(std::string_view text) {
    return write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::vector<std::uint8_t> VirtualNullModem::End::read(std::size_t max, std::chrono::milliseconds wait) {
    std::unique_lock lock(pair_->mutex);
    EndState& self = pair_->ends[index_];
    pair_->changed.wait_for(lock, wait, [&] { return !self.received.empty(); });
    std::vector<std::uint8_t> bytes;
    while (!self.received.empty() && bytes.size() < max) {
        ReceivedItem item = self.received.front();
        self.received.pop_front();
        if (item.kind != ReceivedItem::Kind::Break) bytes.push_back(item.byte);
    }
    pair_->outputsChanged(index_);
    return bytes;
}

std::vector<std::uint8_t> VirtualNullModem::End::readExactly(std::size_t count, std::chrono::milliseconds wait) {
    auto deadline = std::chrono::steady_clock::now() + wait;
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        std::vector<std::uint8_t> more = read(count - bytes.size(), left);
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
    return bytes;
}

std::size_t VirtualNullModem::End::pending() const {
    std::lock_guard lock(pair_->mutex);
    return pair_->ends[index_].received.size();
}

void VirtualNullModem::End::setReceiveCapacity(std::size_t bytes) {
    std::lock_guard lock(pair_->mutex);
    pair_->ends[index_].capacity = bytes;
    pair_->outputsChanged(index_);
}

void VirtualNullModem::End::setDtr(bool on) {
    std::lock_guard lock(pair_->mutex);
    pair_->ends[index_].dtr = on;
    pair_->outputsChanged(index_);
}

void VirtualNullModem::End::setRts(bool on) {
    std::lock_guard lock(pair_->mutex);
    pair_->ends[index_].rts = on;
    pair_->outputsChanged(index_);
}

void VirtualNullModem::End::setRing(bool on) {
    std::lock_guard lock(pair_->mutex);
    pair_->ends[index_].ring = on;
    pair_->outputsChanged(index_);
}

VirtualModemLines VirtualNullModem::End::lines() const {
    std::lock_guard lock(pair_->mutex);
    const EndState& self = pair_->ends[index_];
    int bits = pair_->modemBits(index_);
    VirtualModemLines lines;
    lines.dtr = self.dtr;
    lines.rts = self.rts;
    lines.ring = self.ring;
    lines.breakOn = self.breakOn;
    lines.cts = (bits & TIOCM_CTS) != 0;
    lines.dsr = (bits & TIOCM_DSR) != 0;
    lines.dcd = (bits & TIOCM_CAR) != 0;
    lines.ri = (bits & TIOCM_RNG) != 0;
    return lines;
}

void VirtualNullModem::End::sendFaulty(std::uint8_t byte, VirtualLineFault fault) {
    std::lock_guard lock(pair_->mutex);
    pair_->deliverFault(index_, byte, fault);
}

void VirtualNullModem::End::sendBreak() {
    std::lock_guard lock(pair_->mutex);
    pair_->deliverBreak(index_);
}

KernelTermios VirtualNullModem::End::termios() const {
    std::lock_guard lock(pair_->mutex);
    return pair_->ends[index_].termios;
}

VirtualLineSettings VirtualNullModem::End::settings() const {
    KernelTermios t = termios();
    VirtualLineSettings s;
    s.baudRate = baudRateOf(t);
    s.byteSize = byteSizeOf(t);
    s.parity = parityOf(t);
    s.stopBits = stopBitsOf(t);
    s.ctsFlow = (t.cflag & CRTSCTS) != 0;
    s.xonOutput = (t.iflag & IXON) != 0;
    s.xonInput = (t.iflag & IXOFF) != 0;
    s.rawMode = !(t.lflag & (ICANON | ECHO | ISIG)) && !(t.oflag & OPOST);
    return s;
}

bool VirtualNullModem::End::isOpen() const {
    std::lock_guard lock(pair_->mutex);
    return pair_->ends[index_].open;
}

}  // namespace winapi::posix
