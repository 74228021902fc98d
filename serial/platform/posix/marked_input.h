#pragma once
// Splits the tty's input, read with PARMRK|INPCK, into data bytes and marks:
// 0xFF 0xFF is a data 0xFF, 0xFF 0x00 x is x received with a line error
// (x 0 with no data usually being a break). A mark may be split across reads.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace winapi::posix {

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

}  // namespace winapi::posix
