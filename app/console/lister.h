#pragma once
// torvane-list: the device list refresh into an in-memory grid, printed for
// scripts. Kept apart from main() so that tests can run it in-process.
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace torvane_list {

enum class Format {
    Tsv,   // the grid's rows, cells joined by a tab, then the label's text
    Json,  // one document: the library version and one object per device row
};

struct Options {
    Format format = Format::Tsv;
    bool demo = false;  // list the simulated device set
};

// Exit statuses.
inline constexpr int kExitClean = 0;       // the refresh showed no dialog
inline constexpr int kExitDialogShown = 1;  // it did; the rows are printed all the same
inline constexpr int kExitUsage = 2;        // the command line was not understood (app/demo_launch.h
                                            // ends with 2, too, when the simulation asked for is missing)

// Parses the command line into `options`. Returns the exit status when the
// program ends here: --help and --version print to `out` (0); a usage error
// prints its message and a hint to `err` (kExitUsage).
std::optional<int> ParseCommandLine(int argc, const char* const* argv, Options& options, std::ostream& out,
                                    std::ostream& err);

// Runs one refresh and prints it to `out` in `format`. Every dialog the
// refresh shows, and an error escaping it (with a full stop added), goes to
// `err` as one line "torvane-list: <text>". Returns kExitDialogShown when
// there was at least one, else kExitClean.
int ListDevices(Format format, std::ostream& out, std::ostream& err);

// A cell as one field of a line: tab, newline, carriage return and backslash
// written as \t, \n, \r and \\, everything else as it is.
std::string EscapeCell(std::string_view cell);

}  // namespace torvane_list
