#include "app/library_port_calls.h"

#include "d2xx/D2XXUnit.h"
#include "serial/include/winseria.h"

namespace app {

PortCalls LibraryPortCalls() {
    PortCalls calls;
    calls.closeDeviceHandle = [] { d2xx::Close_USB_Device_Handle(); };
    calls.uninitializePort = [] { return UnInitializePort(); };
    calls.initializePort = [](std::uint8_t port, std::uint32_t baud, std::uint16_t writeTimeoutSec,
                              std::uint16_t readTimeoutSec) {
        return InitializePort(port, baud, writeTimeoutSec, readTimeoutSec);
    };
    return calls;
}

}  // namespace app
