#include "torvane/tick_count.h"

#include <gtest/gtest.h>

#include <cstdint>

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

}  // namespace
