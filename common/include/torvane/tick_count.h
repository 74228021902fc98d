#pragma once
// A 64-bit millisecond tick count kept from a 32-bit one that wraps every
// 49.7 days (what a 64-bit tick source is built from where the system has
// only the 32-bit one). Portable: no OS header.
#include <atomic>
#include <cstdint>

namespace torvane {

// The 64-bit count after `last`, given the 32-bit reading `now`: `last`
// moved forward by the distance from its low 32 bits to `now`, across a
// wrap if there was one. A reading up to 2^31 ms behind `last` (another
// thread's older reading that arrived late) leaves it unchanged, so the
// count never goes back; a wrap is seen as long as readings come at least
// every 2^31 ms (24.8 days).
constexpr std::uint64_t ExtendTickCount(std::uint64_t last, std::uint32_t now) {
    const std::uint32_t step = now - static_cast<std::uint32_t>(last);
    return step < 0x80000000u ? last + step : last;
}

// The count now, from `shared` (the last count any thread was given) and a
// 32-bit reading of `readTick`, lock-free. Never less than a count another
// thread was given before the call.
template <typename ReadTick>
std::uint64_t AdvanceTickCount(std::atomic<std::uint64_t>& shared, ReadTick readTick) {
    std::uint64_t last = shared.load();
    for (;;) {
        const std::uint64_t next = ExtendTickCount(last, readTick());
        if (next == last) {
            // A reading behind `last`: a late one, or `last` itself is stale
            // (this thread stalled between loading it and reading the tick
            // while others moved the count on). Only the shared count tells.
            const std::uint64_t current = shared.load();
            if (current == last) return last;
            last = current;
        } else if (shared.compare_exchange_weak(last, next)) {
            return next;
        }
        // Otherwise another thread moved the count meanwhile: again from its value.
    }
}

}  // namespace torvane
