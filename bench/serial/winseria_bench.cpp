// Per-byte cost of the exported transfers against plain blocking I/O on the
// same pseudo-terminal pair, and the cost of InitializePort+UnInitializePort.
// After the runs a table gives each library figure beside its plain one and
// their ratio. (One character at 115200 bit/s lasts 86.8 us.)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "serial/include/winseria.h"

namespace {

constexpr std::uint8_t kPort = 4;

// A pseudo-terminal linked as COM4 in a private TORVANE_PORTS_DIR.
class PtyPort {
public:
    PtyPort() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("pty");
        MakeRaw(master_);
        char pattern[] = "/tmp/winseria-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
        directory_ = pattern;
        slave_ = ptsname(master_);
        std::filesystem::create_symlink(slave_, directory_ + "/com" + std::to_string(kPort));
        setenv("TORVANE_PORTS_DIR", directory_.c_str(), 1);
    }
    ~PtyPort() {
        close(master_);
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
    static void MakeRaw(int fd) {
        termios raw{};
        tcgetattr(fd, &raw);
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
    }
    int master() const { return master_; }
    const std::string& slave() const { return slave_; }

private:
    int master_ = -1;
    std::string directory_;
    std::string slave_;
};

PtyPort& Port() {
    static PtyPort port;
    return port;
}

void ReadOne(benchmark::State& state, int fd) {
    std::uint8_t byte = 0;
    if (read(fd, &byte, 1) != 1) state.SkipWithError("read failed");
}

void WriteOne(benchmark::State& state, int fd, std::uint8_t byte) {
    if (write(fd, &byte, 1) != 1) state.SkipWithError("write failed");
}

// ---- Through the library -------------------------------------------------------------

void BM_Library_WriteByte_PeerRead(benchmark::State& state) {
    if (InitializePort(kPort, 115200, 2, 2) != 0) return state.SkipWithError("InitializePort failed");
    std::uint8_t value = 0;
    for (auto _ : state) {
        if (!WriteByte(value++)) state.SkipWithError("WriteByte failed");
        ReadOne(state, Port().master());
    }
    UnInitializePort();
    state.SetItemsProcessed(state.iterations());
}

void BM_Library_PeerWrite_ReadByte(benchmark::State& state) {
    if (InitializePort(kPort, 115200, 2, 2) != 0) return state.SkipWithError("InitializePort failed");
    std::uint8_t value = 0;
    for (auto _ : state) {
        WriteOne(state, Port().master(), value++);
        std::uint8_t in = 0;
        if (!ReadByte(&in)) state.SkipWithError("ReadByte failed");
    }
    UnInitializePort();
    state.SetItemsProcessed(state.iterations());
}

// The handshake alone: the bytes are already waiting in the port's buffer
// (refilled outside the timing every 256 bytes).
void BM_Library_ReadByte_Buffered(benchmark::State& state) {
    if (InitializePort(kPort, 115200, 2, 2) != 0) return state.SkipWithError("InitializePort failed");
    constexpr int kBatch = 256;
    std::vector<std::uint8_t> batch(kBatch, 0x55);
    int left = 0;
    for (auto _ : state) {
        if (left == 0) {
            state.PauseTiming();
            if (write(Port().master(), batch.data(), batch.size()) != kBatch) state.SkipWithError("write failed");
            usleep(5000);
            left = kBatch;
            state.ResumeTiming();
        }
        std::uint8_t in = 0;
        if (!ReadByte(&in)) state.SkipWithError("ReadByte failed");
        --left;
    }
    UnInitializePort();
    state.SetItemsProcessed(state.iterations());
}

// The handshake alone for writes: the other end is emptied outside the
// timing every 256 bytes.
void BM_Library_WriteByte_Only(benchmark::State& state) {
    if (InitializePort(kPort, 115200, 2, 2) != 0) return state.SkipWithError("InitializePort failed");
    constexpr int kBatch = 256;
    std::vector<std::uint8_t> drained(kBatch);
    int written = 0;
    for (auto _ : state) {
        if (!WriteByte(0x55)) state.SkipWithError("WriteByte failed");
        if (++written == kBatch) {
            state.PauseTiming();
            std::size_t got = 0;
            while (got < drained.size()) {
                const ssize_t n = read(Port().master(), drained.data() + got, drained.size() - got);
                if (n <= 0) break;
                got += static_cast<std::size_t>(n);
            }
            written = 0;
            state.ResumeTiming();
        }
    }
    UnInitializePort();
    state.SetItemsProcessed(state.iterations());
}

void BM_Library_InitializeUnInitialize(benchmark::State& state) {
    for (auto _ : state) {
        if (InitializePort(kPort, 115200, 2, 2) != 0) state.SkipWithError("InitializePort failed");
        UnInitializePort();
    }
}

// ---- Plain blocking I/O on the same pair --------------------------------------------

class PlainSlave {
public:
    PlainSlave() : fd_(open(Port().slave().c_str(), O_RDWR | O_NOCTTY)) { PtyPort::MakeRaw(fd_); }
    ~PlainSlave() { close(fd_); }
    int fd() const { return fd_; }

private:
    int fd_;
};

void BM_Plain_Write_PeerRead(benchmark::State& state) {
    PlainSlave slave;
    std::uint8_t value = 0;
    for (auto _ : state) {
        WriteOne(state, slave.fd(), value++);
        ReadOne(state, Port().master());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Plain_PeerWrite_Read(benchmark::State& state) {
    PlainSlave slave;
    std::uint8_t value = 0;
    for (auto _ : state) {
        WriteOne(state, Port().master(), value++);
        ReadOne(state, slave.fd());
    }
    state.SetItemsProcessed(state.iterations());
}

// The plain open/close a program without the library would do: open, set
// the line, close.
void BM_Plain_OpenConfigureClose(benchmark::State& state) {
    for (auto _ : state) {
        PlainSlave slave;
        termios line{};
        tcgetattr(slave.fd(), &line);
        cfsetspeed(&line, B115200);
        tcsetattr(slave.fd(), TCSANOW, &line);
    }
}

BENCHMARK(BM_Library_WriteByte_PeerRead)->UseRealTime();
BENCHMARK(BM_Plain_Write_PeerRead)->UseRealTime();
BENCHMARK(BM_Library_PeerWrite_ReadByte)->UseRealTime();
BENCHMARK(BM_Plain_PeerWrite_Read)->UseRealTime();
BENCHMARK(BM_Library_ReadByte_Buffered)->UseRealTime();
BENCHMARK(BM_Library_WriteByte_Only)->UseRealTime();
BENCHMARK(BM_Library_InitializeUnInitialize)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plain_OpenConfigureClose)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Prints, after the usual output, each library figure beside its plain one.
// With repetitions, the median stands for a benchmark.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string& name = run.run_name.function_name;
            if (run.error_occurred) continue;
            const double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") median_[name] = seconds;
            } else {
                single_[name] = seconds;
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const char* pairs[][2] = {{"BM_Library_WriteByte_PeerRead", "BM_Plain_Write_PeerRead"},
                                  {"BM_Library_PeerWrite_ReadByte", "BM_Plain_PeerWrite_Read"},
                                  {"BM_Library_InitializeUnInitialize", "BM_Plain_OpenConfigureClose"}};
        std::printf("\n%-36s %14s %14s %8s\n", "library vs plain (per operation)", "library us", "plain us", "ratio");
        for (const auto& [library, plain] : pairs) {
            const auto ours = Seconds(library);
            const auto theirs = Seconds(plain);
            if (!ours || !theirs) continue;
            std::printf("%-36s %14.1f %14.1f %8.1f\n", library + 3, *ours * 1e6, *theirs * 1e6, *ours / *theirs);
        }
        std::printf("(one character at 115200 bit/s: 86.8 us)\n");
    }

private:
    std::optional<double> Seconds(const std::string& name) const {
        if (auto found = median_.find(name); found != median_.end()) return found->second;
        if (auto found = single_.find(name); found != single_.end()) return found->second;
        return std::nullopt;
    }

    std::map<std::string, double> median_;
    std::map<std::string, double> single_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Port();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
