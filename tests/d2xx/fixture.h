#pragma once
// Shared by the d2xx tests: the simulated library's log and scenarios, and
// the D2XX layer with a recorder in place of the message dialogs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "d2xx/ftd2xx_abi.h"
#include "d2xx/sim/sim_control.h"

namespace d2xx_test {

inline std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    std::istringstream log(TorvaneSim_CallLog());
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
}

// Loads a scenario; a fault fails the test and names the fault.
inline void LoadScenario(const std::string& json) {
    ASSERT_EQ(TorvaneSim_LoadScenarioText(json.c_str()), 0) << TorvaneSim_LastError();
}

inline FT_HANDLE HandleValue(std::uintptr_t value) { return reinterpret_cast<FT_HANDLE>(value); }
using d2xx_abi::ValueArgument;

// Cases of table-driven tests carry a name, used for the test name and printout.
template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) { return info.param.name; }

}  // namespace d2xx_test
