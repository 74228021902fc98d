#pragma once
// The D2XX layer under test, run against the simulated vendor library with a
// recorder in place of the message dialogs.
#include <cstring>
#include <string>
#include <vector>

#include "d2xx/D2XXUnit.h"
#include "fixture.h"
#include "installed_loader.h"
#include "tests/common/recording_sink.h"

namespace d2xx_test {

// The status dialog as the recorder notes it.
inline std::vector<std::string> StatusDialog(const std::string& text) { return {"error:Error:" + text}; }

// Two converters: D0 with a COM port, D1 without one.
inline const char* const kTwoConverters = R"({
  "library_version": "0x00030115",
  "devices": [
    {"serial": "D0", "description": "First device", "com_port": 7, "driver_version": "0x00021004",
     "manufacturer": "ACME", "manufacturer_id": "AC", "vendor_id": 1027, "product_id": 24577},
    {"serial": "D1", "description": "Second device", "com_port": -1}
  ]})";

class D2XXUnitTest : public testing::Test {
protected:
    void SetUp() override {
        ResetUnit();
        LoadScenario(kTwoConverters);
    }
    void TearDown() override {
        d2xx::test::InstallLibraryLoader(nullptr);
        ResetUnit();
    }
    const std::vector<std::string>& Dialogs() const { return sink_.seen; }

    // Puts every variable of the layer back to its start value.
    static void ResetUnit() {
        using namespace d2xx;
        DeviceHandle = nullptr;
        DeviceCount = 0;
        DeviceSerialNumber.clear();
        std::memset(OpenSerialBuffer, 0, sizeof OpenSerialBuffer);
        std::memset(EeManufacturer, 0, sizeof EeManufacturer);
        std::memset(EeManufacturerId, 0, sizeof EeManufacturerId);
        std::memset(EeDescription, 0, sizeof EeDescription);
        std::memset(EeSerialNumber, 0, sizeof EeSerialNumber);
        std::memset(&EepromData, 0, sizeof EepromData);
        ShowDeviceErrors = true;
    }

    torvane_test::RecordingSink sink_;
};

}  // namespace d2xx_test
