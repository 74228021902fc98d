#include "d2xx/sim/scenario.h"

namespace torvane_sim {

// Three converters: a plain one, one whose description the device list
// decorates ("COM_B"), and one that has no COM port.
const char* const kBuiltInDemoScenario = R"json({
  "library_version": "0x00030115",
  "devices": [
    {"serial": "FT4XK2A1", "description": "USB Serial Converter",
     "com_port": 3, "driver_version": "0x00021204"},
    {"serial": "FT7Q0B19", "description": "COM_B",
     "com_port": 7, "driver_version": "0x00021204"},
    {"serial": "A5003MQZ", "description": "FT232R USB UART",
     "com_port": -1, "driver_version": "0x00020C0A"}
  ]
})json";

}  // namespace torvane_sim
