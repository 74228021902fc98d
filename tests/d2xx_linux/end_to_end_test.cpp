// End to end on a fake sysfs tree: torvane-list, run as its own process over
// this libftd2xx.so (the one it loads by default, through its RUNPATH), lists
// the converters, and the COM number it prints is the port InitializePort
// opens (through TORVANE_PORTS_DIR, on a pseudo-terminal standing in for the
// converter's ttyUSB node).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "serial/include/winseria.h"
#include "tests/d2xx_linux/fake_sysfs.h"
#include "tests/d2xx_linux/shown_versions.h"
#include "torvane/unique_fd.h"

namespace {

namespace fs = std::filesystem;

struct PipeCloser {
    void operator()(FILE* f) const { pclose(f); }
};

// Runs the lister as a user would, without asking for the simulation; its stdout.
std::string RunLister() {
    const std::string command = std::string("env -u TORVANE_SIM '") + TORVANE_LIST_PROGRAM "' 2>/dev/null";
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

using shown_versions::KernelVersionShown;
using shown_versions::LibraryVersionShown;

// A pseudo-terminal whose slave stands in for the converter's node.
class Pty {
public:
    Pty() : master_(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        const int master = master_.Get();
        if (master_.Valid() && grantpt(master) == 0 && unlockpt(master) == 0) slave_ = ptsname(master);
    }
    const std::string& Slave() const { return slave_; }

private:
    torvane::UniqueFd master_;
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
        "COM35\tFT232R USB UART\t" + driver + "\tA10K1ABC",
        "COM37\tDual RS232-HS\t" + driver + "\tFT5XYZA",
        "COM38\tDual RS232-HS\t" + driver + "\tFT5XYZB",
        "----\tFT232R USB UART\t" + driver + "\tNOTTY001",
        "Wersja biblioteki FTD2XX.DLL: " +
            LibraryVersionShown(),
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

// Trees modelled on hardware people plug in, where serials do not tell the
// channels apart: every row must show its own channel's port, description and serial.
struct HardwareCase {
    const char* set;                // fake_sysfs::HardwareSet
    std::vector<std::string> rows;  // port, description and serial of each row, tab-joined
};

std::vector<HardwareCase> HardwareCases() {
    std::vector<HardwareCase> cases;
    HardwareCase box{"four FT4232H without serials in one box", {}};
    for (int chip = 0; chip < 4; ++chip) {
        for (int channel = 0; channel < 4; ++channel)
            box.rows.push_back("COM" + std::to_string(33 + 4 * chip + channel) + "\tQuad RS232-HS\t" +
                               std::string(1, static_cast<char>('A' + channel)));
    }
    cases.push_back(box);
    cases.push_back({"two FT2232H without serials",
                     {"COM33\tDual RS232-HS\tA", "COM34\tDual RS232-HS\tB", "COM35\tDual RS232-HS\tA",
                      "COM36\tDual RS232-HS\tB"}});
    cases.push_back({"two FT232R sharing a serial", {"COM33\tFT232R USB UART\tA50285BI", "COM34\tUSB Serial\tA50285BI"}});
    cases.push_back({"a channel bound to another driver", {"----\tDual RS232-HS\tFT9JTAGA", "COM34\tDual RS232-HS\tFT9JTAGB"}});
    cases.push_back({"a 16-character serial on a two-channel chip",
                     {"COM38\tDual RS232-HS\t0123456789ABCDEA", "COM39\tDual RS232-HS\t0123456789ABCDEB"}});
    return cases;
}

TEST(EndToEnd, EveryRowShowsItsOwnChannel) {
    const std::string driver = KernelVersionShown();
    for (const HardwareCase& c : HardwareCases()) {
        SCOPED_TRACE(c.set);
        fake_sysfs::Tree tree;
        for (const fake_sysfs::UsbDevice& device : fake_sysfs::HardwareSet(c.set)) tree.Add(device);
        const std::vector<std::string> lines = Lines(RunLister());
        ASSERT_EQ(lines.size(), c.rows.size() + 2);
        for (std::size_t row = 0; row < c.rows.size(); ++row) {
            // The driver version goes between the name and the serial.
            const std::string& expected = c.rows[row];
            const std::size_t serial = expected.find('\t', expected.find('\t') + 1);
            EXPECT_EQ(lines[row + 1], expected.substr(0, serial) + "\t" + driver + expected.substr(serial));
        }
    }
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
