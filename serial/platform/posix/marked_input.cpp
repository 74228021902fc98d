#include "serial/platform/posix/marked_input.h"

namespace winapi::posix {

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
