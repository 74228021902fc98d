#pragma once
// When the transmitter ran empty: after bytes were handed to the device, the
// moment its output queue reads 0 with no write left. The kernel does not
// announce that moment, so the queue is checked again after roughly the
// time its bytes need on the line.
#include "serial/platform/posix/device.h"
#include "serial/platform/posix/port_requests.h"

namespace winapi::posix {

class TransmitterEmpty {
public:
    void noteSent() { sentSinceEmpty_ = true; }
    // True once when the transmitter has just run empty (EV_TXEMPTY is due).
    bool check(Device& device, bool writesQueued, bool hungUp, DWORD baud, Clock::time_point now);
    // When check() should look again.
    std::optional<Clock::time_point> nextCheck() const { return checkAt_; }

private:
    bool sentSinceEmpty_ = false;
    std::optional<Clock::time_point> checkAt_;
};

}  // namespace winapi::posix
