#include "serial/platform/posix/comm_timeouts.h"

#include <cstdint>

namespace winapi::posix {

namespace {
std::optional<Millis> totalOf(DWORD multiplier, DWORD constant, DWORD length) {
    if (multiplier == 0 && constant == 0) return std::nullopt;
    // 64-bit: MAXDWORD x a large count must not wrap into a short time-out.
    std::uint64_t ms = std::uint64_t{multiplier} * length + constant;
    return Millis(static_cast<Millis::rep>(ms));
}
}  // namespace

bool isValidTimeouts(const COMMTIMEOUTS& t) {
    return t.ReadIntervalTimeout != MAXDWORD || (t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0);
}

ReadPlan planRead(const COMMTIMEOUTS& t, DWORD length) {
    ReadPlan plan;
    if (t.ReadIntervalTimeout == MAXDWORD) {
        plan.immediate = true;
        return plan;
    }
    plan.total = totalOf(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, length);
    if (t.ReadIntervalTimeout != 0) plan.interval = Millis(t.ReadIntervalTimeout);
    return plan;
}

std::optional<Millis> writeTotal(const COMMTIMEOUTS& t, DWORD length) {
    return totalOf(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, length);
}

}  // namespace winapi::posix
