#pragma once
// Reading a scenario file, bounded: one implementation per platform
// (posix/, win32/). A scenario is a small JSON text; a path naming a FIFO, a
// device (/dev/zero) or a huge file must fail at once with a clear fault
// instead of blocking or exhausting memory.
#include <cstddef>
#include <string>

namespace torvane_sim {

// The largest scenario file read, in bytes (1 MiB: a scenario of 255 devices
// with every field set is under 100 KiB).
inline constexpr std::size_t kMaxScenarioFileBytes = 1024 * 1024;

struct ScenarioFile {
    std::string text;
    std::string fault;  // empty when the file was read
};

// The whole file when it is a regular file of at most kMaxScenarioFileBytes;
// otherwise a fault: "cannot read the scenario file", "not a regular file" or
// "larger than 1048576 bytes (the scenario file limit)".
ScenarioFile ReadScenarioFile(const std::string& path);

// The fault texts, shared by the platform implementations.
inline const char* const kUnreadableFault = "cannot read the scenario file";
inline const char* const kNotRegularFault = "not a regular file";
std::string TooLargeFault();

}  // namespace torvane_sim
