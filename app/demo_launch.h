#pragma once
// The simulated device set on request. The vendor functions are bound when
// the program loads, from the library beside it (Windows) or the one its
// RUNPATH names (Linux): the one over the attached converters. A run that asks
// for the simulation (--demo, or TORVANE_SIM set) is started again over the
// simulated library, which is installed in a folder of its own:
//   Linux    the same program again (exec), the simulated library's folder
//            first on LD_LIBRARY_PATH: ../lib/<triplet>/torvane/sim from the program
//            (installed), else ../../d2xx/sim (build tree);
//   Windows  demo\<the program's own file name>, beside which the simulated
//            FTD2XX.DLL lies, with the same command line; this process waits
//            for it and ends with its exit status.
#include <iosfwd>
#include <optional>
#include <string>

namespace app {

// The environment variable that asks for the simulation (and names its scenario).
inline constexpr char kSimulationVariable[] = "TORVANE_SIM";
// Set in the environment of a relaunched program, so that it never relaunches again.
inline constexpr char kRelaunchedVariable[] = "TORVANE_DEMO_RELAUNCHED";

// True when the vendor library this process bound is the simulated one.
bool SimulatedLibraryLoaded();

// Makes this run list the simulated devices when `demoFlag` is set or
// TORVANE_SIM is: returns nothing when this process can go on as it is, or
// the status to exit with (the relaunched program's, on Windows). When the
// simulated library cannot be reached, prints why to `err` as one line
// "<program>: <reason>" and returns 2.
std::optional<int> UseSimulatedLibraryIfAsked(bool demoFlag, char** argv, const std::string& program, std::ostream& err);

// The platform's relaunch (app/posix, app/win32) with the same arguments
// (`argv`, null-terminated as main() has it; Windows takes its own command
// line). On Linux it returns only when the exec failed; on Windows with the
// relaunched program's exit status. On failure, `failure` says why.
std::optional<int> RelaunchOverSimulatedLibrary(char** argv, std::string& failure);

}  // namespace app
