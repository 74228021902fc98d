#pragma once
// The simulated vendor library's state: the scenario in force, the handle
// table and the call log. The exported C functions forward to one instance
// under a lock; this class itself is not thread-safe.
#include <cstdint>
#include <map>
#include <string>

#include "d2xx/ftd2xx_abi.h"
#include "d2xx/sim/scenario.h"

namespace torvane_sim {

class Simulator {
public:
    // Puts a scenario in force: forgets every handle, restarts handle
    // numbering at 1 and empties the call log.
    void Load(Scenario scenario);
    // The failed state: every vendor call returns FT_OTHER_ERROR until the next Load.
    void Fail(std::string fault);

    const std::string& LastError() const { return fault_; }
    const std::string& CallLog() const { return log_; }
    void ClearCallLog() { log_.clear(); }
    int OpenHandleCount() const { return static_cast<int>(handles_.size()); }

    FT_STATUS ListDevices(void* arg1, void* arg2, std::uint32_t flags);
    FT_STATUS OpenEx(void* arg1, std::uint32_t flags, FT_HANDLE* handle);
    FT_STATUS Close(FT_HANDLE handle);
    FT_STATUS EeRead(FT_HANDLE handle, FT_PROGRAM_DATA* data);
    FT_STATUS GetDriverVersion(FT_HANDLE handle, std::uint32_t* version);
    FT_STATUS GetLibraryVersion(std::uint32_t* version);
    FT_STATUS GetComPortNumber(FT_HANDLE handle, std::int32_t* portNumber);
    FT_STATUS CreateDeviceInfoList(std::uint32_t* count);
    FT_STATUS GetDeviceInfoDetail(std::uint32_t index, std::uint32_t* flags, std::uint32_t* type,
                                  std::uint32_t* id, std::uint32_t* location, void* serial, void* description,
                                  FT_HANDLE* handle);
    FT_STATUS GetLatencyTimer(FT_HANDLE handle, std::uint8_t* milliseconds);
    FT_STATUS SetLatencyTimer(FT_HANDLE handle, std::uint8_t milliseconds);

private:
    class LogLine;

    // What every call meets first: a broken scenario fails it, then the
    // function's global rule may; FT_OK lets it go on.
    FT_STATUS Refusal(Call call);
    // A call on the device at a listed index: the refusal, the arguments
    // (`valid`), the index, then the device's rule before body(device).
    template <typename Body>
    FT_STATUS AtIndex(Call call, std::uint32_t index, bool valid, Body body);
    // A call on the device an open handle designates, logged under `function`
    // with the handle: the refusal, the handle, the arguments (`valid`), then
    // the device's rule before body(device, line).
    template <typename Body>
    FT_STATUS OnOpenDevice(const char* function, Call call, FT_HANDLE handle, bool valid, Body body);
    FT_STATUS ListCount(std::uint32_t* count, Call call, LogLine& line);
    FT_STATUS ListByIndex(std::uint32_t index, void* output, std::uint32_t flags, LogLine& line);
    // The device an open handle designates, or nullptr for a null, closed,
    // stale or foreign handle.
    Device* DeviceOf(FT_HANDLE handle);
    // The handle that holds the device at index; null when none does.
    FT_HANDLE HolderOf(std::size_t index) const;
    // Writes a serial number into a caller's 16-byte buffer the way the
    // device's write mode says; returns the number of bytes written.
    std::size_t WriteSerial(const Device& device, const std::string& serial, char* buffer) const;
    bool Broken() const { return !fault_.empty(); }

    Scenario scenario_;
    std::string fault_;
    std::string log_;
    std::map<std::uintptr_t, std::size_t> handles_;  // handle value -> device index
    std::uintptr_t nextHandle_ = 1;
};

}  // namespace torvane_sim
