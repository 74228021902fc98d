// Fuzzes the device list refresh: the input becomes a device table for the
// simulated vendor library (up to 300 devices, serials that fill their buffer
// with or without a terminator, empty and repeated serials, locations, 8-bit
// texts, injected statuses on every call), then one
// refresh runs into an in-memory grid. It must never crash, must never start a
// refresh inside itself, and must leave min(count, 255) + 1 rows (2 at least)
// whenever the count succeeded, with every device row either empty or filled.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "d2xx/D2XXUnit.h"
#include "d2xx/sim/sim_control.h"
#include "devlist/memory_view.h"
#include "devlist/unit2.h"
#include "devlist/view.h"
#include "torvane/cp1250.h"
#include "torvane/messages.h"

namespace {

[[noreturn]] void Violation(const std::string& what) {
    std::fprintf(stderr, "refresh property violated: %s\n", what.c_str());
    std::abort();
}

// Status dialogs never block here; each one also tries what the window's
// activation would, a refresh inside the running one, which must be declined.
class DeclineCheckingSink final : public torvane::MessageSink {
public:
    void ShowInformation(const std::string&) override {}
    void ShowError(const std::string&, const std::string&) override {
        if (devlist::RefreshDeviceList()) Violation("a refresh started inside another");
    }
    void ShowFatal(const std::string&, const std::string&) override {}
};

// The scenario is written as JSON text directly: a JSON library compiled with
// the fuzzer's instrumentation would cost most of each run.
std::string Quoted(const std::string& text) {
    std::string json = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            json += escape;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

class JsonObject {
public:
    JsonObject& Field(const std::string& name, const std::string& jsonValue) {
        text_ += (text_.empty() ? "" : ",") + Quoted(name) + ":" + jsonValue;
        return *this;
    }
    bool Empty() const { return text_.empty(); }
    std::string Text() const { return "{" + text_ + "}"; }

private:
    std::string text_;
};

// A character as the scenario's UTF-8: mostly 7-bit, often any Windows-1250
// character, so that the library hands the refresh 8-bit bytes (0x80 and up)
// for its Windows-1250 decoding.
std::string Character(FuzzedDataProvider& in) {
    const int byte = in.ConsumeIntegralInRange(0, 3) == 0 ? in.ConsumeIntegralInRange(0x80, 0xFF)
                                                          : in.ConsumeIntegralInRange(1, 0x7F);
    return torvane::Cp1250ToUtf8(std::string(1, static_cast<char>(byte)));
}

// Texts the scenario accepts: no zero byte, at most `most` bytes; now and then
// one of the names the refresh decorates.
std::string Text(FuzzedDataProvider& in, std::size_t most) {
    static const char* const kNames[] = {"COM_A", "COM_B", "COM_C", "COM_D", "com_a", "COM_A "};
    if (in.ConsumeIntegralInRange(0, 7) == 0) return kNames[in.ConsumeIntegralInRange<std::size_t>(0, 5)];
    const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(0, most);
    std::string text;
    while (text.size() < length) {
        const std::string character = Character(in);
        if (text.size() + character.size() > most) break;
        text += character;
    }
    return text;
}

// Serials unique enough that an open finds its own device most of the time;
// sometimes empty or one that repeats (channels of chips without a serial),
// which the refresh opens by location. 16 or more characters fill the buffer.
std::string Serial(FuzzedDataProvider& in, int index) {
    switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0: return "";
        case 1: return std::string(1, static_cast<char>('A' + in.ConsumeIntegralInRange(0, 3)));
        default: return "S" + std::to_string(index) + Text(in, 20);
    }
}

FT_STATUS Status(FuzzedDataProvider& in) {
    // Mostly the named statuses, sometimes anything.
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<FT_STATUS>(1, 18) : in.ConsumeIntegral<FT_STATUS>();
}

std::string FailRules(FuzzedDataProvider& in, std::initializer_list<const char*> calls) {
    JsonObject rules;
    for (const char* call : calls) {
        if (in.ConsumeIntegralInRange(0, 5) != 0) continue;
        JsonObject rule;
        rule.Field("status", std::to_string(Status(in)));
        if (in.ConsumeBool()) rule.Field("skip", std::to_string(in.ConsumeIntegralInRange(0, 3)));
        if (in.ConsumeBool()) rule.Field("times", std::to_string(in.ConsumeIntegralInRange(0, 3)));
        rules.Field(call, rule.Text());
    }
    return rules.Empty() ? std::string() : rules.Text();
}

std::string SerialWrite(FuzzedDataProvider& in) { return in.ConsumeBool() ? "\"fill\"" : "\"overrun\""; }

std::string Device(FuzzedDataProvider& in, int index) {
    JsonObject device;
    device.Field("serial", Quoted(Serial(in, index)));
    if (in.ConsumeIntegralInRange(0, 3) == 0)
        device.Field("location", std::to_string(in.ConsumeIntegralInRange<std::uint32_t>(0x1000, 0x1010)));
    device.Field("description", Quoted(Text(in, 63)));
    if (in.ConsumeBool()) device.Field("com_port", std::to_string(in.ConsumeIntegral<std::int32_t>()));
    if (in.ConsumeBool()) device.Field("driver_version", std::to_string(in.ConsumeIntegral<std::uint32_t>()));
    if (in.ConsumeIntegralInRange(0, 3) == 0) device.Field("serial_write", SerialWrite(in));
    const std::string fail = FailRules(in, {"FT_ListDevices.index", "FT_ListDevices.location", "FT_OpenEx",
                                            "FT_OpenEx.location", "FT_Close", "FT_EE_Read",
                                            "FT_GetDriverVersion", "FT_GetComPortNumber"});
    if (!fail.empty()) device.Field("fail", fail);
    return device.Text();
}

std::string Scenario(FuzzedDataProvider& in) {
    JsonObject scenario;
    scenario.Field("library_version", std::to_string(in.ConsumeIntegral<std::uint32_t>()));
    if (in.ConsumeBool()) scenario.Field("serial_write", SerialWrite(in));
    const int devices = in.ConsumeIntegralInRange(0, 300);
    if (in.ConsumeIntegralInRange(0, 3) == 0) {
        const std::uint32_t count = in.ConsumeBool() ? in.ConsumeIntegral<std::uint32_t>()
                                                     : in.ConsumeIntegralInRange<std::uint32_t>(0, 300);
        scenario.Field("device_count", std::to_string(count));
    }
    std::string list = "[";
    for (int i = 0; i < devices; ++i) list += (i ? "," : "") + Device(in, i);
    scenario.Field("devices", list + "]");
    const std::string fail =
        FailRules(in, {"FT_ListDevices.count", "FT_ListDevices.index", "FT_ListDevices.location", "FT_OpenEx",
                       "FT_OpenEx.location", "FT_Close", "FT_EE_Read", "FT_GetDriverVersion",
                       "FT_GetLibraryVersion", "FT_GetComPortNumber"});
    if (!fail.empty()) scenario.Field("fail", fail);
    return scenario.Text();
}

// The count the library reported, or -1 when the count call failed.
long long ReportedCount() {
    std::istringstream log(TorvaneSim_CallLog());
    const std::string counted = "FT_ListDevices(0x80000000) -> 0 count=";
    for (std::string line; std::getline(log, line);) {
        if (line.rfind(counted, 0) == 0) return std::stoll(line.substr(counted.size()));
        if (line.rfind("FT_ListDevices(0x80000000) -> ", 0) == 0) return -1;
    }
    Violation("the refresh did not count the devices");
}

void CheckRows(const devlist::MemoryGrid& grid) {
    const std::vector<std::string> header = {"PORT", "NAZWA", "WERSJA STEROWNIKA", "S/N"};
    if (grid.Row(0) != header) Violation("header row");
    for (int row = 1; row < grid.RowCount(); ++row) {
        const std::vector<std::string> cells = grid.Row(row);
        const bool empty = std::all_of(cells.begin(), cells.end(), [](const std::string& c) { return c.empty(); });
        const bool filled = !cells[0].empty() && cells[1].size() >= 25 && !cells[2].empty();
        if (!empty && !filled) Violation("row " + std::to_string(row) + " is half written");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string scenario = Scenario(in);
    if (TorvaneSim_LoadScenarioText(scenario.c_str()) != 0)
        Violation(std::string("scenario refused: ") + TorvaneSim_LastError());
    d2xx::DeviceHandle = nullptr;

    static DeclineCheckingSink sink;
    torvane::InstallMessageSink(&sink);
    devlist::MemoryGrid grid;
    devlist::MemoryLabel label;
    devlist::InstallDeviceListView({&grid, &label});

    if (!devlist::RefreshDeviceList()) Violation("the refresh declined to run");
    if (devlist::IsRefreshRunning()) Violation("the guard stayed set");

    const long long count = ReportedCount();
    if (count >= 0) {
        const long long expected = std::max(2LL, std::min(count, 255LL) + 1);
        if (grid.RowCount() != expected)
            Violation("count " + std::to_string(count) + " left " + std::to_string(grid.RowCount()) + " rows");
    } else if (grid.RowCount() != 2) {
        Violation("a failed count left " + std::to_string(grid.RowCount()) + " rows");
    }
    CheckRows(grid);

    devlist::InstallDeviceListView({});
    torvane::InstallMessageSink(nullptr);
    return 0;
}
