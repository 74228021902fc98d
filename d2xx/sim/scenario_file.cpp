#include "d2xx/sim/scenario_file.h"

namespace torvane_sim {

std::string TooLargeFault() {
    return "larger than " + std::to_string(kMaxScenarioFileBytes) + " bytes (the scenario file limit)";
}

}  // namespace torvane_sim
