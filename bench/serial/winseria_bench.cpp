// The serial library's cost on a pseudo-terminal pair beside plain blocking
// write()/read() on the same pair, measured in one run: every round runs each
// library case and then its plain counterpart, so both see the same load on a
// shared machine. The table gives the medians over the rounds, wall and
// whole-process CPU (all threads: the library's workers and service threads
// count), and their ratios. One character at 115200 bit/s lasts 86.8 us.
//
//   winseria_bench [--rounds=N] [--only=CASE]
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
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

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

void readOne(int fd) {
    std::uint8_t byte = 0;
    if (read(fd, &byte, 1) != 1) die("read");
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
        readOne(pty().master());
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

struct Case {
    const char* name;
    const char* unit;  // what one operation is
    std::function<void(std::size_t)> library;
    std::function<void(std::size_t)> plain;
    std::size_t libraryOps;
    std::size_t plainOps;
    std::size_t setupOps;  // see measure()
    bool asRate;           // print bytes per second instead of time per operation
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

void report(const Case& c, const std::vector<Cost>& library, const std::vector<Cost>& plain) {
    auto column = [](const std::vector<Cost>& costs, double Cost::*field) {
        std::vector<double> values;
        for (const Cost& cost : costs) values.push_back(cost.*field);
        return median(values);
    };
    double libWall = column(library, &Cost::wall), rawWall = column(plain, &Cost::wall);
    double libCpu = column(library, &Cost::cpu), rawCpu = column(plain, &Cost::cpu);
    if (c.asRate) {
        std::printf("%-10s %-22s %10.1f %10.1f %7.2f  %10.2f %10.2f %7.2f\n", c.name, "kB/s | CPU us/byte",
                    1e-3 / rawWall, 1e-3 / libWall, libWall / rawWall, rawCpu * 1e6, libCpu * 1e6, libCpu / rawCpu);
    } else {
        std::printf("%-10s %-22s %10.2f %10.2f %7.2f  %10.2f %10.2f %7.2f\n", c.name, c.unit, rawWall * 1e6,
                    libWall * 1e6, libWall / rawWall, rawCpu * 1e6, libCpu * 1e6, libCpu / rawCpu);
    }
}

std::vector<Case> cases() {
    return {
        {"write", "us per byte", throughLibrary(writeEach), throughPlainSlave(writeEach), 2000, 2000, 20, false},
        {"read", "us per byte", libraryRead, plainRead, 2000, 2000, 20, false},
        {"stream", "64 KiB one by one", throughLibrary(stream), throughPlainSlave(stream), kStreamBytes, kStreamBytes, 0, true},
        {"cycle", "us per open+close", libraryCycle, plainCycle, 10, 200, 0, false},
    };
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 7;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rounds=", 9) == 0) rounds = std::max(1, std::atoi(argv[i] + 9));
        if (std::strncmp(argv[i], "--only=", 7) == 0) only = argv[i] + 7;
    }
    pty();
    std::vector<Case> all = cases();
    if (!only.empty()) {
        for (const Case& c : all) {
            if (only == c.name) c.library(c.libraryOps);
            if (only == std::string("plain-") + c.name) c.plain(c.plainOps);
        }
        return 0;
    }
    std::vector<std::vector<Cost>> library(all.size()), plain(all.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < all.size(); ++i) {
            library[i].push_back(measure(all[i].library, all[i].libraryOps, all[i].setupOps));
            plain[i].push_back(measure(all[i].plain, all[i].plainOps, all[i].setupOps));
        }
    }
    std::printf("serial library vs plain write()/read() on one pty pair, medians of %d interleaved rounds\n", rounds);
    std::printf("%-10s %-22s %10s %10s %7s  %10s %10s %7s\n", "case", "unit", "wall raw", "library", "ratio",
                "CPU raw", "library", "ratio");
    for (std::size_t i = 0; i < all.size(); ++i) report(all[i], library[i], plain[i]);
    std::printf("CPU: the whole process (all threads), getrusage(RUSAGE_SELF).\n");
    std::printf("Ratios: library / raw cost (stream: raw rate / library rate).\n");
    return 0;
}
