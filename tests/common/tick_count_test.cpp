#include "torvane/tick_count.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace {

// The 64-bit count kept from 32-bit readings (Windows XP's GetTickCount):
// forward steps, a wrap, and late readings of other threads.
TEST(TickCount, ExtendsA32BitReadingAcrossItsWrap) {
    const struct {
        std::uint64_t last;
        std::uint32_t now;
        std::uint64_t expected;
    } kCases[] = {
        {0, 0, 0},
        {1000, 1500, 1500},                                  // forward
        {0xFFFFFFF0u, 0x10, 0x100000010u},                   // the 32-bit reading wrapped
        {0x3FFFFFFF0u, 0x5, 0x400000005u},                   // a later wrap
        {0x100000010u, 0xFFFFFFF0u, 0x100000010u},           // a reading from before the wrap, late
        {5000, 4990, 5000},                                  // a late reading never goes back
        {1000, 1000 + 0x7FFFFFFFu, 1000 + 0x7FFFFFFFull},    // the longest step seen as one
        {1000, 1000 + 0x80000000u, 1000},                    // beyond it: taken as late
    };
    for (const auto& c : kCases) EXPECT_EQ(torvane::ExtendTickCount(c.last, c.now), c.expected) << c.last << " " << c.now;
}

// The count shared by threads: each reading moves it on, and a thread never
// gets a count behind one another thread got before. `movedTo`: the count
// another thread gave out between this thread's load of it and its first
// reading (0: none did).
TEST(TickCount, SharedCountNeverGoesBehindAnotherThreadsCount) {
    const struct {
        const char* name;
        std::uint64_t shared;
        std::uint64_t movedTo;
        std::vector<std::uint32_t> readings;
        std::uint64_t expected;
    } kCases[] = {
        {"forward", 1000, 0, {1500}, 1500},
        {"a late reading", 5000, 0, {4990}, 5000},
        {"another thread moved it first", 1000, 1600, {1500, 1700}, 1700},
        // Stalled 24.8 days between the load and its reading, which then
        // looks late to the stale count; the shared count is far ahead.
        {"stalled after the load", 1000, 1000 + 0x80000000ull, {1000 + 0x80000005u, 1000 + 0x80000006u},
         1000 + 0x80000006ull},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        std::atomic<std::uint64_t> shared{c.shared};
        std::size_t read = 0;
        const std::uint64_t count = torvane::AdvanceTickCount(shared, [&] {
            if (read == 0 && c.movedTo != 0) shared = c.movedTo;
            return c.readings.at(read++);
        });
        EXPECT_EQ(count, c.expected);
        EXPECT_EQ(shared.load(), c.expected);
        EXPECT_EQ(read, c.readings.size());
    }
}

}  // namespace
