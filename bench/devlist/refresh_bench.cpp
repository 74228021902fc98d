// RefreshDeviceList end to end (D2XX layer, simulated vendor library, the
// in-memory grid) for 1, 16 and 255 devices, and what the three by-name
// look-ups cost: each loads the library, finds the function and releases the
// library again, on every call.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "d2xx/D2XXUnit.h"
#include "d2xx/library_loader.h"
#include "d2xx/sim/sim_control.h"
#include "devlist/memory_view.h"
#include "devlist/unit2.h"
#include "devlist/view.h"
#include "torvane/messages.h"

namespace {

class SilentSink final : public torvane::MessageSink {
public:
    void ShowInformation(const std::string&) override {}
    void ShowError(const std::string&, const std::string&) override {}
    void ShowFatal(const std::string&, const std::string&) override {}
};

std::string Devices(int count) {
    std::string json = R"({"library_version": "0x00030115", "devices": [)";
    for (int i = 0; i < count; ++i) {
        if (i > 0) json += ",";
        char device[160];
        std::snprintf(device, sizeof device,
                      R"({"serial": "FT%06d", "description": "%s", "com_port": %d, "driver_version": "0x00021204"})",
                      i, i % 4 == 1 ? "COM_B" : "FT232R USB UART", i + 1);
        json += device;
    }
    return json + "]}";
}

void Load(benchmark::State& state, const std::string& scenario) {
    if (TorvaneSim_LoadScenarioText(scenario.c_str()) != 0) state.SkipWithError(TorvaneSim_LastError());
}

void BM_RefreshDeviceList(benchmark::State& state) {
    const int devices = static_cast<int>(state.range(0));
    Load(state, Devices(devices));
    SilentSink sink;
    torvane::InstallMessageSink(&sink);
    devlist::MemoryGrid grid;
    devlist::MemoryLabel label;
    devlist::InstallDeviceListView({&grid, &label});
    for (auto _ : state) {
        benchmark::DoNotOptimize(devlist::RefreshDeviceList());
        // The simulator logs every call; keep its log from growing over the run.
        TorvaneSim_ClearCallLog();
    }
    if (grid.RowCount() != devices + 1) state.SkipWithError("the refresh did not list every device");
    state.SetItemsProcessed(state.iterations() * devices);
    state.counters["per_device"] =
        benchmark::Counter(static_cast<double>(devices), benchmark::Counter::kIsIterationInvariantRate |
                                                             benchmark::Counter::kInvert);
    devlist::InstallDeviceListView({});
    torvane::InstallMessageSink(nullptr);
}
BENCHMARK(BM_RefreshDeviceList)->Arg(1)->Arg(16)->Arg(255)->Unit(benchmark::kMicrosecond);

// One open device for the per-device queries.
void OpenOneDevice(benchmark::State& state) {
    Load(state, Devices(1));
    if (d2xx::GetFTDeviceSerialByIndex(0) != FT_OK ||
        d2xx::Open_USB_Device_By_Serial_Number(d2xx::DeviceSerialNumber) != FT_OK)
        state.SkipWithError("the simulated device did not open");
}

// The vendor function called directly, bound when the program loaded.
void BM_DriverVersionBoundCall(benchmark::State& state) {
    OpenOneDevice(state);
    std::uint32_t version = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FT_GetDriverVersion(d2xx::DeviceHandle, &version));
        TorvaneSim_ClearCallLog();
    }
}
BENCHMARK(BM_DriverVersionBoundCall);

// The same query through the layer: load, look up, call, release.
void BM_DriverVersionByName(benchmark::State& state) {
    OpenOneDevice(state);
    std::uint32_t version = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d2xx::GetFTDriverVersion(version));
        TorvaneSim_ClearCallLog();
    }
}
BENCHMARK(BM_DriverVersionByName);

void BM_ComPortNumberByName(benchmark::State& state) {
    OpenOneDevice(state);
    std::int32_t port = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d2xx::GetFTComPortNumber(port));
        TorvaneSim_ClearCallLog();
    }
}
BENCHMARK(BM_ComPortNumberByName);

void BM_LibraryVersionByName(benchmark::State& state) {
    Load(state, Devices(0));
    std::uint32_t version = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d2xx::GetFTLibraryVersion(version));
        TorvaneSim_ClearCallLog();
    }
}
BENCHMARK(BM_LibraryVersionByName);

// The look-up alone: load the library by name, find one function, release it.
void BM_LoadFindRelease(benchmark::State& state) {
    d2xx::LibraryLoader& loader = d2xx::ActiveLibraryLoader();
    for (auto _ : state) {
        d2xx::LibraryLoader::Library library = loader.Load(d2xx::VendorLibraryFileName());
        benchmark::DoNotOptimize(loader.Find(library, "FT_GetDriverVersion"));
        loader.Release(library);
    }
}
BENCHMARK(BM_LoadFindRelease);

}  // namespace

BENCHMARK_MAIN();
