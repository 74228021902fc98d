#include "d2xx/sim/scenario.h"

namespace torvane_sim {

// Three converters: a plain one (an FT-X chip), one whose description the
// device list decorates ("COM_B", an FT232H), and one that has no COM port
// (an FT232R).
const char* const kBuiltInDemoScenario = R"json({
  "library_version": "0x00030115",
  "devices": [
    {"serial": "FT4XK2A1", "description": "USB Serial Converter",
     "com_port": 3, "driver_version": "0x00021204", "product_id": 24597, "type": 9},
    {"serial": "FT7Q0B19", "description": "COM_B",
     "com_port": 7, "driver_version": "0x00021204", "product_id": 24596, "type": 8},
    {"serial": "A5003MQZ", "description": "FT232R USB UART",
     "com_port": -1, "driver_version": "0x00020C0A", "product_id": 24577, "type": 5}
  ]
})json";

}  // namespace torvane_sim
