#pragma once
// torvane-list: the device list refresh into an in-memory grid, printed for
// scripts. Kept apart from main() so that tests can run it in-process.
#include <cstdio>
#include <iosfwd>
#include <nlohmann/json_fwd.hpp>
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
    bool demo = false;   // list the simulated device set
    bool watch = false;  // list again whenever a converter comes or goes
    std::optional<int> setLatency;  // --set-latency: the timer to set, in ms (1..255)
    std::string port;               // --port: the converter it is set on
};

// Exit statuses.
inline constexpr int kExitClean = 0;        // no dialog was shown
inline constexpr int kExitDialogShown = 1;  // one was; the rows are printed all the same
inline constexpr int kExitUsage = 2;        // the command line was not understood (app/demo_launch.h
                                            // ends with 2, too, when the simulation asked for is missing)
inline constexpr int kExitOutputError = 3;  // the output could not be written (also: its reader went away)
inline constexpr int kExitNoWatch = 4;      // --watch: no source of device events on this system
inline constexpr int kExitNoSuchPort = 5;   // --set-latency: --port names no listed converter, or several
inline constexpr int kExitLatencyNotSet = 6;  // --set-latency: the converter could not be opened or refused

// The version of the JSON document ("format"); raised when a field changes meaning or goes.
inline constexpr int kJsonFormat = 1;

// Where the listing goes.
class Output {
public:
    virtual ~Output() = default;
    // Writes all of `text` and flushes it: 0 when it arrived, else the errno
    // of the failed write (EPIPE: the reader went away).
    virtual int Write(std::string_view text) = 0;
};

// A C stream (stdout in the program): each Write ends with a flush, so that
// every failure is seen at the write that caused it.
class StreamOutput final : public Output {
public:
    explicit StreamOutput(std::FILE* stream) : stream_(stream) {}
    int Write(std::string_view text) override;

private:
    std::FILE* stream_;
};

// Parses the command line into `options`. Returns the exit status when the
// program ends here: --help and --version print to `out` (0, or
// kExitOutputError when that fails); a usage error prints its message and a
// hint to `err` (kExitUsage).
std::optional<int> ParseCommandLine(int argc, const char* const* argv, Options& options, Output& out,
                                    std::ostream& err);

// Runs one refresh and prints it to `out` in `format`. Every dialog the
// refresh shows, and an error escaping it (with a full stop added), goes to
// `err` as one line "torvane-list: <text>". Returns kExitDialogShown when
// there was at least one, else kExitClean; kExitOutputError when the output
// failed (with a message on `err`, none when its reader went away).
int ListDevices(Format format, Output& out, std::ostream& err);

// The "devices" array of --json's document after one refresh (its dialogs go
// to `err` as they do there).
nlohmann::ordered_json ListedDevices(std::ostream& err);

// What asks a watch for the list again, or ends it.
class ChangeFeed {
public:
    enum class Next { Changed, Stop };
    virtual ~ChangeFeed() = default;
    // Blocks until a converter came or went (Changed) or the watch is to end (Stop).
    virtual Next WaitForChange() = 0;
};

// Lists once, then again after every change `feed` reports, each listing
// written whole (with --json one document per line), until the feed says stop
// or the output's reader goes away: then kExitClean, or kExitDialogShown when
// any listing showed a dialog. kExitOutputError when a write fails otherwise.
int WatchDevices(Format format, ChangeFeed& feed, Output& out, std::ostream& err);

}  // namespace torvane_list
