#pragma once
// A test with a pseudo-terminal reachable as COM7 through its own
// TORVANE_PORTS_DIR; each test ends with the port closed, the error slot
// empty and the library defaults back at their start values.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <utility>

#include "serial/include/winseria.h"
#include "serial/src/comm_port.h"
#include "serial/src/library_state.h"
#include "tests/serial/support/error_fetch.h"
#include "tests/serial/support/pty_port.h"

namespace winseria::test {

inline void RestoreStartDefaults() {
    LineDefaults& defaults = Defaults();
    defaults.parity = 2;
    defaults.byteSize = 8;
    defaults.stopBits = 0;
    defaults.ctsFlag = 1;
}

class PtyPortTest : public ::testing::Test {
public:
    static constexpr std::uint8_t kPort = 7;

protected:
    void SetUp() override {
        ports.link(kPort, pty.slavePath());
        TakeError();
    }
    void TearDown() override {
        UnInitializePort();
        RestoreStartDefaults();
        TakeError();
    }

    PortsDir ports;
    PtyPair pty;
};

// Runs `call` and gives its result with the time it took.
template <typename Call>
auto Timed(Call&& call) {
    const auto start = std::chrono::steady_clock::now();
    auto result = call();
    return std::pair{result, std::chrono::steady_clock::now() - start};
}

}  // namespace winseria::test
