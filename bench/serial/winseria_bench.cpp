// The serial library's cost on a pseudo-terminal pair beside plain blocking
// write()/read(), beside the floor of its own design (floor_model.h: the
// same threads and hand-overs with the cheapest primitives) and beside
// pyserial's write(1)/read(1) (Debian's python3-serial, in a child process on
// the same pair), measured in one run: every round runs each library case,
// then its plain, floor and pyserial counterparts, so all see the same load
// on a shared machine. The table gives
// the medians over the rounds of wall and whole-process CPU (all threads: the
// library's workers and service threads count) and the medians of the
// per-round ratios. Then an open port is left idle and its CPU measured. One
// character at 115200 bit/s lasts 86.8 us.
//
//   winseria_bench [--rounds=N] [--idle-seconds=N] [--only=CASE]
//
// --only runs one case's library side once (or its plain side with
// --only=plain-CASE), without the table: for counting its system calls with
// `strace -f -c` (docs/PERFORMANCE.md).
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/serial/floor_model.h"
#include "serial/include/winseria.h"
#include "torvane/unique_fd.h"

namespace {

constexpr std::uint8_t kPort = 4;
constexpr std::size_t kStreamBytes = 64 * 1024;

void makeRaw(int fd) {
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
}

// A pseudo-terminal linked as COM4 in a private TORVANE_PORTS_DIR.
class PtyPort {
public:
    PtyPort() : master_(posix_openpt(O_RDWR | O_NOCTTY)) {
        if (!master_.Valid() || grantpt(master_.Get()) != 0 || unlockpt(master_.Get()) != 0)
            throw std::runtime_error("pty");
        makeRaw(master_.Get());
        char pattern[] = "/tmp/winseria-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
        directory_ = pattern;
        slave_ = ptsname(master_.Get());
        std::filesystem::create_symlink(slave_, directory_ + "/com" + std::to_string(kPort));
        setenv("TORVANE_PORTS_DIR", directory_.c_str(), 1);
    }
    ~PtyPort() {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
    int master() const { return master_.Get(); }
    const std::string& slave() const { return slave_; }

private:
    torvane::UniqueFd master_;
    std::string directory_;
    std::string slave_;
};

PtyPort& pty() {
    static PtyPort port;
    return port;
}

[[noreturn]] void die(const char* what) {
    std::fprintf(stderr, "winseria_bench: %s failed\n", what);
    std::exit(1);
}

std::uint8_t readOne(int fd) {
    std::uint8_t byte = 0;
    if (read(fd, &byte, 1) != 1) die("read");
    return byte;
}

void writeOne(int fd, std::uint8_t byte) {
    if (write(fd, &byte, 1) != 1) die("write");
}

void readExactly(int fd, std::size_t count) {
    std::vector<std::uint8_t> buffer(4096);
    for (std::size_t got = 0; got < count;) {
        ssize_t n = read(fd, buffer.data(), std::min(buffer.size(), count - got));
        if (n <= 0) die("stream read");
        got += static_cast<std::size_t>(n);
    }
}

// The other side of the test: the port opened through the library, or the
// slave opened plainly (raw, blocking).
class LibraryPort {
public:
    LibraryPort() {
        if (InitializePort(kPort, 115200, 2, 2) != 0) die("InitializePort");
    }
    ~LibraryPort() { UnInitializePort(); }
};

class PlainSlave {
public:
    PlainSlave() : fd_(open(pty().slave().c_str(), O_RDWR | O_NOCTTY)) {
        if (!fd_.Valid()) die("open slave");
        makeRaw(fd_.Get());
    }
    int fd() const { return fd_.Get(); }

private:
    torvane::UniqueFd fd_;
};

// ---- the operations, each repeated n times ----

// n bytes, each written by `writeByte` and read back on the master.
void writeEach(std::size_t n, const std::function<void(std::uint8_t)>& writeByte) {
    for (std::size_t i = 0; i < n; ++i) {
        writeByte(static_cast<std::uint8_t>(i));
        if (readOne(pty().master()) != static_cast<std::uint8_t>(i)) die("byte check");
    }
}

// n bytes, each written on the master and read back by `readByte`.
void readEach(std::size_t n, const std::function<void()>& readByte) {
    for (std::size_t i = 0; i < n; ++i) {
        writeOne(pty().master(), static_cast<std::uint8_t>(i));
        readByte();
    }
}

void libraryRead(std::size_t n) {
    LibraryPort port;
    readEach(n, [] {
        std::uint8_t in = 0;
        if (!ReadByte(&in)) die("ReadByte");
    });
}

void plainRead(std::size_t n) {
    PlainSlave slave;
    readEach(n, [&] { readOne(slave.fd()); });
}

void floorRead(std::size_t n) {
    winseria::bench::FloorPort port(pty().slave());
    readEach(n, [&] {
        std::uint8_t in = 0;
        if (!port.readByte(in)) die("floor readByte");
    });
}

// n bytes written one at a time while another thread reads them in bulk.
void stream(std::size_t n, const std::function<void(std::uint8_t)>& writeByte) {
    std::thread reader([n] { readExactly(pty().master(), n); });
    for (std::size_t i = 0; i < n; ++i) writeByte(static_cast<std::uint8_t>(i));
    reader.join();
}

// A writing operation (writeEach, stream) on n bytes, each written by
// WriteByte on the library's port, or plainly on the slave.
using WritingOperation = void (*)(std::size_t, const std::function<void(std::uint8_t)>&);

std::function<void(std::size_t)> throughLibrary(WritingOperation operation) {
    return [operation](std::size_t n) {
        LibraryPort port;
        operation(n, [](std::uint8_t b) {
            if (!WriteByte(b)) die("WriteByte");
        });
    };
}

std::function<void(std::size_t)> throughPlainSlave(WritingOperation operation) {
    return [operation](std::size_t n) {
        PlainSlave slave;
        operation(n, [&](std::uint8_t b) { writeOne(slave.fd(), b); });
    };
}

std::function<void(std::size_t)> throughFloor(WritingOperation operation) {
    return [operation](std::size_t n) {
        winseria::bench::FloorPort port(pty().slave());
        operation(n, [&](std::uint8_t b) {
            if (!port.writeByte(b)) die("floor writeByte");
        });
    };
}

void libraryCycle(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) LibraryPort port;
}

void plainCycle(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        PlainSlave slave;
        termios line{};
        tcgetattr(slave.fd(), &line);
        cfsetspeed(&line, B115200);
        tcsetattr(slave.fd(), TCSANOW, &line);
    }
}

// ---- measuring ----

struct Cost {
    double wall = 0;  // seconds per operation
    double cpu = 0;   // seconds of the whole process per operation
};

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The port's opening and closing happen inside run(); for the per-byte cases
// they are measured apart and taken off.
Cost measure(const std::function<void(std::size_t)>& run, std::size_t n, std::size_t setupOps) {
    auto timed = [&](std::size_t count) {
        double cpu0 = processCpuSeconds();
        auto wall0 = std::chrono::steady_clock::now();
        run(count);
        std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall0;
        return Cost{wall.count(), processCpuSeconds() - cpu0};
    };
    Cost total = timed(n);
    if (setupOps > 0) {
        Cost setup = timed(setupOps);  // the same opening and closing with few operations
        total.wall -= setup.wall;
        total.cpu -= setup.cpu;
        n -= setupOps;
    }
    return {total.wall / static_cast<double>(n), total.cpu / static_cast<double>(n)};
}

// The same operation through pyserial in Debian's Python (python3-serial),
// on the same pty pair: the child inherits the master and opens the slave.
// Nothing when the interpreter or the package is missing.
std::optional<Cost> pyserial(const char* pyCase, std::size_t n) {
    std::string command = std::string(TORVANE_BENCH_PYTHON) + " -I " + TORVANE_PYSERIAL_PEER + " " + pyCase + " " +
                          std::to_string(n) + " " + std::to_string(pty().master()) + " " + pty().slave() +
                          " 2>/dev/null";
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) return std::nullopt;
    Cost cost;
    int fields = std::fscanf(out, "%lf %lf", &cost.wall, &cost.cpu);
    if (pclose(out) != 0 || fields != 2) return std::nullopt;
    return cost;
}

struct Case {
    const char* name;
    const char* unit;  // what one operation is
    std::function<void(std::size_t)> library;
    std::function<void(std::size_t)> plain;
    std::function<void(std::size_t)> floor;  // none: no floor
    const char* pyCase;  // pyserial_peer.py's case; nullptr: none
    std::size_t libraryOps;
    std::size_t plainOps;
    std::size_t setupOps;  // see measure()
    bool asRate;           // print bytes per second instead of time per operation
};

// One round of a case: the library, plain calls, the floor and pyserial (if any).
struct Round {
    Cost library;
    Cost plain;
    std::optional<Cost> floor;
    std::optional<Cost> python;
};

double median(std::vector<double> values) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// The median over the rounds of one figure (nothing from rounds without it).
double medianOf(const std::vector<Round>& rounds, const std::function<std::optional<double>(const Round&)>& figure) {
    std::vector<double> values;
    for (const Round& round : rounds)
        if (std::optional<double> value = figure(round)) values.push_back(*value);
    return median(values);
}

void report(const Case& c, const std::vector<Round>& rounds) {
    auto print = [&](const char* what, double Cost::*field, bool rate) {
        auto shown = [&](double seconds) { return rate ? 1e-3 / seconds : seconds * 1e6; };
        auto of = [field](const std::optional<Cost> Round::*side) {
            return [field, side](const Round& r) -> std::optional<double> {
                return (r.*side) ? std::optional((*(r.*side)).*field) : std::nullopt;
            };
        };
        auto libraryOver = [field](const std::function<std::optional<double>(const Round&)>& other) {
            return [field, other](const Round& r) -> std::optional<double> {
                if (auto o = other(r)) return r.library.*field / *o;
                return std::nullopt;
            };
        };
        auto plain = [field](const Round& r) -> std::optional<double> { return r.plain.*field; };
        std::printf("%-7s %-5s %10.2f %10.2f %10.2f %10.2f %8.2f %8.2f %8.2f\n", c.name, what,
                    shown(medianOf(rounds, plain)), shown(medianOf(rounds, of(&Round::floor))),
                    shown(medianOf(rounds, of(&Round::python))),
                    shown(medianOf(rounds, [&](const Round& r) { return r.library.*field; })),
                    medianOf(rounds, libraryOver(plain)), medianOf(rounds, libraryOver(of(&Round::floor))),
                    medianOf(rounds, libraryOver(of(&Round::python))));
    };
    std::printf("%-7s %s\n", c.name, c.asRate ? "(wall: kB/s, CPU: us per byte)" : c.unit);
    print("wall", &Cost::wall, c.asRate);
    print("CPU", &Cost::cpu, false);
}

std::vector<Case> cases() {
    return {
        {"write", "us per byte", throughLibrary(writeEach), throughPlainSlave(writeEach), throughFloor(writeEach),
         "write", 2000, 2000, 20, false},
        {"read", "us per byte", libraryRead, plainRead, floorRead, "read", 2000, 2000, 20, false},
        {"stream", "64 KiB one by one", throughLibrary(stream), throughPlainSlave(stream), throughFloor(stream),
         "stream", kStreamBytes, kStreamBytes, 0, true},
        {"cycle", "us per open+close", libraryCycle, plainCycle, nullptr, nullptr, 10, 200, 0, false},
    };
}

// The system's 1-, 5- and 15-minute load averages: the machine may be shared.
std::string loadAverage() {
    double one = 0, five = 0, fifteen = 0;
    FILE* f = std::fopen("/proc/loadavg", "r");
    if (f == nullptr) return "?";
    const int fields = std::fscanf(f, "%lf %lf %lf", &one, &five, &fifteen);
    std::fclose(f);
    if (fields != 3) return "?";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", one, five, fifteen);
    return text;
}

// CPU of the whole process while an open port sees no traffic.
double idlePortCpuSeconds(int seconds) {
    LibraryPort port;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the opening's own work settles
    double cpu0 = processCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return processCpuSeconds() - cpu0;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 7;
    int idleSeconds = 10;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rounds=", 9) == 0) rounds = std::max(1, std::atoi(argv[i] + 9));
        if (std::strncmp(argv[i], "--idle-seconds=", 15) == 0) idleSeconds = std::max(0, std::atoi(argv[i] + 15));
        if (std::strncmp(argv[i], "--only=", 7) == 0) only = argv[i] + 7;
    }
    pty();
    std::vector<Case> all = cases();
    if (!only.empty()) {
        for (const Case& c : all) {
            if (only == c.name) c.library(c.libraryOps);
            if (only == std::string("plain-") + c.name) c.plain(c.plainOps);
            if (only == std::string("floor-") + c.name && c.floor) c.floor(c.libraryOps);
        }
        return 0;
    }
    const std::string loadBefore = loadAverage();
    std::vector<std::vector<Round>> results(all.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < all.size(); ++i) {
            const Case& c = all[i];
            Round r{measure(c.library, c.libraryOps, c.setupOps), measure(c.plain, c.plainOps, c.setupOps),
                    c.floor ? std::optional(measure(c.floor, c.libraryOps, c.setupOps)) : std::nullopt,
                    c.pyCase ? pyserial(c.pyCase, c.libraryOps) : std::nullopt};
            results[i].push_back(r);
        }
    }
    std::printf("serial library vs plain write()/read(), its design's floor and pyserial on one pty pair,\n"
                "%d interleaved rounds; load average %s before, %s after\n",
                rounds, loadBefore.c_str(), loadAverage().c_str());
    std::printf("%-7s %-5s %10s %10s %10s %10s %8s %8s %8s\n", "case", "", "raw", "floor", "pyserial", "library",
                "lib/raw", "lib/floor", "lib/py");
    for (std::size_t i = 0; i < all.size(); ++i) report(all[i], results[i]);
    std::printf("Figures: medians over the rounds; ratios: medians of the per-round ratios of costs (time or CPU\n"
                "per operation: below 1 the library is cheaper). CPU: the whole process, all threads\n"
                "(getrusage(RUSAGE_SELF)); pyserial's: its own process. nan: pyserial not available.\n"
                "floor: the library's threads and hand-overs with futex words and blocking calls (floor_model.h).\n");
    if (idleSeconds > 0)
        std::printf("idle open port: %.3f ms of CPU in %d s\n", idlePortCpuSeconds(idleSeconds) * 1e3, idleSeconds);
    return 0;
}
