// torvane1's command line, run as a process without a display: the options
// that end the program before the toolkit starts, and their failures.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Options, and the start without a display, which ends with a message
// instead of Qt's abort; `redirections` follow the standard streams' own.
TEST(Torvane1Options, EndBeforeTheToolkitStartsWithoutADisplay) {
    const std::string out = testing::TempDir() + "torvane1_options_out.txt";
    const std::string err = testing::TempDir() + "torvane1_options_err.txt";
    const std::string badDescriptor = "torvane1: cannot write the output: Bad file descriptor\n";
    const struct {
        std::string arguments;
        std::string redirections;  // after >out 2>err </dev/null
        int exitCode;
        std::string outStart;
        std::string errStart;
        std::string environment = "";
        std::string errEnd = "";  // instead of errStart: the last line, after Qt's own
    } cases[] = {
        {"--help", "", 0, "Usage: torvane1 [--demo]\n", ""},
        {"-h --demo", "", 0, "Usage: torvane1 [--demo]\n", ""},
        {"--version", "", 0, "torvane1 " TORVANE_VERSION "\n", ""},
        {"--bogus --help", "", 2, "", "torvane1: unknown argument: --bogus\n\nUsage: torvane1 [--demo]\n"},
        {"\"$(printf 'COM3\\033')\"", "", 2, "", "torvane1: unknown argument: COM3\\x1b\n"},
        {"''", "", 2, "", "torvane1: unknown argument: \n\nUsage: torvane1 [--demo]\n"},
        {"--version", ">/dev/full", 3, "", "torvane1: cannot write the output: No space left on device\n"},
        {"--version", ">&-", 3, "", badDescriptor},
        {"--help", "<&- >&-", 3, "", badDescriptor},
        {"", "", 4, "", "torvane1: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n"},
        // Named but not reached: Qt's fatal message, which would abort (134, a core file).
        {"", "", 4, "", "", "DISPLAY=/nonexistent/x:0",
         "torvane1: no display to show the window on (the platform plugin could not start)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments + " " + c.redirections);
        std::remove(out.c_str());
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + c.environment + " '" +
                                    TORVANE1_PROGRAM "' " + c.arguments + " >'" + out + "' 2>'" + err +
                                    "' </dev/null " + c.redirections;
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), c.exitCode);
        EXPECT_EQ(ReadFile(out).rfind(c.outStart, 0), 0u) << ReadFile(out);
        const std::string printed = ReadFile(err);
        if (!c.errEnd.empty())
            EXPECT_TRUE(printed.ends_with(c.errEnd)) << printed;
        else
            EXPECT_EQ(c.errStart.empty() ? printed : printed.substr(0, c.errStart.size()), c.errStart);
    }
}

// The unattended run (screenshot, then exit) prints the grid for the log: a
// converter's text goes out escaped, never as a control sequence (the name
// column keeps the window's padding).
TEST(Torvane1Options, UnattendedRunPrintsDeviceTextEscaped) {
    const std::string scenario = testing::TempDir() + "torvane1_awkward_text.json";
    const std::string out = testing::TempDir() + "torvane1_unattended_out.txt";
    std::ofstream(scenario, std::ios::binary) << R"({"library_version": "0x00020C0A", "devices": [
        {"serial": "T\\1", "description": "tab\there\nnew\rline\u001b[2J\u0007\u007f", "com_port": 5,
         "driver_version": "0x00010000"}]})";
    const std::string command = "env QT_QPA_PLATFORM=offscreen TORVANE_SIM='" + scenario +
                                "' TORVANE_SCREENSHOT='" + testing::TempDir() +
                                "torvane1_unattended.png' TORVANE_EXIT_AFTER_SCREENSHOT=1 "
                                "LSAN_OPTIONS=suppressions=" TORVANE_LSAN_SUPPRESSIONS " '" TORVANE1_PROGRAM "' >'" +
                                out + "' 2>/dev/null </dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string printed = ReadFile(out);
    EXPECT_NE(printed.find("COM5\ttab\\there\\nnew\\rline\\x1b[2J\\x07\\x7f  \t1.00.00\tT\\\\1\n"), std::string::npos)
        << printed;
    EXPECT_EQ(printed.find('\x1b'), std::string::npos) << printed;
}

}  // namespace
