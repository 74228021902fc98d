#pragma once
// The device set the simulated vendor library plays, as read from a JSON
// scenario (format: docs/sim-scenarios.md). Parsing is strict: an unknown
// field, a wrong type or an out-of-range value is a fault, so that a typo in a
// test's scenario fails loudly instead of silently testing something else.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "d2xx/ftd2xx_abi.h"

namespace torvane_sim {

// A one-line description of what is wrong with a scenario, e.g.
// "devices[1].description: longer than 63 bytes".
class ScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The kinds of call a failure can be injected into. FT_ListDevices has three:
// counting the devices, listing one device's serial or description by index,
// and listing its location by index; FT_OpenEx two: by text and by location.
enum class Call : std::size_t {
    ListCount,
    ListByIndex,
    ListLocation,
    OpenEx,
    OpenByLocation,
    Close,
    EeRead,
    GetDriverVersion,
    GetLibraryVersion,
    GetComPortNumber,
    CreateDeviceInfoList,
    GetDeviceInfoDetail,
    GetLatencyTimer,
    SetLatencyTimer,
};
inline constexpr std::size_t kCallKinds = 14;

// An injected status: after `skip` matching calls have gone through, the next
// `times` matching calls (all of them when unset) fail with `status`.
struct FailRule {
    FT_STATUS status = FT_OK;
    std::uint64_t skip = 0;
    std::optional<std::uint64_t> times;
    std::uint64_t seen = 0;  // matching calls so far, counted at run time

    // Counts this call and returns the status to inject, FT_OK to let it through.
    FT_STATUS Next();
};

struct FailRules {
    std::array<std::optional<FailRule>, kCallKinds> rules;

    FT_STATUS Next(Call call);
};

// How a serial number that fills the 16-byte buffer is written, both by the
// by-index listing and by the EEPROM read.
enum class SerialWrite {
    Fill,     // at most 16 bytes; no terminator when the serial has 16 or more characters
    Overrun,  // 16 or more characters: the first 16 and a terminating zero as the 17th byte
};

struct Device {
    std::string serial;          // as listed and as matched by FT_OpenEx
    std::string eepromSerial;    // as FT_EE_Read writes it; defaults to serial
    std::string description;     // at most 63 bytes
    std::string manufacturer;    // at most 31 bytes
    std::string manufacturerId;  // at most 15 bytes
    std::uint32_t location = 0;  // listed by index, matched by FT_OpenEx by location
    std::int32_t comPort = -1;   // -1: the device has no COM port
    std::uint32_t driverVersion = 0x00021204;
    std::uint16_t vendorId = 0x0403;
    std::uint16_t productId = 0x6001;
    std::uint16_t maxPower = 90;
    std::uint16_t pnp = 1;
    std::uint16_t selfPowered = 0;
    std::uint16_t remoteWakeup = 1;
    FT_DEVICE type = FT_DEVICE_232R;  // the chip, as FT_GetDeviceInfoDetail gives it
    std::uint8_t latencyTimer = 16;  // ms; FT_SetLatencyTimer changes it until the next load
    std::optional<SerialWrite> serialWrite;  // overrides the scenario's
    FailRules fail;
};

struct Scenario {
    std::uint32_t libraryVersion = 0x00030115;
    std::optional<std::uint32_t> deviceCount;  // reported count; defaults to devices.size()
    SerialWrite serialWrite = SerialWrite::Fill;
    std::vector<Device> devices;
    FailRules fail;

    std::uint32_t ReportedDeviceCount() const;
    SerialWrite SerialWriteOf(const Device& device) const;
};

// A device's location when the scenario names none: distinct for every index.
inline constexpr std::uint32_t kFirstDefaultLocation = 0x1001;

// Parses a scenario; throws ScenarioError on any fault.
Scenario ParseScenario(std::string_view json);

// The device set used when no scenario is named.
extern const char* const kBuiltInDemoScenario;

// Longest texts the EEPROM holds, without the terminating zero.
inline constexpr std::size_t kMaxDescription = 63;
inline constexpr std::size_t kMaxManufacturer = 31;
inline constexpr std::size_t kMaxManufacturerId = 15;
// Size of the serial number buffer a caller gives the library.
inline constexpr std::size_t kSerialBufferSize = 16;

}  // namespace torvane_sim
