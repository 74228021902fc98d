#include "app/window_options.h"

#include <cerrno>
#include <cstring>

namespace app {
namespace {

// C0 controls and DEL: a device's string could otherwise send escape
// sequences to the user's terminal. The text is UTF-8 decoded from
// Windows-1250, which has no C1 controls.
bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

void AppendHexEscape(std::string& out, char c) {
    constexpr char kDigits[] = "0123456789abcdef";
    const auto byte = static_cast<unsigned char>(c);
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
}

constexpr char kSimulationEnvironment[] = R"(
  TORVANE_SIM         when set, list the simulated devices (as --demo does),
                      from the JSON scenario file it names, or a built-in set
                      when it is empty
  TORVANE_DEMO_RELAUNCHED
                      set by the program itself when it starts again over the
                      simulated library; never set it)";

#if defined(_WIN32)
constexpr char kSysfsEnvironment[] = "";
constexpr char kScreenshotStatus[] = "";
constexpr char kOutputStatus[] = "";
constexpr char kWindowEnvironment[] = "";
#else
constexpr char kSysfsEnvironment[] = R"(
  TORVANE_SYSFS_ROOT  read the converters from this directory instead of /sys
  LD_LIBRARY_PATH     a directory on it holding another libftd2xx.so (such as
                      the simulated one) is used instead of the library over
                      the attached converters)";
constexpr char kScreenshotStatus[] = R"(
  1  an unattended run (TORVANE_SCREENSHOT) could not save its screenshot)";
constexpr char kOutputStatus[] = R"(
  3  the help or version could not be written
  4  no display to show the window on (none named, or none reached))";
constexpr char kWindowEnvironment[] = R"(
  TORVANE_PORTS_DIR   the serial library opens COM<n> as the link com<n> in
                      this directory instead of its fixed numbering
  TORVANE_SCREENSHOT  save the window as this PNG after the first refresh and
                      print its grid on standard output
  TORVANE_EXIT_AFTER_SCREENSHOT
                      1: then close the window (unattended runs)
  QT_QPA_PLATFORM, DISPLAY, ...
                      Qt's own (offscreen: no display needed))";
#endif

}  // namespace

WindowCommandLine ParseWindowCommandLine(int argc, const char* const* argv) {
    WindowCommandLine line;
    bool help = false;
    bool version = false;
    bool unknown = false;  // an empty argument is not understood either
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--demo") {
            line.demo = true;
        } else if (argument == "--help" || argument == "-h") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else if (!unknown) {
            unknown = true;
            line.unknown = argument;
        }
    }
    if (unknown)
        line.request = WindowCommandLine::Request::Usage;
    else if (help)
        line.request = WindowCommandLine::Request::Help;
    else if (version)
        line.request = WindowCommandLine::Request::Version;
    return line;
}

std::string WindowUsage() {
    return std::string(R"(Usage: torvane1 [--demo]
       torvane1 --help | --version

Shows the FTDI USB-to-serial converters attached to this machine in a window:
one row per converter with its COM port, description, driver version and
serial number, and the vendor library's version under the grid.

Options:
  --demo      list the simulated demo devices instead of the attached converters
  -h, --help  print this help and exit
  --version   print the version and exit

Exit status:
  0  the window was closed (or the help or version was printed))") +
           kScreenshotStatus + R"(
  2  an argument was not understood, or the simulated library is missing)" +
           kOutputStatus + R"(

Environment:)" +
           ProgramEnvironmentHelp() + kWindowEnvironment + "\n";
}

std::string ProgramEnvironmentHelp() { return std::string(kSimulationEnvironment) + kSysfsEnvironment; }

std::string WindowVersion() { return "torvane1 " TORVANE_VERSION "\n"; }

int WriteAndFlush(std::FILE* stream, std::string_view text) {
    errno = 0;
    const std::size_t written = std::fwrite(text.data(), 1, text.size(), stream);
    if (written == text.size() && std::fflush(stream) == 0) return 0;
    const int error = ErrnoOfFailedWrite();
    std::clearerr(stream);
    return error;
}

void ReportWriteError(std::ostream& err, std::string_view program, int error) {
    if (error == 0 || error == EPIPE) return;
    err << program << ": cannot write the output: " << std::strerror(error) << '\n' << std::flush;
}

std::string EscapeCell(std::string_view cell) {
    std::string escaped;
    escaped.reserve(cell.size());
    for (const char c : cell) {
        switch (c) {
            case '\t': escaped += "\\t"; break;
            case '\n': escaped += "\\n"; break;
            case '\r': escaped += "\\r"; break;
            case '\\': escaped += "\\\\"; break;
            default:
                if (IsControl(c))
                    AppendHexEscape(escaped, c);
                else
                    escaped += c;
        }
    }
    return escaped;
}

}  // namespace app
