#pragma once
// torvane1's command line, read before the GUI toolkit starts (so that --help
// and --version work without a display), and the checked write that every
// program's printed output goes through, with the escaping of a device's text
// in it. Portable.
#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>

namespace app {

struct WindowCommandLine {
    enum class Request { Run, Help, Version, Usage };
    Request request = Request::Run;
    bool demo = false;
    std::string unknown;  // the first argument not understood (Request::Usage)
};

// --demo, -h/--help and --version, each any number of times; --help and
// --version win over running. Anything else is a usage error: the toolkit's
// own options are not taken either (its environment variables are).
WindowCommandLine ParseWindowCommandLine(int argc, const char* const* argv);

// The help's lines on the environment variables both programs read (each
// line begins with a newline).
std::string ProgramEnvironmentHelp();

// The usage text (options, exit statuses, environment); the version line.
std::string WindowUsage();
std::string WindowVersion();

// Exit statuses of torvane1 besides the window's own 0.
inline constexpr int kWindowExitUsage = 2;        // an argument not understood
inline constexpr int kWindowExitOutputError = 3;  // --help or --version could not write its text
inline constexpr int kWindowExitNoDisplay = 4;     // Linux: no display to show the window on

// Writes all of `text` to `stream` and flushes it: 0 when it arrived, else the
// errno of the failed write (EPIPE: the reader went away).
int WriteAndFlush(std::FILE* stream, std::string_view text);

// The errno of the write of a C stream that has just failed (EIO when the
// stream set none), with EPIPE wherever the system says that the reader went
// away. One implementation per platform.
int ErrnoOfFailedWrite();

// The message for a failed write of `program`'s output on `err`; nothing
// for 0 or EPIPE (a reader that went away ends the program quietly, as Unix
// tools do).
void ReportWriteError(std::ostream& err, std::string_view program, int error);

// A device's text as one field of a printed line: tab, newline, carriage
// return and backslash written as \t, \n, \r and \\, the other control
// characters (below 0x20, and 0x7F) as \xHH in lower-case hexadecimal,
// everything else as it is.
std::string EscapeCell(std::string_view cell);

}  // namespace app
