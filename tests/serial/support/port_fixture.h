#pragma once
// Fixtures of the library tests: the library's state reset around each test,
// and a pseudo-terminal reachable as COM7 through its own TORVANE_PORTS_DIR.
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

// Each test starts with an empty error slot and ends with the port closed,
// the slot empty and the library defaults back at their start values.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override { TakeError(); }
    void TearDown() override {
        UnInitializePort();
        RestoreStartDefaults();
        TakeError();
    }
};

class PtyPortTest : public LibraryTest {
public:
    static constexpr std::uint8_t kPort = 7;

protected:
    void SetUp() override {
        ports.link(kPort, pty.slavePath());
        LibraryTest::SetUp();
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
