// Several threads against one port, in the ways the header allows: every
// call returns a defined result and a close ends within a bound, cycle after
// cycle, whatever the other threads are doing at that moment. A cycle that
// does not end in time ends the test process (a hang fails by this test's
// own bound, not by the runner's).
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <latch>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/src/handshake.h"
#include "tests/serial/support/port_fixture.h"

namespace winseria {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr std::uint8_t kPort = test::PtyPortTest::kPort;

// Ends the process when a cycle has not finished within the bound.
class Watchdog {
public:
    explicit Watchdog(Clock::duration bound) : bound_(bound), thread_([this] { Watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    void Kick(std::string what) {
        std::lock_guard lock(mutex_);
        what_ = std::move(what);
        deadline_ = Clock::now() + bound_;
    }

private:
    void Watch() {
        std::unique_lock lock(mutex_);
        while (!done_) {
            if (Clock::now() >= deadline_) {
                std::fprintf(stderr, "%s did not end within its bound: the library hangs\n", what_.c_str());
                std::fflush(stderr);
                std::_Exit(EXIT_FAILURE);
            }
            changed_.wait_until(lock, deadline_);
        }
    }

    const Clock::duration bound_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::string what_ = "start";
    Clock::time_point deadline_ = Clock::now() + bound_;
    std::thread thread_;
};

std::chrono::microseconds Jitter(int cycle, int steps, std::chrono::microseconds step) { return step * (cycle % steps); }

// Slows the thread that creates it: another thread interrupts it every
// 700 us with a signal whose handler sleeps 400 us, so that it often wakes
// late from a wait (a caller of low priority on a busy machine).
class SlowedThread {
public:
    SlowedThread() : target_(pthread_self()), interrupter_([this] { Interrupt(); }) {}
    ~SlowedThread() {
        done_.store(true);
        interrupter_.join();
    }

private:
    static bool InstallPause() {
        struct sigaction action {};
        action.sa_handler = [](int) {
            const timespec pause{0, 400'000};
            nanosleep(&pause, nullptr);
        };
        action.sa_flags = SA_RESTART;
        return sigaction(SIGUSR2, &action, nullptr) == 0;
    }

    void Interrupt() {
        static const bool installed = InstallPause();
        if (!installed) ADD_FAILURE() << "no handler for the pausing signal";
        while (installed && !done_.load()) {
            pthread_kill(target_, SIGUSR2);
            std::this_thread::sleep_for(700us);
        }
    }

    const pthread_t target_;
    std::atomic<bool> done_{false};
    std::thread interrupter_;
};

// ---- One cycle of each race; each opens the port and leaves it closed. ----

// A slowed writer streams distinct bytes while the port closes: the far end
// receives only bytes reported written, in order, none twice. (Bytes still
// in the driver's queue when the close purges it are reported and lost.)
void WritesAgainstClose(test::PtyPair& pty, int cycle) {
    ASSERT_EQ(InitializePort(kPort, 9600, 1, 1), 0);
    std::latch started(1);
    auto writer = std::async(std::launch::async, [&started] {
        const SlowedThread slowed;
        std::vector<std::uint8_t> reported;
        started.count_down();
        for (std::uint8_t value = 1; value != 0; ++value) {
            if (!WriteByte(value)) break;
            reported.push_back(value);
        }
        return reported;
    });
    started.wait();
    std::this_thread::sleep_for(Jitter(cycle, 25, 200us));
    EXPECT_EQ(UnInitializePort(), 0);
    const std::vector<std::uint8_t> reported = writer.get();
    const std::vector<std::uint8_t> received = pty.drain(20ms);
    // Both ascending: every byte received was reported written, none twice.
    EXPECT_TRUE(std::adjacent_find(received.begin(), received.end(), std::greater_equal<>()) == received.end() &&
                std::includes(reported.begin(), reported.end(), received.begin(), received.end()))
        << "received " << ::testing::PrintToString(received) << "\nreported " << ::testing::PrintToString(reported);
}

// A slowed reader reads what the far end sends while the port closes: a
// byte the worker read is returned (the worker reads into InByte, which
// each ReadByte clears as it starts).
void ReadsAgainstClose(test::PtyPair& pty, int cycle) {
    ASSERT_EQ(InitializePort(kPort, 9600, 1, 1), 0);
    std::atomic<bool> closed{false};
    auto feeder = std::async(std::launch::async, [&pty, &closed] {
        for (std::uint8_t value = 1; value != 0 && !closed.load(); ++value) {
            pty.write(value);
            std::this_thread::sleep_for(100us);
        }
    });
    auto reader = std::async(std::launch::async, [] {
        const SlowedThread slowed;
        for (;;) {
            std::uint8_t value = 0;
            const bool returned = ReadByte(&value) != 0;
            const std::uint8_t workerRead = Handshake().InByte();
            EXPECT_EQ(returned ? value : 0, workerRead) << "a byte read was not returned";
            if (!returned && TimeOut() == 0) break;  // refused: the port has closed
        }
    });
    std::this_thread::sleep_for(Jitter(cycle, 25, 200us));
    EXPECT_EQ(UnInitializePort(), 0);
    closed.store(true);
    reader.get();
    feeder.get();
}

void ReadJustAfterCloseBegan(test::PtyPair&, int cycle) {
    ASSERT_EQ(InitializePort(kPort, 9600, 1, 5), 0);  // a read waits up to 5 s for its byte
    std::latch entered(1);
    auto closer = std::async(std::launch::async, [&entered] {
        entered.count_down();
        return UnInitializePort();
    });
    entered.wait();
    std::this_thread::sleep_for(Jitter(cycle, 9, 50us));
    std::uint8_t value = 0x5A;
    EXPECT_EQ(ReadByte(&value), 0);
    EXPECT_EQ(value, 0x5A);
    EXPECT_NE(test::FetchError().text, "");  // every failed transfer says why
    EXPECT_EQ(closer.get(), 0);
}

void PollingReaderAgainstClose(test::PtyPair&, int cycle) {
    ASSERT_EQ(InitializePort(kPort, 9600, 1, 0), 0);  // reads answer at once
    std::atomic<int> reads{0};
    auto reader = std::async(std::launch::async, [&reads] {
        std::uint8_t value = 0;
        std::uint8_t read = 0;
        do {
            read = ReadByte(&value);
            ++reads;
        } while (read == 0 && TimeOut() == 1);  // a polling reader goes on while reads time out
        return read;
    });
    ASSERT_TRUE(test::Eventually([&] { return reads.load() > cycle % 5; }));
    EXPECT_EQ(UnInitializePort(), 0);
    EXPECT_EQ(reader.get(), 0);  // ended by the close: a read refused at once leaves TimeOut() 0
}

void ReleasedReaderClosesTheCommPortItself(test::PtyPair&, int cycle) {
    ASSERT_EQ(InitializePort(kPort, 9600, 1, 10), 0);  // longer than the watchdog's bound
    auto closer = std::async(std::launch::async, [cycle] {
        std::this_thread::sleep_for(Jitter(cycle, 8, 100us));
        return UnInitializePort();
    });
    std::uint8_t value = 0;
    EXPECT_EQ(ReadByte(&value), 0);
    EXPECT_EQ(UnInitializePort(), 0);  // at once, as a caller does after a failed read
    EXPECT_EQ(closer.get(), 0);
}

void FourTransferThreadsAgainstClose(test::PtyPair& pty, int cycle) {
    ASSERT_EQ(InitializePort(kPort, 9600, 1, 1), 0);
    std::atomic<bool> closed{false};
    std::vector<std::future<void>> transfers;
    for (int thread = 0; thread < 4; ++thread) {
        transfers.push_back(std::async(std::launch::async, [&closed, thread] {
            std::uint8_t value = 0;
            while (!closed.load()) {
                if (thread % 2 == 0) WriteByte(static_cast<std::uint8_t>(thread));
                else ReadByte(&value);
            }
        }));
    }
    std::this_thread::sleep_for(Jitter(cycle, 5, 400us));
    EXPECT_EQ(UnInitializePort(), 0);
    closed.store(true);
    for (auto& transfer : transfers) transfer.get();
    EXPECT_EQ(WriteByte(0x01), 0);  // the port stays closed
    pty.drain(0ms);
}

void TwoInitializationsAndTwoClosesAtOnce(test::PtyPair& pty, int) {
    ASSERT_EQ(InitializePort(kPort, 9600, 1, 0), 0);
    std::latch start(5);
    auto initialize = [&start] {
        start.arrive_and_wait();
        return InitializePort(kPort, 9600, 1, 0);
    };
    auto close = [&start] {
        start.arrive_and_wait();
        return UnInitializePort();
    };
    auto first = std::async(std::launch::async, initialize);
    auto second = std::async(std::launch::async, initialize);
    auto closeOne = std::async(std::launch::async, close);
    auto closeTwo = std::async(std::launch::async, close);
    auto transfers = std::async(std::launch::async, [&start] {
        start.arrive_and_wait();
        std::uint8_t value = 0;
        return WriteByte(0x42) <= 1 && ReadByte(&value) <= 1;
    });
    for (auto* opened : {&first, &second}) {
        const std::int32_t result = opened->get();
        EXPECT_TRUE(result == 0 || result == 5) << result;  // opened, or refused: the port was open
    }
    EXPECT_EQ(closeOne.get(), 0);
    EXPECT_EQ(closeTwo.get(), 0);
    EXPECT_TRUE(transfers.get());
    EXPECT_EQ(UnInitializePort(), 0);
    EXPECT_EQ(SerialPortPresent(kPort), 1);  // nothing kept the device
    pty.drain(0ms);
}

void SettingsAgainstClose(test::PtyPair&, int cycle) {
    ASSERT_EQ(InitializePort(kPort, 9600, 1, 1), 0);
    auto settings = std::async(std::launch::async, [cycle] {
        // On an open port they apply, on a closed one they apply nothing:
        // both answer success. A pseudo-terminal has no modem lines, so the
        // line calls answer no either way.
        const std::int32_t cleared = ClearPort();
        const std::uint8_t parity = ChangeParity(static_cast<std::uint8_t>(cycle % 3));
        const std::uint8_t speed = ChangeSpeed(19200);
        CharSent();
        const bool noLines = ModemStatus() == 0 && UstawKanal(2) == 0 && SetDTRLine() == 0;
        return cleared == 0 && parity == 1 && speed == 1 && noLines && ClearPort() == 0;
    });
    std::this_thread::sleep_for(Jitter(cycle, 7, 20000us));
    EXPECT_EQ(UnInitializePort(), 0);
    EXPECT_TRUE(settings.get());
}

struct Race {
    const char* name;
    int cycles;
    void (*cycle)(test::PtyPair& pty, int cycle);
};

const Race kRaces[] = {
    {"WritesAgainstClose", 150, WritesAgainstClose},
    {"ReadsAgainstClose", 150, ReadsAgainstClose},
    {"ReadJustAfterCloseBegan", 100, ReadJustAfterCloseBegan},
    {"PollingReaderAgainstClose", 100, PollingReaderAgainstClose},
    {"ReleasedReaderClosesTheCommPortItself", 60, ReleasedReaderClosesTheCommPortItself},
    {"FourTransferThreadsAgainstClose", 60, FourTransferThreadsAgainstClose},
    {"TwoInitializationsAndTwoClosesAtOnce", 80, TwoInitializationsAndTwoClosesAtOnce},
    {"SettingsAgainstClose", 20, SettingsAgainstClose},
};

class Races : public test::PtyPortTest, public ::testing::WithParamInterface<Race> {};

TEST_P(Races, EveryCallEndsWithADefinedResultWithinItsBound) {
    const Race& race = GetParam();
    Watchdog watchdog(5s);
    for (int cycle = 0; cycle < race.cycles && !HasFailure(); ++cycle) {
        watchdog.Kick(std::string(race.name) + " cycle " + std::to_string(cycle));
        race.cycle(pty, cycle);
    }
}

INSTANTIATE_TEST_SUITE_P(Serial, Races, ::testing::ValuesIn(kRaces),
                         [](const ::testing::TestParamInfo<Race>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace winseria
