#pragma once
// The port's receive buffer: what the device delivered, decoded from its
// in-band line-error marks, and the line errors and events that came with it.
#include "serial/platform/posix/device.h"
#include "serial/platform/win32_calls.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace winapi::posix {

// Splits the tty's input, read with PARMRK|INPCK, into data bytes and marks:
// 0xFF 0xFF is a data 0xFF, 0xFF 0x00 x is x received with a line error
// (x 0 with no data usually being a break). A mark may be split across reads.
struct InputItem {
    enum class Kind : std::uint8_t { Data, Marked };
    Kind kind;
    std::uint8_t byte;
    bool operator==(const InputItem&) const = default;
};

class MarkedInputDecoder {
public:
    void feed(const std::uint8_t* bytes, std::size_t count, std::vector<InputItem>& out);
    void reset() { state_ = State::Plain; }

private:
    enum class State { Plain, SawFF, SawFF00 };
    State state_ = State::Plain;
};

struct LineReport {
    DWORD events = 0;  // EV_ bits
    DWORD errors = 0;  // CE_ bits
};

class ReceivedInput {
public:
    // Takes the device's error counters as they are at open.
    void startCounting(Device& device);
    // Reads what the device has, up to the capacity; marks the device hung up
    // on end of file or an error.
    LineReport drain(Device& device, const DCB& dcb, bool& hungUp);

    std::size_t size() const { return bytes_.size(); }
    bool hasRoom() const { return bytes_.size() < capacity_; }
    // The last drain stopped because the buffer was full.
    bool stalled() const { return stalled_; }
    std::size_t take(std::uint8_t* into, std::size_t most);
    void clear();
    // As a serial driver does: the buffer only ever grows.
    void growTo(std::size_t capacity);

private:
    LineReport decode(const std::vector<InputItem>& items, Device& device, const DCB& dcb);
    std::optional<LineCounters> counterDelta(Device& device);

    std::deque<std::uint8_t> bytes_;
    std::size_t capacity_ = 4096;
    MarkedInputDecoder decoder_;
    bool stalled_ = false;
    bool countersKnown_ = true;
    LineCounters lastCounters_;
};

}  // namespace winapi::posix
