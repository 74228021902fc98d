#pragma once
// What torvane-list --json adds per converter beyond the grid: its latency
// timer, its USB speed, the stable names of its node and the processes that
// hold it. The vendor library gives the latency timer (both platforms) and,
// where the system cannot tell more, the speed and the "opened" flag; on Linux
// sysfs, /dev/serial and /proc give the rest (port_facts_*.cpp).
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "d2xx/D2XXUnit.h"

namespace torvane_list {

// A process that has a port's node open.
struct Holder {
    long pid = 0;
    std::string command;  // its command name (Linux: /proc/<pid>/comm)
};

// What the system tells about a port's node; each field empty where it cannot tell.
struct NodeFacts {
    std::optional<double> usbSpeedMbps;  // 1.5, 12, 480, 5000, ...
    std::optional<std::string> byId;     // the /dev/serial/by-id link to the node
    std::optional<std::string> byPath;   // the /dev/serial/by-path link to the node
    std::optional<bool> inUse;           // false only when every process could be looked at
    std::optional<std::vector<Holder>> heldBy;  // the holders found, by pid; unset when the node is absent
};

// The facts of the node `device` names (the JSON's "device"). nullopt where
// the system cannot say more than the vendor library: Windows, and a Linux
// run over the simulated library (its devices are not this machine's).
std::optional<NodeFacts> FactsOfNode(const std::string& device);

// The environment variables the node's facts read, for --help ("" when none).
std::string NodeFactsEnvironmentHelp();

// The udev rule line that sets the latency timer of one converter's channel
// (matched by the chip's USB serial and the channel's interface number) at
// every plug-in; nullopt where the system has no udev (Windows) and for a
// converter without a serial.
std::optional<std::string> PermanentLatencyRule(const std::string& usbSerial, int interfaceNumber,
                                                int milliseconds);

// While it lives, records each listed row's latency timer, read through the
// refresh's own handle while the row's device is open.
class RowLatencies {
public:
    RowLatencies();
    ~RowLatencies();
    RowLatencies(const RowLatencies&) = delete;
    RowLatencies& operator=(const RowLatencies&) = delete;

    std::optional<std::uint8_t> Of(int row) const;

private:
    std::map<int, std::uint8_t> latencies_;
};

// Adds latency_ms, usb_speed_mbps, by_id, by_path, in_use and held_by to a
// device object whose "device" is already set; `node` is the row's entry of
// the vendor's information list (nullptr when there is none).
void AddPortDetails(nlohmann::ordered_json& object, std::optional<std::uint8_t> latency,
                    const d2xx::DeviceInfoNode* node);

}  // namespace torvane_list
