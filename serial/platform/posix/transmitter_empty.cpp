#include "serial/platform/posix/transmitter_empty.h"

#include <algorithm>

namespace winapi::posix {

bool TransmitterEmpty::check(Device& device, bool writesQueued, bool hungUp, DWORD baud, Clock::time_point now) {
    checkAt_.reset();
    if (!sentSinceEmpty_ || writesQueued) return false;
    unsigned queued = 0;
    if (!hungUp && device.outputQueued(queued) == 0 && queued > 0) {
        DWORD bitsPerSecond = std::max<DWORD>(baud, 300);
        auto lineTime = std::chrono::milliseconds(1 + std::uint64_t{queued} * 10 * 1000 / bitsPerSecond);
        checkAt_ = now + std::min(lineTime, std::chrono::milliseconds(100));
        return false;
    }
    sentSinceEmpty_ = false;
    return true;
}

}  // namespace winapi::posix
