#pragma once
// Shared test fixtures of the device list: a scripted version query, the
// in-memory view and registry installed for one test, a recording message
// sink, and helpers that lay out the registry keys the survey reads.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "devlist/memory_registry.h"
#include "devlist/memory_view.h"
#include "devlist/registry.h"
#include "devlist/system.h"
#include "devlist/unit2.h"
#include "devlist/view.h"
#include "tests/common/recording_sink.h"
#include "tests/devlist/fault_registry.h"

namespace devlist {

class FakeVersionQuery final : public VersionQuery {
public:
    FakeVersionQuery(bool succeeds, std::uint32_t platform, std::uint32_t major, std::uint32_t minor)
        : succeeds_(succeeds), platform_(platform), major_(major), minor_(minor) {}

    bool Query(OsVersionInfo& info) override {
        ++calls;
        sizeSeen = info.size;
        info.platformId = platform_;
        info.majorVersion = major_;
        info.minorVersion = minor_;
        return succeeds_;
    }

    int calls = 0;
    std::uint32_t sizeSeen = 0;

private:
    bool succeeds_;
    std::uint32_t platform_, major_, minor_;
};

class ScopedVersionQuery {
public:
    explicit ScopedVersionQuery(VersionQuery& query) { InstallVersionQuery(&query); }
    ~ScopedVersionQuery() { InstallVersionQuery(nullptr); }
    ScopedVersionQuery(const ScopedVersionQuery&) = delete;
    ScopedVersionQuery& operator=(const ScopedVersionQuery&) = delete;
};

class ScopedRegistry {
public:
    explicit ScopedRegistry(Registry& registry) { InstallRegistry(&registry); }
    ~ScopedRegistry() { InstallRegistry(nullptr); }
    ScopedRegistry(const ScopedRegistry&) = delete;
    ScopedRegistry& operator=(const ScopedRegistry&) = delete;
};

// A grid and label installed as the device list's view for one test.
class TestView {
public:
    explicit TestView(MemoryGrid::ShrinkPolicy policy = MemoryGrid::ShrinkPolicy::DropCells) : grid(policy) {
        InstallDeviceListView({&grid, &label});
    }
    ~TestView() { InstallDeviceListView({}); }
    TestView(const TestView&) = delete;
    TestView& operator=(const TestView&) = delete;

    MemoryGrid grid;
    MemoryLabel label;
};

using torvane_test::RecordingSink;
using devlist_test::FaultRegistry;

// Every record of the table back to its start state.
inline void ClearUsbDevices() { USBDevices.fill(USBDEVICE{}); }

// The keys one FTDI port leaves under ENUM\FTDIBUS.
inline void AddFtdiPort(MemoryRegistry& registry, const std::string& subKey, const std::string& portName,
                        const std::string& friendlyName, const std::string& classGuid = "{4D36E978-E325-11CE-BFC1-08002BE10318}") {
    const std::string path = "ENUM\\FTDIBUS\\" + subKey + "\\0000";
    registry.SetString(path, "ClassGUID", classGuid);
    registry.SetString(path, "FriendlyName", friendlyName);
    registry.SetString(path, "PortName", portName);
}

inline const std::string kSerialCommPath = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Lists `port` under SERIALCOMM as the value "COM<n>".
inline void ListSerialPort(MemoryRegistry& registry, int n, const std::string& port) {
    registry.SetString(kSerialCommPath, "COM" + std::to_string(n), port);
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace devlist
