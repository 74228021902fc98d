// The relaunch over the simulated library on Linux: the same program again,
// with the simulated library's folder first on LD_LIBRARY_PATH, found relative
// to the running executable so that the build tree and an installed copy both
// work (never an absolute build path).
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/demo_launch.h"

namespace app {
namespace {

namespace fs = std::filesystem;

// The installed private folder (TORVANE_PRIVATE_LIBDIR, ../lib/<triplet>/torvane
// from the program) + sim, else ../../d2xx/sim (build tree); empty when
// neither holds the library.
fs::path SimulatedLibraryFolder(const fs::path& program) {
    const fs::path bin = program.parent_path();
    for (const fs::path& folder : {bin / ".." / TORVANE_PRIVATE_LIBDIR / "sim", bin / ".." / ".." / "d2xx" / "sim"}) {
        std::error_code error;
        if (fs::exists(folder / "libftd2xx.so", error)) return fs::weakly_canonical(folder, error);
    }
    return {};
}

}  // namespace

std::optional<int> RelaunchOverSimulatedLibrary(char** argv, std::string& failure) {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        failure = "cannot find the running program: " + error.message();
        return std::nullopt;
    }
    const fs::path folder = SimulatedLibraryFolder(program);
    if (folder.empty()) {
        failure = "the simulated library is not installed (no libftd2xx.so in ../" TORVANE_PRIVATE_LIBDIR "/sim)";
        return std::nullopt;
    }
    std::string path = folder.string();
    if (const char* old = std::getenv("LD_LIBRARY_PATH"); old != nullptr && *old != '\0') path.append(":").append(old);
    setenv("LD_LIBRARY_PATH", path.c_str(), 1);
    setenv(kRelaunchedVariable, "1", 1);
    execv(program.c_str(), argv);
    failure = "cannot start " + program.string() + " again: " + std::strerror(errno);
    return std::nullopt;
}

}  // namespace app
