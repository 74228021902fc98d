#include "d2xx/sim/scenario.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>

namespace torvane_sim {
namespace {

using nlohmann::json;

[[noreturn]] void Fault(const std::string& where, const std::string& what) {
    throw ScenarioError(where + ": " + what);
}

void RequireObject(const json& value, const std::string& where) {
    if (!value.is_object()) Fault(where, "expected an object");
}

void RejectUnknownFields(const json& object, const std::string& where,
                         std::initializer_list<std::string_view> known) {
    for (const auto& item : object.items()) {
        if (std::find(known.begin(), known.end(), item.key()) == known.end())
            Fault(where, "unknown field \"" + item.key() + "\"");
    }
}

std::int64_t IntegerIn(const json& value, const std::string& where, std::int64_t low,
                       std::int64_t high) {
    const bool integral = value.is_number_integer() || value.is_number_unsigned();
    if (!integral) Fault(where, "expected an integer");
    if (value.is_number_unsigned() && value.get<std::uint64_t>() > static_cast<std::uint64_t>(high))
        Fault(where, "out of range " + std::to_string(low) + ".." + std::to_string(high));
    const std::int64_t number = value.get<std::int64_t>();
    if (number < low || number > high)
        Fault(where, "out of range " + std::to_string(low) + ".." + std::to_string(high));
    return number;
}

// A 32-bit value, either as a JSON number or as "0x" followed by 1 to 8 hex digits.
std::uint32_t Word(const json& value, const std::string& where) {
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        const bool hexForm = text.size() > 2 && text.size() <= 10 && text[0] == '0' &&
                             (text[1] == 'x' || text[1] == 'X') &&
                             std::all_of(text.begin() + 2, text.end(), [](char c) {
                                 return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                             });
        if (!hexForm) Fault(where, "expected a number or \"0x\" and 1 to 8 hex digits");
        return static_cast<std::uint32_t>(std::stoul(text.substr(2), nullptr, 16));
    }
    return static_cast<std::uint32_t>(
        IntegerIn(value, where, 0, std::numeric_limits<std::uint32_t>::max()));
}

std::uint16_t Half(const json& value, const std::string& where) {
    return static_cast<std::uint16_t>(
        IntegerIn(value, where, 0, std::numeric_limits<std::uint16_t>::max()));
}

std::string Text(const json& value, const std::string& where, std::size_t maxBytes) {
    if (!value.is_string()) Fault(where, "expected a string");
    std::string text = value.get<std::string>();
    if (text.find('\0') != std::string::npos) Fault(where, "contains a zero byte");
    if (text.size() > maxBytes) Fault(where, "longer than " + std::to_string(maxBytes) + " bytes");
    return text;
}

SerialWrite SerialWriteMode(const json& value, const std::string& where) {
    if (value == "fill") return SerialWrite::Fill;
    if (value == "overrun") return SerialWrite::Overrun;
    Fault(where, "expected \"fill\" or \"overrun\"");
}

struct CallName {
    std::string_view name;
    Call call;
    bool perDevice;
};

constexpr CallName kCallNames[] = {
    {"FT_ListDevices.count", Call::ListCount, false},
    {"FT_ListDevices.index", Call::ListByIndex, true},
    {"FT_ListDevices.location", Call::ListLocation, true},
    {"FT_OpenEx", Call::OpenEx, true},
    {"FT_OpenEx.location", Call::OpenByLocation, true},
    {"FT_Close", Call::Close, true},
    {"FT_EE_Read", Call::EeRead, true},
    {"FT_GetDriverVersion", Call::GetDriverVersion, true},
    {"FT_GetLibraryVersion", Call::GetLibraryVersion, false},
    {"FT_GetComPortNumber", Call::GetComPortNumber, true},
    {"FT_CreateDeviceInfoList", Call::CreateDeviceInfoList, false},
    {"FT_GetDeviceInfoDetail", Call::GetDeviceInfoDetail, true},
    {"FT_GetLatencyTimer", Call::GetLatencyTimer, true},
    {"FT_SetLatencyTimer", Call::SetLatencyTimer, true},
};
static_assert(std::size(kCallNames) == kCallKinds, "every kind of call has its key");

FailRule ParseFailRule(const json& value, const std::string& where) {
    FailRule rule;
    if (!value.is_object()) {
        rule.status = Word(value, where);
        return rule;
    }
    RejectUnknownFields(value, where, {"status", "skip", "times"});
    if (!value.contains("status")) Fault(where, "missing field \"status\"");
    rule.status = Word(value["status"], where + ".status");
    const std::int64_t most = std::numeric_limits<std::int64_t>::max();
    if (value.contains("skip"))
        rule.skip = static_cast<std::uint64_t>(IntegerIn(value["skip"], where + ".skip", 0, most));
    if (value.contains("times"))
        rule.times = static_cast<std::uint64_t>(IntegerIn(value["times"], where + ".times", 0, most));
    return rule;
}

FailRules ParseFailRules(const json& value, const std::string& where, bool forDevice) {
    RequireObject(value, where);
    FailRules rules;
    for (const auto& item : value.items()) {
        const auto* known = std::find_if(std::begin(kCallNames), std::end(kCallNames),
                                         [&](const CallName& c) { return c.name == item.key(); });
        const std::string itemWhere = where + "." + item.key();
        if (known == std::end(kCallNames)) Fault(itemWhere, "unknown function");
        if (forDevice && !known->perDevice) Fault(itemWhere, "cannot fail for one device only");
        rules.rules[static_cast<std::size_t>(known->call)] = ParseFailRule(item.value(), itemWhere);
    }
    return rules;
}

Device ParseDevice(const json& value, const std::string& where, std::size_t index) {
    RequireObject(value, where);
    RejectUnknownFields(value, where,
                        {"serial", "eeprom_serial", "description", "manufacturer",
                         "manufacturer_id", "location", "com_port", "driver_version", "vendor_id",
                         "product_id", "max_power", "pnp", "self_powered", "remote_wakeup", "type",
                         "latency_timer", "serial_write", "fail"});
    if (!value.contains("serial")) Fault(where, "missing field \"serial\"");
    Device device;
    const std::size_t anyLength = std::numeric_limits<std::size_t>::max();
    device.serial = Text(value["serial"], where + ".serial", anyLength);
    device.eepromSerial = value.contains("eeprom_serial")
                              ? Text(value["eeprom_serial"], where + ".eeprom_serial", anyLength)
                              : device.serial;
    device.manufacturer = "FTDI";
    device.manufacturerId = "FT";
    if (value.contains("description"))
        device.description = Text(value["description"], where + ".description", kMaxDescription);
    if (value.contains("manufacturer"))
        device.manufacturer = Text(value["manufacturer"], where + ".manufacturer", kMaxManufacturer);
    if (value.contains("manufacturer_id"))
        device.manufacturerId =
            Text(value["manufacturer_id"], where + ".manufacturer_id", kMaxManufacturerId);
    device.location = value.contains("location")
                          ? Word(value["location"], where + ".location")
                          : kFirstDefaultLocation + static_cast<std::uint32_t>(index);
    if (value.contains("com_port"))
        device.comPort = static_cast<std::int32_t>(
            IntegerIn(value["com_port"], where + ".com_port",
                      std::numeric_limits<std::int32_t>::min(),
                      std::numeric_limits<std::int32_t>::max()));
    if (value.contains("driver_version"))
        device.driverVersion = Word(value["driver_version"], where + ".driver_version");
    struct HalfField {
        const char* name;
        std::uint16_t Device::*field;
    };
    for (const HalfField& f : {HalfField{"vendor_id", &Device::vendorId},
                               HalfField{"product_id", &Device::productId},
                               HalfField{"max_power", &Device::maxPower},
                               HalfField{"pnp", &Device::pnp},
                               HalfField{"self_powered", &Device::selfPowered},
                               HalfField{"remote_wakeup", &Device::remoteWakeup}}) {
        if (value.contains(f.name)) device.*f.field = Half(value[f.name], where + "." + f.name);
    }
    if (value.contains("type")) device.type = Word(value["type"], where + ".type");
    if (value.contains("latency_timer"))
        device.latencyTimer =
            static_cast<std::uint8_t>(IntegerIn(value["latency_timer"], where + ".latency_timer", 0, 255));
    if (value.contains("serial_write"))
        device.serialWrite = SerialWriteMode(value["serial_write"], where + ".serial_write");
    if (value.contains("fail")) device.fail = ParseFailRules(value["fail"], where + ".fail", true);
    return device;
}

Scenario ParseTop(const json& top) {
    RequireObject(top, "scenario");
    RejectUnknownFields(top, "scenario",
                        {"library_version", "device_count", "serial_write", "devices", "fail"});
    Scenario scenario;
    if (top.contains("library_version"))
        scenario.libraryVersion = Word(top["library_version"], "library_version");
    if (top.contains("device_count")) scenario.deviceCount = Word(top["device_count"], "device_count");
    if (top.contains("serial_write"))
        scenario.serialWrite = SerialWriteMode(top["serial_write"], "serial_write");
    if (top.contains("devices")) {
        const json& devices = top["devices"];
        if (!devices.is_array()) Fault("devices", "expected an array");
        for (std::size_t i = 0; i < devices.size(); ++i)
            scenario.devices.push_back(ParseDevice(devices[i], "devices[" + std::to_string(i) + "]", i));
    }
    if (top.contains("fail")) scenario.fail = ParseFailRules(top["fail"], "fail", false);
    return scenario;
}

// nlohmann's messages are one line already; make sure of it, since the fault
// is reported as a single line on stderr.
std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

}  // namespace

FT_STATUS FailRule::Next() {
    const std::uint64_t index = seen++;
    if (index < skip) return FT_OK;
    if (times && index - skip >= *times) return FT_OK;
    return status;
}

FT_STATUS FailRules::Next(Call call) {
    auto& rule = rules[static_cast<std::size_t>(call)];
    return rule ? rule->Next() : FT_OK;
}

std::uint32_t Scenario::ReportedDeviceCount() const {
    return deviceCount ? *deviceCount : static_cast<std::uint32_t>(devices.size());
}

SerialWrite Scenario::SerialWriteOf(const Device& device) const {
    return device.serialWrite ? *device.serialWrite : serialWrite;
}

Scenario ParseScenario(std::string_view text) {
    // The parser takes a zero byte for the end of its input and would ignore
    // whatever follows; JSON text never contains one.
    if (const auto zero = text.find('\0'); zero != std::string_view::npos)
        throw ScenarioError("a zero byte at offset " + std::to_string(zero));
    json top;
    try {
        top = json::parse(text.begin(), text.end());
    } catch (const json::exception& e) {
        throw ScenarioError(OneLine(e.what()));
    }
    try {
        return ParseTop(top);
    } catch (const json::exception& e) {
        throw ScenarioError(OneLine(e.what()));
    }
}

}  // namespace torvane_sim
