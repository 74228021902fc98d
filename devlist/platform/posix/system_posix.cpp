// POSIX: no Windows line runs here, so the version query reports a platform
// that is not the consumer line (class 3, the D2XX path), with the kernel's
// version; there is no registry, so the survey sees an empty one.
#include <sys/utsname.h>

#include <cstdio>
#include <cstring>

#include "devlist/memory_registry.h"
#include "devlist/system.h"

namespace devlist {
namespace {

class PosixVersionQuery final : public VersionQuery {
public:
    bool Query(OsVersionInfo& info) override {
        info.platformId = kPlatformPosix;
        utsname names{};
        if (uname(&names) != 0) return true;
        unsigned major = 0, minor = 0;
        if (std::sscanf(names.release, "%u.%u", &major, &minor) == 2) {
            info.majorVersion = major;
            info.minorVersion = minor;
        }
        std::strncpy(info.csdVersion, names.sysname, sizeof info.csdVersion - 1);
        return true;
    }
};

}  // namespace

VersionQuery& PlatformVersionQuery() {
    static PosixVersionQuery query;
    return query;
}

Registry& PlatformRegistry() {
    static MemoryRegistry empty;
    return empty;
}

}  // namespace devlist
