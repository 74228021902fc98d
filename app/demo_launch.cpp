#include "app/demo_launch.h"

#include <cstdlib>
#include <ostream>

#include "d2xx/library_loader.h"

namespace app {

bool SimulatedLibraryLoaded() {
    d2xx::LibraryLoader& loader = d2xx::PlatformLibraryLoader();
    // Already mapped by the program, so this only finds the loaded copy.
    d2xx::LibraryLoader::Library library = loader.Load(d2xx::VendorLibraryFileName());
    if (library == nullptr) return false;
    // Only the simulated library carries its control interface.
    const bool simulated = loader.Find(library, "TorvaneSim_LastError") != nullptr;
    loader.Release(library);
    return simulated;
}

std::optional<int> UseSimulatedLibraryIfAsked(bool demoFlag, char** argv, const std::string& program, std::ostream& err) {
    const bool asked = demoFlag || std::getenv(kSimulationVariable) != nullptr;
    if (!asked || SimulatedLibraryLoaded()) return std::nullopt;
    std::string failure;
    if (std::getenv(kRelaunchedVariable) != nullptr) {
        failure = "the simulated library was not loaded after the relaunch";
    } else if (const std::optional<int> status = RelaunchOverSimulatedLibrary(argv, failure)) {
        return status;
    }
    err << program << ": " << failure << '\n' << std::flush;
    return 2;
}

}  // namespace app
