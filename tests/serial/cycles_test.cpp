// A thousand initializations and closes in a row leave no descriptor, thread
// or handle behind, nor do threads the system refuses. (Memory is checked by
// the AddressSanitizer run.)
#include <ostream>
#include <vector>

#include "serial/platform/win32_calls.h"
#include "tests/serial/support/port_fixture.h"
#include "tests/serial/support/thread_refusal.h"
#include "tests/serial/support/wake_counter.h"

namespace winseria {
namespace {

constexpr int kCycles = 1000;

using Cycles = test::PtyPortTest;

// What connections could leave behind; taken once the runtime's own helper
// threads exist.
struct Resources {
    std::size_t descriptors = test::OpenDescriptorCount();
    std::size_t threads = test::ThreadCount();
    std::size_t handles = test::OpenHandleCount();
    bool operator==(const Resources&) const = default;
};

void PrintTo(const Resources& r, std::ostream* out) {
    *out << r.descriptors << " descriptors, " << r.threads << " threads, " << r.handles << " handles";
}

Resources Settled() {
    test::SettleThreads();
    return {};
}

TEST_F(Cycles, AThousandInitializeAndUnInitializeCyclesLeakNothing) {
    const std::uint8_t port = test::PtyPortTest::kPort;
    // The first cycle creates what lives for the whole process (the error
    // texts, the handshake's state); count after it.
    ASSERT_EQ(InitializePort(port, 9600, 1, 1), 0);
    ASSERT_EQ(UnInitializePort(), 0);
    const Resources before = Settled();
    const HandshakeState& handshake = Handshake();
    const std::vector<winapi::HANDLE> firstEvents = {
        handshake.WriteRequest(), handshake.ReadRequest(), handshake.TransferReady(),
        handshake.StopTransfers(), handshake.WorkerEnded(), handshake.PortClosed()};

    for (int cycle = 0; cycle < kCycles; ++cycle) {
        ASSERT_EQ(InitializePort(port, 9600, 1, 1), 0) << "cycle " << cycle;
        if (cycle % 100 == 0) {
            // Now and then with a byte each way and a waiting hand-over.
            ASSERT_EQ(WriteByte(static_cast<std::uint8_t>(cycle)), 1);
            pty.write(0x5A);
            std::uint8_t value = 0;
            ASSERT_EQ(ReadByte(&value), 1);
            ASSERT_EQ(value, 0x5A);
        }
        ASSERT_EQ(UnInitializePort(), 0) << "cycle " << cycle;
    }
    pty.drain(std::chrono::milliseconds(50));
    EXPECT_EQ(Resources(), before);
    EXPECT_EQ(test::FetchError(), (test::Fetched{0, "", 0}));
    // Each connection's events were closed when the next ones replaced them.
    for (winapi::HANDLE event : firstEvents) {
        EXPECT_EQ(winapi::SetEvent(event), winapi::FALSE);
        EXPECT_EQ(winapi::GetLastError(), winapi::ERROR_INVALID_HANDLE);
    }
}

TEST_F(Cycles, FailedInitializationsLeakNothing) {
    ASSERT_EQ(InitializePort(test::PtyPortTest::kPort + 1, 9600, 1, 1), 2);
    ASSERT_EQ(SerialPortPresent(test::PtyPortTest::kPort), 1);
    const Resources before = Settled();
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        ASSERT_EQ(InitializePort(test::PtyPortTest::kPort + 1, 9600, 1, 1), 2);
        ASSERT_EQ(SerialPortPresent(test::PtyPortTest::kPort), 1);
    }
    EXPECT_EQ(Resources(), before);
}

TEST_F(Cycles, ThreadsTheSystemRefusesLeakNothing) {
    const std::uint8_t port = test::PtyPortTest::kPort;
    ASSERT_EQ(InitializePort(port, 9600, 1, 1), 0);
    ASSERT_EQ(UnInitializePort(), 0);
    const Resources before = Settled();
    // An initialization creates the device's service thread (without it the
    // device does not open), the watcher, then the worker (the connection
    // goes on without either, code 8 in the slot).
    struct Refusal {
        int successesBefore;
        const char* thread;
        bool opens;
    };
    for (const Refusal refusal :
         {Refusal{0, "service thread", false}, Refusal{1, "watcher", true}, Refusal{2, "worker", true}}) {
        test::RefuseThreadCreationAfter(refusal.successesBefore);
        const std::int32_t opened = InitializePort(port, 9600, 1, 1);
        test::RefuseThreadCreationAfter(-1);
        if (refusal.opens) {
            EXPECT_EQ(opened, 0) << refusal.thread;
            EXPECT_EQ(test::FetchError(), (test::Fetched{1, "", 8})) << refusal.thread;
        } else {
            EXPECT_NE(opened, 0) << refusal.thread;
        }
        EXPECT_EQ(UnInitializePort(), 0) << refusal.thread;
        EXPECT_EQ(Resources(), before) << refusal.thread;
    }
}

}  // namespace
}  // namespace winseria
