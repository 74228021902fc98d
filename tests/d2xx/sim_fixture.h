#pragma once
// Helpers shared by the tests that drive the simulated vendor library.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "d2xx/sim/sim_control.h"

namespace d2xx_test {

// The call log as a list of lines.
inline std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    std::istringstream log(TorvaneSim_CallLog());
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
}

// Loads a scenario and fails the test, naming the fault, when it does not load.
inline void LoadScenario(const std::string& json) {
    ASSERT_EQ(TorvaneSim_LoadScenarioText(json.c_str()), 0) << TorvaneSim_LastError();
}

}  // namespace d2xx_test
