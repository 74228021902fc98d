// Windows: GetVersionExA into the record laid out like OSVERSIONINFOA.
#include <windows.h>

#include "devlist/system.h"

namespace devlist {
namespace {

static_assert(sizeof(OSVERSIONINFOA) == sizeof(OsVersionInfo));

class Win32VersionQuery final : public VersionQuery {
public:
    bool Query(OsVersionInfo& info) override {
        OSVERSIONINFOA native{};
        native.dwOSVersionInfoSize = info.size;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
        if (!GetVersionExA(&native)) return false;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
        info.majorVersion = native.dwMajorVersion;
        info.minorVersion = native.dwMinorVersion;
        info.buildNumber = native.dwBuildNumber;
        info.platformId = native.dwPlatformId;
        static_assert(sizeof info.csdVersion == sizeof native.szCSDVersion);
        for (std::size_t i = 0; i < sizeof info.csdVersion; ++i) info.csdVersion[i] = native.szCSDVersion[i];
        return true;
    }
};

}  // namespace

VersionQuery& PlatformVersionQuery() {
    static Win32VersionQuery query;
    return query;
}

}  // namespace devlist
