// The scenario file on Windows: checked to be a regular file of bounded size,
// then read with the standard library (no FIFO can block an open there).
#include <filesystem>
#include <fstream>
#include <system_error>

#include "d2xx/sim/scenario_file.h"

namespace torvane_sim {

ScenarioFile ReadScenarioFile(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error) return {{}, kUnreadableFault};
    if (status.type() != std::filesystem::file_type::regular) return {{}, kNotRegularFault};
    std::ifstream file(path, std::ios::binary);
    if (!file) return {{}, kUnreadableFault};
    ScenarioFile result;
    result.text.resize(kMaxScenarioFileBytes + 1);
    file.read(result.text.data(), static_cast<std::streamsize>(result.text.size()));
    if (file.bad()) return {{}, kUnreadableFault};
    result.text.resize(static_cast<std::size_t>(file.gcount()));
    if (result.text.size() > kMaxScenarioFileBytes) return {{}, TooLargeFault()};
    return result;
}

}  // namespace torvane_sim
