// torvane-list's latency timer on Windows, in-process over the simulated
// FTD2XX.DLL: --json shows each converter's timer (read through the
// refresh's own handle), its speed from the high-speed flag and in_use from
// the "opened" flag; --set-latency changes what the next listing shows.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "app/console/lister.h"
#include "app/console/set_latency.h"
#include "d2xx/D2XXUnit.h"
#include "d2xx/sim/sim_control.h"

namespace {

using nlohmann::json;

struct StringOutput final : torvane_list::Output {
    int Write(std::string_view written) override {
        text.append(written);
        return 0;
    }
    std::string text;
};

// Per device of one listing: port, latency, speed, in_use; the other new fields are null on Windows.
json Listed() {
    StringOutput out;
    std::ostringstream err;
    EXPECT_EQ(torvane_list::ListDevices(torvane_list::Format::Json, out, err), torvane_list::kExitClean) << err.str();
    const json document = json::parse(out.text);
    json shown = json::array();
    for (const json& device : document["devices"]) {
        for (const char* absent : {"by_id", "by_path", "held_by"}) EXPECT_TRUE(device[absent].is_null()) << absent;
        shown.push_back({device["port"], device["latency_ms"], device["usb_speed_mbps"], device["in_use"]});
    }
    return shown;
}

TEST(ListerLatency, JsonShowsTheTimerAndSetLatencyChangesTheNextListing) {
    ASSERT_EQ(TorvaneSim_LoadScenarioText(R"({"devices": [
        {"serial": "FT4XK2A1", "com_port": 3, "type": 9},
        {"serial": "FT7Q0B19", "com_port": 36, "type": 8, "latency_timer": 2}]})"),
              0)
        << TorvaneSim_LastError();
    d2xx::DeviceHandle = nullptr;
    EXPECT_EQ(Listed(), json::parse(R"([["COM3", 16, 12, false], ["COM36", 2, 480, false]])"));

    StringOutput out;
    std::ostringstream err;
    EXPECT_EQ(torvane_list::SetLatency(1, "\\\\.\\COM36", out, err), torvane_list::kExitClean) << err.str();
    EXPECT_EQ(out.text, "COM36: latency timer set to 1 ms, in effect until the converter is plugged in again\n");
    EXPECT_EQ(Listed(), json::parse(R"([["COM3", 16, 12, false], ["COM36", 1, 480, false]])"));
    EXPECT_EQ(TorvaneSim_OpenHandleCount(), 0) << "the set closes what it opened, and so does the listing";
}

}  // namespace
