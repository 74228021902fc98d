#include "devlist/system.h"

namespace devlist {
namespace {

VersionQuery* installedQuery = nullptr;

VersionQuery& ActiveVersionQuery() {
    return installedQuery ? *installedQuery : PlatformVersionQuery();
}

std::uint16_t ConsumerLineClass(std::uint32_t major, std::uint32_t minor) {
    if (major < 4 || (major == 4 && minor < 10)) return kClassWindows95;
    if (major == 4 && minor < 90) return kClassWindows98;
    return kClassWindowsMe;
}

}  // namespace

std::uint16_t SystemClassOf(const OsVersionInfo& info) {
    if (info.platformId != kPlatformWin32Windows) return kClassNtOrOther;
    return ConsumerLineClass(info.majorVersion, info.minorVersion);
}

std::uint16_t GetSystemClass() {
    OsVersionInfo info{};
    info.size = kOsVersionInfoSize;
    if (!ActiveVersionQuery().Query(info)) return kClassNtOrOther;
    return SystemClassOf(info);
}

void InstallVersionQuery(VersionQuery* query) { installedQuery = query; }

}  // namespace devlist
