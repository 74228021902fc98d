#include "serial/platform/posix/received_input.h"

#include <algorithm>
#include <cerrno>

namespace winapi::posix {

namespace {

std::uint32_t takeOne(std::uint32_t& counter) {
    if (counter == 0) return 0;
    --counter;
    return 1;
}

}  // namespace

void ReceivedInput::startCounting(Device& device) {
    if (device.lineCounters(lastCounters_) != 0) countersKnown_ = false;
}

LineReport ReceivedInput::drain(Device& device, const DCB& dcb, bool& hungUp) {
    std::vector<InputItem> items;
    std::uint8_t chunk[1024];
    bool stalled = false;
    while (!hungUp) {
        std::size_t used = bytes_.size() + items.size();
        std::size_t room = capacity_ > used ? capacity_ - used : 0;
        if (room == 0) {
            stalled = true;
            break;
        }
        IoResult r = device.read(chunk, std::min(room, sizeof chunk));
        if (r.error == EAGAIN || r.error == EINTR) break;
        if (r.error != 0) {
            hungUp = true;
            break;
        }
        if (r.count == 0) {  // the next item (a mark) needs more room than is left
            stalled = true;
            break;
        }
        decoder_.feed(chunk, r.count, items);
        // A short read took all there was: the next one would only say EAGAIN.
        if (r.count < std::min(room, sizeof chunk)) break;
    }
    stalled_ = stalled;
    return decode(items, device, dcb);
}

std::optional<LineCounters> ReceivedInput::counterDelta(Device& device) {
    if (!countersKnown_) return std::nullopt;
    LineCounters now;
    if (device.lineCounters(now) != 0) {
        countersKnown_ = false;
        return std::nullopt;
    }
    LineCounters delta{now.frame - lastCounters_.frame, now.parity - lastCounters_.parity,
                       now.brk - lastCounters_.brk, now.overrun - lastCounters_.overrun};
    lastCounters_ = now;
    return delta;
}

// Data goes into the buffer; marks become line errors. Which error a mark
// stands for comes from the device's error counters where it keeps them
// (a 0 with a break count is a break); without counters a marked 0 is a
// break, and other marks are parity errors when parity is on, else framing.
LineReport ReceivedInput::decode(const std::vector<InputItem>& items, Device& device, const DCB& dcb) {
    std::optional<LineCounters> delta = counterDelta(device);
    LineCounters left = delta.value_or(LineCounters{});
    LineReport report;
    auto store = [&](std::uint8_t byte) {
        bytes_.push_back(byte);
        report.events |= EV_RXCHAR;
        if (static_cast<char>(byte) == dcb.EvtChar) report.events |= EV_RXFLAG;
    };
    for (const InputItem& item : items) {
        if (item.kind == InputItem::Kind::Data) {
            store(item.byte);
            continue;
        }
        bool isBreak = item.byte == 0 && (delta ? takeOne(left.brk) != 0 : true);
        if (isBreak) {
            report.errors |= CE_BREAK;
            report.events |= EV_BREAK;
            continue;
        }
        // The byte is kept either way.
        bool isParity = delta ? takeOne(left.parity) != 0 : dcb.Parity != NOPARITY;
        store(item.byte);
        if (isParity && !dcb.fParity) continue;  // parity not checked: the byte is plain data
        if (isParity) {
            report.errors |= CE_RXPARITY;
        } else {
            if (delta) takeOne(left.frame);
            report.errors |= CE_FRAME;
        }
        report.events |= EV_ERR;
    }
    if (left.overrun > 0) {
        report.errors |= CE_OVERRUN;
        report.events |= EV_ERR;
    }
    if (delta && delta->brk > 0 && !(report.errors & CE_BREAK)) {  // a break the kernel did not mark
        report.errors |= CE_BREAK;
        report.events |= EV_BREAK;
    }
    return report;
}

std::size_t ReceivedInput::take(std::uint8_t* into, std::size_t most) {
    std::size_t n = std::min(bytes_.size(), most);
    std::copy_n(bytes_.begin(), n, into);
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

void ReceivedInput::clear() {
    bytes_.clear();
    decoder_.reset();
}

void ReceivedInput::growTo(std::size_t capacity) { capacity_ = std::max(capacity_, capacity); }

void MarkedInputDecoder::feed(const std::uint8_t* bytes, std::size_t count, std::vector<InputItem>& out) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t b = bytes[i];
        switch (state_) {
            case State::Plain:
                if (b == 0xFF)
                    state_ = State::SawFF;
                else
                    out.push_back({InputItem::Kind::Data, b});
                break;
            case State::SawFF:
                if (b == 0x00) {
                    state_ = State::SawFF00;
                } else {
                    // 0xFF 0xFF is the escaped data byte; anything else cannot
                    // come from the kernel, so keep both bytes as data.
                    out.push_back({InputItem::Kind::Data, 0xFF});
                    if (b != 0xFF) out.push_back({InputItem::Kind::Data, b});
                    state_ = State::Plain;
                }
                break;
            case State::SawFF00:
                out.push_back({InputItem::Kind::Marked, b});
                state_ = State::Plain;
                break;
        }
    }
}

}  // namespace winapi::posix
