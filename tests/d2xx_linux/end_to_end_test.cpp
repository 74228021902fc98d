// End to end on a fake sysfs tree: torvane-list, run as its own process over
// this libftd2xx.so (chosen through LD_LIBRARY_PATH, as `make run` does), lists
// the converters, and the COM number it prints is the port InitializePort
// opens (through TORVANE_PORTS_DIR, on a pseudo-terminal standing in for the
// converter's ttyUSB node).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "d2xx/linux/version_packing.h"
#include "serial/include/winseria.h"
#include "tests/d2xx_linux/fake_sysfs.h"

namespace {

namespace fs = std::filesystem;

struct PipeCloser {
    void operator()(FILE* f) const { pclose(f); }
};

// Runs the lister with this library first on the search path; its stdout.
std::string RunLister() {
    const std::string command = std::string("LD_LIBRARY_PATH='") + TORVANE_FTD2XX_LINUX_DIR "' '" +
                                TORVANE_LIST_PROGRAM "' 2>/dev/null";
    std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    if (!pipe) return {};
    std::string out;
    char buffer[512];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) out.append(buffer, n);
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The window's version text, written here independently of the device list code.
std::string ShownVersion(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%X.%02X.%02X", (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    return text;
}

std::string KernelVersionShown() {
    utsname names{};
    if (uname(&names) != 0) return "??.??.??";
    const auto packed = ftdi_linux::PackReleaseText(names.release);
    return packed && *packed ? ShownVersion(*packed) : "??.??.??";
}

std::string Padded(std::string name) {
    name.resize(std::max<std::size_t>(name.size(), 25), ' ');
    return name;
}

// A pseudo-terminal whose slave stands in for the converter's node.
class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) slave_ = ptsname(master_);
    }
    ~Pty() {
        if (master_ >= 0) close(master_);
    }
    const std::string& Slave() const { return slave_; }

private:
    int master_ = -1;
    std::string slave_;
};

// A private ports directory, set as TORVANE_PORTS_DIR while it lives.
class PortsDir {
public:
    PortsDir() {
        std::string pattern = (fs::temp_directory_path() / "torvane-ports-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
        setenv("TORVANE_PORTS_DIR", path_.c_str(), 1);
    }
    ~PortsDir() {
        unsetenv("TORVANE_PORTS_DIR");
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    void Link(int comNumber, const std::string& target) {
        fs::create_symlink(target, path_ / ("com" + std::to_string(comNumber)));
    }

private:
    fs::path path_;
};

TEST(EndToEnd, ListerShowsTheAttachedConvertersAndItsPortOpens) {
    fake_sysfs::Tree tree;
    tree.Add(fake_sysfs::Ft232r("1-1", "A10K1ABC", 2));
    tree.Add(fake_sysfs::Ft2232h("1-2", "FT5XYZ", 4, 5));
    tree.Add(fake_sysfs::Ft232r("1-3", "NOTTY001", std::nullopt));
    tree.Add(fake_sysfs::NonFtdi("1-4"));

    const std::vector<std::string> lines = Lines(RunLister());
    const std::string driver = KernelVersionShown();
    const std::vector<std::string> expected = {
        "PORT\tNAZWA\tWERSJA STEROWNIKA\tS/N",
        "COM35\t" + Padded("FT232R USB UART") + "\t" + driver + "\tA10K1ABC",
        "COM37\t" + Padded("Dual RS232-HS") + "\t" + driver + "\tFT5XYZA",
        "COM38\t" + Padded("Dual RS232-HS") + "\t" + driver + "\tFT5XYZB",
        "----\t" + Padded("FT232R USB UART") + "\t" + driver + "\tNOTTY001",
        "Wersja biblioteki FTD2XX.DLL: " +
            ShownVersion(ftdi_linux::PackVersion(TORVANE_VERSION_MAJOR, TORVANE_VERSION_MINOR, TORVANE_VERSION_PATCH)),
    };
    ASSERT_EQ(lines, expected);

    // The number in the PORT column is the number the serial library opens.
    const int com = std::stoi(lines[1].substr(3, lines[1].find('\t') - 3));
    Pty pty;
    ASSERT_FALSE(pty.Slave().empty());
    PortsDir ports;
    ports.Link(com, pty.Slave());
    EXPECT_EQ(InitializePort(static_cast<std::uint8_t>(com), 9600, 1, 1), 0);
    EXPECT_EQ(UnInitializePort(), 0);
}

TEST(EndToEnd, ListerWithNoConverterShowsAnEmptyRowAndTheVersion) {
    fake_sysfs::Tree tree;
    tree.Add(fake_sysfs::NonFtdi("1-4"));
    const std::vector<std::string> lines = Lines(RunLister());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "\t\t\t");
    EXPECT_EQ(lines[2].rfind("Wersja biblioteki FTD2XX.DLL: ", 0), 0u);
}

}  // namespace
