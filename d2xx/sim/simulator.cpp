#include "d2xx/sim/simulator.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>

namespace torvane_sim {
namespace {

std::string Flags(std::uint32_t flags) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(flags));
    return text;
}

std::string HandleText(FT_HANDLE handle) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)));
    return text;
}

// Versions and locations: "0x" and eight upper-case hexadecimal digits.
std::string Word(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string Quoted(const char* bytes, std::size_t size) {
    std::string text = "\"";
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '"' || byte == '\\') {
            text += '\\';
            text += static_cast<char>(byte);
        } else if (byte < 0x20 || byte > 0x7E) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            text += escape;
        } else {
            text += static_cast<char>(byte);
        }
    }
    return text + "\"";
}

std::string Quoted(const std::string& text) { return Quoted(text.data(), text.size()); }

// The bytes a caller will see as a text: up to the first zero written, or all.
std::string QuotedWritten(const char* buffer, std::size_t written) {
    const char* end = std::find(buffer, buffer + written, '\0');
    return Quoted(buffer, static_cast<std::size_t>(end - buffer));
}

// Copies a text and its terminating zero.
void WriteText(const std::string& text, char* buffer) {
    std::memcpy(buffer, text.c_str(), text.size() + 1);
}

constexpr std::uint32_t kListSerialByIndex = FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER;
constexpr std::uint32_t kListDescriptionByIndex = FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION;
constexpr std::uint32_t kListLocationByIndex = FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION;

using d2xx_abi::ArgumentValue;

// The chips that enumerate at USB high speed.
bool IsHighSpeedType(FT_DEVICE type) {
    return type == FT_DEVICE_2232H || type == FT_DEVICE_4232H || type == FT_DEVICE_232H ||
           (type >= FT_DEVICE_2233HP && type <= FT_DEVICE_4232HA);
}

}  // namespace

// One line of the call log, written when the call's status is known.
class Simulator::LogLine {
public:
    explicit LogLine(const char* function) : text_(function) { text_ += '('; }

    void Arg(const std::string& value) {
        if (args_++ > 0) text_ += ',';
        text_ += value;
    }
    void Output(const std::string& name, const std::string& value) {
        outputs_ += ' ' + name + '=' + value;
    }
    FT_STATUS Finish(std::string& log, FT_STATUS status) {
        text_ += ") -> " + std::to_string(status);
        if (status == FT_OK) text_ += outputs_;
        log += text_ + '\n';
        return status;
    }

private:
    std::string text_;
    std::string outputs_;
    int args_ = 0;
};

void Simulator::Load(Scenario scenario) {
    scenario_ = std::move(scenario);
    fault_.clear();
    log_.clear();
    handles_.clear();
    nextHandle_ = 1;
}

void Simulator::Fail(std::string fault) {
    // The text first: should it fail to be made, the scenario in force stays.
    std::string text = fault.empty() ? std::string("unknown fault") : std::move(fault);
    Load(Scenario{});
    fault_ = std::move(text);
}

Device* Simulator::DeviceOf(FT_HANDLE handle) {
    const auto found = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == handles_.end() ? nullptr : &scenario_.devices[found->second];
}

std::size_t Simulator::WriteSerial(const Device& device, const std::string& serial,
                                   char* buffer) const {
    if (serial.size() < kSerialBufferSize) {
        WriteText(serial, buffer);
        return serial.size() + 1;
    }
    std::memcpy(buffer, serial.data(), kSerialBufferSize);
    if (scenario_.SerialWriteOf(device) == SerialWrite::Fill) return kSerialBufferSize;
    buffer[kSerialBufferSize] = '\0';
    return kSerialBufferSize + 1;
}

FT_STATUS Simulator::ListDevices(void* arg1, void* arg2, std::uint32_t flags) {
    LogLine line("FT_ListDevices");
    if (flags == FT_LIST_NUMBER_ONLY) {
        line.Arg(Flags(flags));
        return line.Finish(log_, ListCount(static_cast<std::uint32_t*>(arg1), Call::ListCount, line));
    }
    if (flags == kListSerialByIndex || flags == kListDescriptionByIndex || flags == kListLocationByIndex) {
        // By index the first argument is the index itself, not a pointer.
        const std::uint32_t index = ArgumentValue(arg1);
        line.Arg(std::to_string(index));
        line.Arg(Flags(flags));
        return line.Finish(log_, ListByIndex(index, arg2, flags, line));
    }
    line.Arg(Flags(flags));
    return line.Finish(log_, Broken() ? FT_OTHER_ERROR : FT_INVALID_PARAMETER);
}

FT_STATUS Simulator::Refusal(Call call) {
    if (Broken()) return FT_OTHER_ERROR;
    return scenario_.fail.Next(call);
}

template <typename Body>
FT_STATUS Simulator::AtIndex(Call call, std::uint32_t index, bool valid, Body body) {
    if (const FT_STATUS refused = Refusal(call)) return refused;
    if (!valid) return FT_INVALID_PARAMETER;
    if (index >= scenario_.ReportedDeviceCount() || index >= scenario_.devices.size()) return FT_DEVICE_NOT_FOUND;
    Device& device = scenario_.devices[index];
    if (const FT_STATUS injected = device.fail.Next(call)) return injected;
    return body(device);
}

template <typename Body>
FT_STATUS Simulator::OnOpenDevice(const char* function, Call call, FT_HANDLE handle, bool valid, Body body) {
    LogLine line(function);
    line.Arg(HandleText(handle));
    const auto run = [&]() -> FT_STATUS {
        if (const FT_STATUS refused = Refusal(call)) return refused;
        Device* device = DeviceOf(handle);
        if (device == nullptr) return FT_INVALID_HANDLE;
        if (!valid) return FT_INVALID_PARAMETER;
        if (const FT_STATUS injected = device->fail.Next(call)) return injected;
        return body(*device, line);
    };
    return line.Finish(log_, run());
}

FT_HANDLE Simulator::HolderOf(std::size_t index) const {
    const auto holder =
        std::find_if(handles_.begin(), handles_.end(), [&](const auto& h) { return h.second == index; });
    return holder == handles_.end() ? nullptr : reinterpret_cast<FT_HANDLE>(holder->first);
}

FT_STATUS Simulator::ListCount(std::uint32_t* count, Call call, LogLine& line) {
    if (const FT_STATUS refused = Refusal(call)) return refused;
    if (count == nullptr) return FT_INVALID_PARAMETER;
    *count = scenario_.ReportedDeviceCount();
    line.Output("count", std::to_string(*count));
    return FT_OK;
}

FT_STATUS Simulator::ListByIndex(std::uint32_t index, void* output, std::uint32_t flags, LogLine& line) {
    const Call call = flags == kListLocationByIndex ? Call::ListLocation : Call::ListByIndex;
    return AtIndex(call, index, output != nullptr, [&](const Device& device) {
        char* const buffer = static_cast<char*>(output);
        if (flags == kListLocationByIndex) {
            *static_cast<std::uint32_t*>(output) = device.location;
            line.Output("location", Word(device.location));
        } else if (flags == kListDescriptionByIndex) {
            WriteText(device.description, buffer);
            line.Output("description", Quoted(device.description));
        } else {
            const std::size_t written = WriteSerial(device, device.serial, buffer);
            line.Output("serial", QuotedWritten(buffer, written));
        }
        return FT_OK;
    });
}

FT_STATUS Simulator::OpenEx(void* arg1, std::uint32_t flags, FT_HANDLE* handle) {
    LogLine line("FT_OpenEx");
    const bool bySerial = flags == FT_OPEN_BY_SERIAL_NUMBER;
    const bool byLocation = flags == FT_OPEN_BY_LOCATION;
    if (!bySerial && !byLocation && flags != FT_OPEN_BY_DESCRIPTION) {
        line.Arg(Flags(flags));
        return line.Finish(log_, Broken() ? FT_OTHER_ERROR : FT_INVALID_PARAMETER);
    }
    // By location the first argument is the location itself, not a pointer.
    const char* wanted = byLocation ? nullptr : static_cast<const char*>(arg1);
    if (byLocation)
        line.Arg(Word(ArgumentValue(arg1)));
    else
        line.Arg(wanted ? Quoted(wanted, std::strlen(wanted)) : std::string("NULL"));
    line.Arg(Flags(flags));
    const Call call = byLocation ? Call::OpenByLocation : Call::OpenEx;
    auto open = [&]() -> FT_STATUS {
        if (const FT_STATUS refused = Refusal(call)) return refused;
        if ((!byLocation && wanted == nullptr) || handle == nullptr) return FT_INVALID_PARAMETER;
        const std::string text = wanted ? wanted : "";
        // A serial of 16 or more characters is also found by its listed form,
        // the first 16, which is all a by-index listing gives the caller.
        const auto matches = [&](const Device& d) {
            if (byLocation) return d.location == ArgumentValue(arg1);
            if (!bySerial) return d.description == text;
            return d.serial == text || (text.size() == kSerialBufferSize &&
                                        d.serial.compare(0, kSerialBufferSize, text) == 0);
        };
        const auto found =
            std::find_if(scenario_.devices.begin(), scenario_.devices.end(), matches);
        if (found == scenario_.devices.end()) return FT_DEVICE_NOT_FOUND;
        const auto index = static_cast<std::size_t>(found - scenario_.devices.begin());
        if (HolderOf(index) != nullptr) return FT_DEVICE_NOT_OPENED;
        if (const FT_STATUS injected = found->fail.Next(call)) return injected;
        const std::uintptr_t value = nextHandle_++;
        handles_[value] = index;
        *handle = reinterpret_cast<FT_HANDLE>(value);
        line.Output("handle", HandleText(*handle));
        return FT_OK;
    };
    return line.Finish(log_, open());
}

FT_STATUS Simulator::Close(FT_HANDLE handle) {
    return OnOpenDevice("FT_Close", Call::Close, handle, true, [&](Device&, LogLine&) {
        handles_.erase(reinterpret_cast<std::uintptr_t>(handle));
        return FT_OK;
    });
}

FT_STATUS Simulator::EeRead(FT_HANDLE handle, FT_PROGRAM_DATA* data) {
    // The record's header tells which fields the caller's record has; one
    // this library does not know is refused rather than overrun.
    const bool valid = data != nullptr && data->Signature1 == 0 && data->Signature2 == 0xFFFFFFFFu &&
                       data->Version <= 2 && data->Manufacturer && data->ManufacturerId && data->Description &&
                       data->SerialNumber;
    return OnOpenDevice("FT_EE_Read", Call::EeRead, handle, valid, [&](const Device& device, LogLine& line) {
        data->VendorId = device.vendorId;
        data->ProductId = device.productId;
        data->MaxPower = device.maxPower;
        data->PnP = device.pnp;
        data->SelfPowered = device.selfPowered;
        data->RemoteWakeup = device.remoteWakeup;
        if (data->Version >= 1) {
            auto* first = reinterpret_cast<unsigned char*>(&data->Rev4);
            std::memset(first, 0, offsetof(FT_PROGRAM_DATA, BIsVCP) + 1 - offsetof(FT_PROGRAM_DATA, Rev4));
            data->USBVersion = 0x0200;
            data->USBVersion5 = 0x0200;
        }
        if (data->Version >= 2) {
            auto* first = reinterpret_cast<unsigned char*>(&data->UseExtOsc);
            std::memset(first, 0, offsetof(FT_PROGRAM_DATA, RIsD2XX) + 1 - offsetof(FT_PROGRAM_DATA, UseExtOsc));
            data->EndPointSize = 64;
        }
        WriteText(device.manufacturer, data->Manufacturer);
        WriteText(device.manufacturerId, data->ManufacturerId);
        WriteText(device.description, data->Description);
        WriteSerial(device, device.eepromSerial, data->SerialNumber);
        line.Output("description", Quoted(device.description));
        return FT_OK;
    });
}

FT_STATUS Simulator::GetDriverVersion(FT_HANDLE handle, std::uint32_t* version) {
    return OnOpenDevice("FT_GetDriverVersion", Call::GetDriverVersion, handle, version != nullptr,
                        [&](const Device& device, LogLine& line) {
                            *version = device.driverVersion;
                            line.Output("version", Word(*version));
                            return FT_OK;
                        });
}

FT_STATUS Simulator::GetLibraryVersion(std::uint32_t* version) {
    LogLine line("FT_GetLibraryVersion");
    auto query = [&]() -> FT_STATUS {
        if (const FT_STATUS refused = Refusal(Call::GetLibraryVersion)) return refused;
        if (version == nullptr) return FT_INVALID_PARAMETER;
        *version = scenario_.libraryVersion;
        line.Output("version", Word(*version));
        return FT_OK;
    };
    return line.Finish(log_, query());
}

FT_STATUS Simulator::GetComPortNumber(FT_HANDLE handle, std::int32_t* portNumber) {
    return OnOpenDevice("FT_GetComPortNumber", Call::GetComPortNumber, handle, portNumber != nullptr,
                        [&](const Device& device, LogLine& line) {
                            *portNumber = device.comPort;
                            line.Output("port", std::to_string(*portNumber));
                            return FT_OK;
                        });
}

FT_STATUS Simulator::CreateDeviceInfoList(std::uint32_t* count) {
    LogLine line("FT_CreateDeviceInfoList");
    return line.Finish(log_, ListCount(count, Call::CreateDeviceInfoList, line));
}

FT_STATUS Simulator::GetDeviceInfoDetail(std::uint32_t index, std::uint32_t* flags, std::uint32_t* type,
                                         std::uint32_t* id, std::uint32_t* location, void* serial,
                                         void* description, FT_HANDLE* handle) {
    LogLine line("FT_GetDeviceInfoDetail");
    line.Arg(std::to_string(index));
    const bool valid = flags && type && id && location && serial && description && handle;
    const FT_STATUS status = AtIndex(Call::GetDeviceInfoDetail, index, valid, [&](const Device& device) {
        const FT_HANDLE holder = HolderOf(index);
        *flags = (holder ? FT_FLAGS_OPENED : 0u) | (IsHighSpeedType(device.type) ? FT_FLAGS_HISPEED : 0u);
        *type = device.type;
        *id = (std::uint32_t{device.vendorId} << 16) | device.productId;
        *location = device.location;
        char* const serialBuffer = static_cast<char*>(serial);
        const std::size_t written = WriteSerial(device, device.serial, serialBuffer);
        WriteText(device.description, static_cast<char*>(description));
        *handle = holder;
        line.Output("flags", Flags(*flags));
        line.Output("type", std::to_string(*type));
        line.Output("id", Word(*id));
        line.Output("location", Word(*location));
        line.Output("serial", QuotedWritten(serialBuffer, written));
        line.Output("description", Quoted(device.description));
        line.Output("handle", HandleText(*handle));
        return FT_OK;
    });
    return line.Finish(log_, status);
}

FT_STATUS Simulator::GetLatencyTimer(FT_HANDLE handle, std::uint8_t* milliseconds) {
    return OnOpenDevice("FT_GetLatencyTimer", Call::GetLatencyTimer, handle, milliseconds != nullptr,
                        [&](const Device& device, LogLine& line) {
                            *milliseconds = device.latencyTimer;
                            line.Output("latency", std::to_string(*milliseconds));
                            return FT_OK;
                        });
}

// Refuses 0, which no chip's timer takes; the setting lasts until the next load.
FT_STATUS Simulator::SetLatencyTimer(FT_HANDLE handle, std::uint8_t milliseconds) {
    return OnOpenDevice("FT_SetLatencyTimer", Call::SetLatencyTimer, handle, milliseconds != 0,
                        [&](Device& device, LogLine& line) {
                            device.latencyTimer = milliseconds;
                            line.Output("latency", std::to_string(milliseconds));
                            return FT_OK;
                        });
}

}  // namespace torvane_sim
