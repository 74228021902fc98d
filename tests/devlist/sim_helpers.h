#pragma once
// Driving the simulated vendor library from the device list tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "d2xx/D2XXUnit.h"
#include "d2xx/sim/sim_control.h"
#include "fixtures.h"

namespace devlist {

inline std::vector<std::string> CallLog() { return SplitLines(TorvaneSim_CallLog()); }

// Loads a scenario (failing the test with the simulator's reason when it does
// not load) and puts the D2XX layer's handle back to "never opened", so that
// call logs start the same way whatever ran before.
inline void UseScenario(const std::string& json) {
    ASSERT_EQ(TorvaneSim_LoadScenarioText(json.c_str()), 0) << TorvaneSim_LastError();
    d2xx::DeviceHandle = nullptr;
}

}  // namespace devlist
