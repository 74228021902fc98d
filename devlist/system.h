#pragma once
// The system seam of the device list: which line of Windows runs, from a
// version query shaped like GetVersionExA's. Each platform supplies its query
// (devlist/platform/*); tests install their own.
#include <cstdint>

namespace devlist {

// Laid out like Win32's OSVERSIONINFOA, so the Windows query can fill it
// directly; the class reads only major, minor and platformId.
struct OsVersionInfo {
    std::uint32_t size;  // set to kOsVersionInfoSize before the query
    std::uint32_t majorVersion;
    std::uint32_t minorVersion;
    std::uint32_t buildNumber;
    std::uint32_t platformId;
    char csdVersion[128];
};
inline constexpr std::uint32_t kOsVersionInfoSize = 148;
static_assert(sizeof(OsVersionInfo) == kOsVersionInfoSize);

inline constexpr std::uint32_t kPlatformWin32Windows = 1;  // the 95/98/Me line
inline constexpr std::uint32_t kPlatformWin32Nt = 2;
// What the POSIX query reports: no Windows line at all.
inline constexpr std::uint32_t kPlatformPosix = 0x10000;

// System classes: the consumer line (registry path) and everything else.
inline constexpr std::uint16_t kClassWindows95 = 0;
inline constexpr std::uint16_t kClassWindows98 = 1;
inline constexpr std::uint16_t kClassWindowsMe = 2;
inline constexpr std::uint16_t kClassNtOrOther = 3;

class VersionQuery {
public:
    virtual ~VersionQuery() = default;
    // Fills `info` (whose size field the caller has set); false when the query fails.
    virtual bool Query(OsVersionInfo& info) = 0;
};

// The class of a successfully queried version. Platform 1 always gives a
// consumer-line class: 4.0 -> 0, 4.10 -> 1, 4.90 -> 2, and a version between or
// beyond those the class of the nearest release at or below it.
std::uint16_t SystemClassOf(const OsVersionInfo& info);

// Uses the installed query (the platform's own when none is installed).
std::uint16_t GetSystemClass();

// Not owned; nullptr restores the platform's query.
void InstallVersionQuery(VersionQuery* query);
// The platform's own query (one implementation per platform folder).
VersionQuery& PlatformVersionQuery();

}  // namespace devlist
