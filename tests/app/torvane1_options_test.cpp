// torvane1's command line, run as a process without a display: the options
// that end the program before the toolkit starts, and their failures.
#include <gtest/gtest.h>
#include <sys/wait.h>

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

TEST(Torvane1Options, EndBeforeTheToolkitStartsWithoutADisplay) {
    const std::string out = testing::TempDir() + "torvane1_options_out.txt";
    const std::string err = testing::TempDir() + "torvane1_options_err.txt";
    const struct {
        std::string arguments;
        std::string stdoutFile;  // empty: a scratch file read back
        int exitCode;
        std::string outStart;
        std::string errStart;
    } cases[] = {
        {"--help", "", 0, "Usage: torvane1 [--demo]\n", ""},
        {"-h --demo", "", 0, "Usage: torvane1 [--demo]\n", ""},
        {"--version", "", 0, "torvane1 " TORVANE_VERSION "\n", ""},
        {"--bogus --help", "", 2, "", "torvane1: unknown argument: --bogus\n\nUsage: torvane1 [--demo]\n"},
        {"COM3", "", 2, "", "torvane1: unknown argument: COM3\n"},
        {"--version", "/dev/full", 3, "", "torvane1: cannot write the output: No space left on device\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments + " > " + c.stdoutFile);
        const std::string target = c.stdoutFile.empty() ? out : c.stdoutFile;
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" TORVANE1_PROGRAM "' " +
                                    c.arguments + " >'" + target + "' 2>'" + err + "' </dev/null";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.exitCode);
        if (c.stdoutFile.empty()) {
            EXPECT_EQ(ReadFile(out).rfind(c.outStart, 0), 0u) << ReadFile(out);
        }
        const std::string printed = ReadFile(err);
        EXPECT_EQ(c.errStart.empty() ? printed : printed.substr(0, c.errStart.size()), c.errStart);
    }
}

}  // namespace
