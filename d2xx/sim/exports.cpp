// The exported face of the simulated vendor library: the seven vendor
// functions, the latency timer pair and the control interface, all forwarding
// to one Simulator under a lock (the two device-information functions are exported from
// device_info_exports.cpp, which only the full library has). The scenario is loaded at the first call, not at library load, so
// that a test can set TORVANE_SIM or load its own scenario first.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <string>

#include "d2xx/c_boundary.h"
#include "d2xx/ftd2xx_abi.h"
#include "d2xx/sim/scenario.h"
#include "d2xx/sim/scenario_file.h"
#include "d2xx/sim/device_info.h"
#include "d2xx/sim/sim_control.h"
#include "d2xx/sim/simulator.h"

namespace torvane_sim {
namespace {

struct State {
    std::mutex mutex;
    Simulator simulator;
    bool loaded = false;
    std::string returned;  // backs the texts handed out by the control functions
};

// Never destroyed: a caller's static destructor may still call in at exit.
State& TheState() {
    static State& state = *new State;
    return state;
}

int Refuse(Simulator& simulator, const std::string& source, const std::string& fault) {
    simulator.Fail(fault);
    std::fprintf(stderr, "torvane-sim: %s: %s\n", source.c_str(), fault.c_str());
    return 1;
}

// Whatever goes wrong while loading (also running out of memory) leaves the
// library in the failed state, never in an empty scenario that answers FT_OK.
int LoadText(Simulator& simulator, const std::string& text, const std::string& source) {
    try {
        simulator.Load(ParseScenario(text));
        return 0;
    } catch (const std::bad_alloc&) {
        return Refuse(simulator, source, "out of memory");
    } catch (const std::exception& e) {
        return Refuse(simulator, source, e.what());
    }
}

int LoadFile(Simulator& simulator, const std::string& path) {
    const ScenarioFile file = ReadScenarioFile(path);
    if (!file.fault.empty()) return Refuse(simulator, path, file.fault);
    return LoadText(simulator, file.text, path);
}

int LoadFromEnvironment(Simulator& simulator) {
    const char* path = std::getenv("TORVANE_SIM");
    if (path == nullptr || *path == '\0')
        return LoadText(simulator, kBuiltInDemoScenario, "built-in demo");
    return LoadFile(simulator, path);
}

// Runs an action on the simulator under the lock, loading the scenario first
// when nothing has been loaded yet. The scenario counts as loaded only once
// the load has run to its end (success or the failed state).
template <typename Action>
auto WithSimulator(Action action) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.loaded) {
        LoadFromEnvironment(state.simulator);
        state.loaded = true;
    }
    return action(state.simulator, state);
}

// A vendor function: the action under the lock, and no exception out of it.
template <typename Action>
FT_STATUS VendorCall(Action action) {
    return d2xx_boundary::CatchAtBoundary([&] { return WithSimulator(action); });
}

// A control function returning a text: "" when the text cannot be made.
template <typename Action>
const char* TextCall(Action action) noexcept {
    try {
        return WithSimulator(action);
    } catch (...) {
        return "";
    }
}

// Runs a loading action: whatever it loads counts as loaded, even a fault.
template <typename Action>
int Loading(Action action) noexcept {
    try {
        State& state = TheState();
        std::lock_guard<std::mutex> lock(state.mutex);
        const int result = action(state.simulator);
        state.loaded = true;
        return result;
    } catch (...) {
        return 1;
    }
}

}  // namespace

FT_STATUS CreateDeviceInfoList(std::uint32_t* count) {
    return VendorCall([&](Simulator& s, State&) { return s.CreateDeviceInfoList(count); });
}

FT_STATUS GetDeviceInfoDetail(std::uint32_t index, std::uint32_t* flags, std::uint32_t* type, std::uint32_t* id,
                              std::uint32_t* location, void* serial, void* description, FT_HANDLE* handle) {
    return VendorCall([&](Simulator& s, State&) {
        return s.GetDeviceInfoDetail(index, flags, type, id, location, serial, description, handle);
    });
}

}  // namespace torvane_sim

using torvane_sim::Simulator;
using torvane_sim::State;
using torvane_sim::TextCall;
using torvane_sim::VendorCall;
using torvane_sim::WithSimulator;

extern "C" {

FT_STATUS FT_CALL FT_ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    return VendorCall([&](Simulator& s, State&) { return s.ListDevices(arg1, arg2, flags); });
}

FT_STATUS FT_CALL FT_OpenEx(void* arg1, std::uint32_t flags, FT_HANDLE* handle) {
    return VendorCall([&](Simulator& s, State&) { return s.OpenEx(arg1, flags, handle); });
}

FT_STATUS FT_CALL FT_Close(FT_HANDLE handle) {
    return VendorCall([&](Simulator& s, State&) { return s.Close(handle); });
}

FT_STATUS FT_CALL FT_EE_Read(FT_HANDLE handle, FT_PROGRAM_DATA* data) {
    return VendorCall([&](Simulator& s, State&) { return s.EeRead(handle, data); });
}

FT_STATUS FT_CALL FT_GetDriverVersion(FT_HANDLE handle, std::uint32_t* version) {
    return VendorCall([&](Simulator& s, State&) { return s.GetDriverVersion(handle, version); });
}

FT_STATUS FT_CALL FT_GetLibraryVersion(std::uint32_t* version) {
    return VendorCall([&](Simulator& s, State&) { return s.GetLibraryVersion(version); });
}

FT_STATUS FT_CALL FT_GetComPortNumber(FT_HANDLE handle, std::int32_t* portNumber) {
    return VendorCall([&](Simulator& s, State&) { return s.GetComPortNumber(handle, portNumber); });
}

FT_STATUS FT_CALL FT_GetLatencyTimer(FT_HANDLE handle, std::uint8_t* milliseconds) {
    return VendorCall([&](Simulator& s, State&) { return s.GetLatencyTimer(handle, milliseconds); });
}

FT_STATUS FT_CALL FT_SetLatencyTimer(FT_HANDLE handle, std::uint8_t milliseconds) {
    return VendorCall([&](Simulator& s, State&) { return s.SetLatencyTimer(handle, milliseconds); });
}

int TORVANE_SIM_CALL TorvaneSim_LoadScenarioText(const char* json) {
    return torvane_sim::Loading([&](Simulator& s) {
        return torvane_sim::LoadText(s, json ? json : "", "scenario text");
    });
}

int TORVANE_SIM_CALL TorvaneSim_LoadScenarioFile(const char* path) {
    return torvane_sim::Loading(
        [&](Simulator& s) { return torvane_sim::LoadFile(s, path ? path : ""); });
}

int TORVANE_SIM_CALL TorvaneSim_LoadFromEnvironment(void) {
    return torvane_sim::Loading([](Simulator& s) { return torvane_sim::LoadFromEnvironment(s); });
}

void TORVANE_SIM_CALL TorvaneSim_UseBuiltInDemo(void) {
    torvane_sim::Loading([](Simulator& s) {
        return torvane_sim::LoadText(s, torvane_sim::kBuiltInDemoScenario, "built-in demo");
    });
}

const char* TORVANE_SIM_CALL TorvaneSim_LastError(void) {
    return TextCall([](Simulator& s, State& state) {
        state.returned = s.LastError();
        return state.returned.c_str();
    });
}

const char* TORVANE_SIM_CALL TorvaneSim_CallLog(void) {
    return TextCall([](Simulator& s, State& state) {
        state.returned = s.CallLog();
        return state.returned.c_str();
    });
}

void TORVANE_SIM_CALL TorvaneSim_ClearCallLog(void) {
    VendorCall([](Simulator& s, State&) {
        s.ClearCallLog();
        return FT_OK;
    });
}

int TORVANE_SIM_CALL TorvaneSim_OpenHandleCount(void) {
    return static_cast<int>(
        VendorCall([](Simulator& s, State&) { return static_cast<FT_STATUS>(s.OpenHandleCount()); }));
}

}  // extern "C"
