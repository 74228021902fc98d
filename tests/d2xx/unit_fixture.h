#pragma once
// The D2XX layer under test, run against the simulated vendor library with a
// recorder in place of the message dialogs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "d2xx/D2XXUnit.h"
#include "d2xx/library_loader.h"
#include "sim_fixture.h"
#include "torvane/messages.h"

namespace d2xx_test {

struct Shown {
    std::string kind;  // "info", "error" or "fatal"
    std::string caption;
    std::string text;
    bool operator==(const Shown&) const = default;
};

inline void PrintTo(const Shown& shown, std::ostream* out) {
    *out << shown.kind << " [" << shown.caption << "] \"" << shown.text << "\"";
}

class RecordingSink final : public torvane::MessageSink {
public:
    std::vector<Shown> shown;
    void ShowInformation(const std::string& text) override { shown.push_back({"info", "", text}); }
    void ShowError(const std::string& caption, const std::string& text) override {
        shown.push_back({"error", caption, text});
    }
    void ShowFatal(const std::string& caption, const std::string& text) override {
        shown.push_back({"fatal", caption, text});
    }
};

inline FT_HANDLE HandleValue(std::uintptr_t value) { return reinterpret_cast<FT_HANDLE>(value); }

// Puts every variable of the layer back to its start value.
inline void ResetUnit() {
    d2xx::DeviceHandle = nullptr;
    d2xx::DeviceCount = 0;
    d2xx::DeviceSerialNumber.clear();
    std::memset(d2xx::OpenSerialBuffer, 0, sizeof d2xx::OpenSerialBuffer);
    std::memset(d2xx::EeManufacturer, 0, sizeof d2xx::EeManufacturer);
    std::memset(d2xx::EeManufacturerId, 0, sizeof d2xx::EeManufacturerId);
    std::memset(d2xx::EeDescription, 0, sizeof d2xx::EeDescription);
    std::memset(d2xx::EeSerialNumber, 0, sizeof d2xx::EeSerialNumber);
    std::memset(&d2xx::EepromData, 0, sizeof d2xx::EepromData);
    d2xx::ShowDeviceErrors = true;
}

// Two converters: D0 with a COM port, D1 without one.
inline const char* const kTwoConverters = R"({
  "library_version": "0x00030115",
  "devices": [
    {"serial": "D0", "description": "First device", "com_port": 7,
     "driver_version": "0x00021004", "manufacturer": "ACME", "manufacturer_id": "AC",
     "vendor_id": 1027, "product_id": 24577},
    {"serial": "D1", "description": "Second device", "com_port": -1}
  ]})";

class D2XXUnitTest : public testing::Test {
protected:
    void SetUp() override {
        ResetUnit();
        torvane::InstallMessageSink(&sink_);
        LoadScenario(kTwoConverters);
    }
    void TearDown() override {
        torvane::InstallMessageSink(nullptr);
        d2xx::InstallLibraryLoader(nullptr);
        ResetUnit();
    }
    const std::vector<Shown>& Dialogs() const { return sink_.shown; }

    RecordingSink sink_;
};

}  // namespace d2xx_test
