#pragma once
// Fixtures of the library tests: the library's state reset around each test,
// and a pseudo-terminal reachable as COM7 through its own TORVANE_PORTS_DIR.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <string_view>
#include <thread>

#include "serial/include/winseria.h"
#include "serial/src/comm_port.h"
#include "serial/src/handshake.h"
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

// A fixture of `Base` whose port `Base::kPort` is open at 9600 baud with
// two-second time-outs when the test begins.
template <class Base>
class Opened : public Base {
protected:
    void SetUp() override {
        Base::SetUp();
        ASSERT_EQ(InitializePort(Base::kPort, 9600, 2, 2), 0);
    }
};

// Whether `call` answers `expected` within `bound`, and not before `least`.
template <typename Call, typename Result>
::testing::AssertionResult Answers(Call&& call, Result expected, std::chrono::milliseconds bound,
                                   std::chrono::milliseconds least = {}) {
    const auto start = std::chrono::steady_clock::now();
    const auto result = call();
    const auto took = std::chrono::steady_clock::now() - start;
    if (result == expected && took >= least && took < bound) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "answered " << +result << " after "
           << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
}

// Closes the port from another thread 300 ms after `transfer` began: the
// transfer answers 0 within 5 s, the close 0, and the error slot tells the
// abort (`aborted`, code 995) or the failed wait.
template <typename Transfer>
void ExpectEndedByACloseFromAnotherThread(Transfer&& transfer, std::string_view aborted) {
    auto closer = std::async(std::launch::async, [] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return UnInitializePort();
    });
    EXPECT_TRUE(Answers(transfer, 0, std::chrono::seconds(5)));
    EXPECT_EQ(closer.get(), 0);
    const Fetched fetched = FetchError();
    EXPECT_TRUE(fetched == Failure(aborted, 995) || fetched.text == Cp("Błąd funkcji WaitForMultipleObjects."))
        << ::testing::PrintToString(fetched);
}

}  // namespace winseria::test
