#include "devlist/system.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "fixtures.h"

namespace devlist {
namespace {

struct ClassCase {
    bool succeeds;
    std::uint32_t platform;
    std::uint32_t major;
    std::uint32_t minor;
    std::uint16_t expected;
};

TEST(GetSystemClass, FromTheVersionQuery) {
    const ClassCase cases[] = {
        {true, kPlatformWin32Windows, 4, 0, 0},    // Windows 95
        {true, kPlatformWin32Windows, 4, 10, 1},   // Windows 98
        {true, kPlatformWin32Windows, 4, 90, 2},   // Windows Me
        {true, kPlatformWin32Nt, 4, 0, 3},         // NT 4 shares 95's numbers
        {true, kPlatformWin32Nt, 5, 1, 3},
        {true, kPlatformWin32Nt, 10, 0, 3},
        {true, 0, 3, 10, 3},                       // Win32s
        {true, 3, 4, 10, 3},                       // CE
        {true, kPlatformPosix, 6, 1, 3},
        {false, kPlatformWin32Windows, 4, 10, 3},  // a failed query wins over what it left
        // Platform 1 with an unlisted version stays on the consumer line: the
        // class of the nearest release at or below it.
        {true, kPlatformWin32Windows, 4, 3, 0},
        {true, kPlatformWin32Windows, 3, 95, 0},
        {true, kPlatformWin32Windows, 4, 50, 1},
        {true, kPlatformWin32Windows, 4, 89, 1},
        {true, kPlatformWin32Windows, 4, 95, 2},
        {true, kPlatformWin32Windows, 5, 0, 2},
    };
    for (const ClassCase& c : cases) {
        FakeVersionQuery query(c.succeeds, c.platform, c.major, c.minor);
        const ScopedVersionQuery installed(query);
        EXPECT_EQ(GetSystemClass(), c.expected)
            << "platform " << c.platform << " " << c.major << "." << c.minor << (c.succeeds ? "" : " (failed)");
        EXPECT_EQ(query.calls, 1);
        EXPECT_EQ(query.sizeSeen, 148u);
    }
}

TEST(GetSystemClass, ThisPlatformIsNotTheConsumerLine) {
    InstallVersionQuery(nullptr);
    EXPECT_EQ(GetSystemClass(), kClassNtOrOther);
    OsVersionInfo info{};
    info.size = kOsVersionInfoSize;
    ASSERT_TRUE(PlatformVersionQuery().Query(info));
    EXPECT_NE(info.platformId, kPlatformWin32Windows);
}

TEST(GetSystemClass, UninstallingRestoresThePlatformQuery) {
    FakeVersionQuery windows98(true, kPlatformWin32Windows, 4, 10);
    InstallVersionQuery(&windows98);
    EXPECT_EQ(GetSystemClass(), kClassWindows98);
    InstallVersionQuery(nullptr);
    EXPECT_EQ(GetSystemClass(), kClassNtOrOther);
    EXPECT_EQ(windows98.calls, 1);
}

}  // namespace
}  // namespace devlist
