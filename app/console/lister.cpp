#include "app/console/lister.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "devlist/memory_view.h"
#include "devlist/texts.h"
#include "devlist/unit2.h"
#include "devlist/view.h"
#include "torvane/messages.h"

namespace torvane_list {
namespace {

constexpr char kProgram[] = "torvane-list";
constexpr int kNameColumn = 1;  // the only column the refresh pads with blanks

// Every dialog becomes one line on the error stream; nothing waits for a user.
class StreamSink final : public torvane::MessageSink {
public:
    explicit StreamSink(std::ostream& err) : err_(err) {}
    void ShowInformation(const std::string& text) override { Print(text); }
    void ShowError(const std::string&, const std::string& text) override { Print(text); }
    void ShowFatal(const std::string&, const std::string& text) override { Print(text); }

    void Print(const std::string& text) {
        err_ << kProgram << ": " << EscapeCell(text) << '\n' << std::flush;
        shown_ = true;
    }
    bool AnyShown() const { return shown_; }

private:
    std::ostream& err_;
    bool shown_ = false;
};

// Installs the grid, label and sink for the span of one listing.
class InstalledSeams {
public:
    InstalledSeams(devlist::MemoryGrid& grid, devlist::MemoryLabel& label, StreamSink& sink) {
        devlist::InstallDeviceListView({&grid, &label});
        torvane::InstallMessageSink(&sink);
    }
    ~InstalledSeams() {
        torvane::InstallMessageSink(nullptr);
        devlist::InstallDeviceListView({});
    }
    InstalledSeams(const InstalledSeams&) = delete;
    InstalledSeams& operator=(const InstalledSeams&) = delete;
};

std::string Unpadded(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string CellText(const devlist::MemoryGrid& grid, int column, int row) {
    std::string text = grid.Cell(column, row);
    return column == kNameColumn ? Unpadded(std::move(text)) : text;
}

void PrintTsv(const devlist::MemoryGrid& grid, const devlist::MemoryLabel& label, std::ostream& out) {
    for (int row = 0; row < grid.RowCount(); ++row) {
        for (int column = 0; column < grid.ColumnCount(); ++column) {
            if (column > 0) out << '\t';
            out << EscapeCell(CellText(grid, column, row));
        }
        out << '\n';
    }
    out << EscapeCell(label.Text()) << '\n' << std::flush;
}

bool RowIsEmpty(const devlist::MemoryGrid& grid, int row) {
    for (int column = 0; column < grid.ColumnCount(); ++column)
        if (!grid.Cell(column, row).empty()) return false;
    return true;
}

// The label's version without its prefix; the unknown-version text (or an
// empty label, on the registry path) as it is.
std::string LibraryVersion(const std::string& label) {
    const std::string_view prefix = devlist::kLibraryVersionPrefix;
    return label.rfind(prefix, 0) == 0 ? label.substr(prefix.size()) : label;
}

void PrintJson(const devlist::MemoryGrid& grid, const devlist::MemoryLabel& label, std::ostream& out) {
    nlohmann::ordered_json devices = nlohmann::ordered_json::array();
    for (int row = grid.FixedRows(); row < grid.RowCount(); ++row) {
        if (RowIsEmpty(grid, row)) continue;  // a device that could not be read, or none at all
        devices.push_back({{"port", CellText(grid, 0, row)},
                           {"description", CellText(grid, 1, row)},
                           {"driver_version", CellText(grid, 2, row)},
                           {"serial", CellText(grid, 3, row)}});
    }
    const nlohmann::ordered_json document = {{"library_version", LibraryVersion(label.Text())},
                                             {"devices", std::move(devices)}};
    // The cells are UTF-8 already (decoded from Windows-1250); replace guards the document anyway.
    out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n' << std::flush;
}

constexpr char kDescription[] =
    "torvane-list - print the FTDI USB-to-serial converters attached to this machine";

constexpr char kFooter[] = R"(Runs the device list refresh of the TORVANE window once and prints the list.

Output: the header row and one line per row of the window's grid, the four
cells (port, name, driver version, serial number) separated by a tab, then the
text under the grid (the D2XX library version). Names are not padded. A tab,
newline, carriage return or backslash inside a cell is written as \t, \n, \r
or \\. A device that could not be read, or no device at all, gives a row of
empty cells.

With --json: one JSON document,
  {"library_version": "3.01.15",
   "devices": [{"port": "COM3", "description": "USB Serial Converter",
                "driver_version": "2.12.04", "serial": "FT4XK2A1"}, ...]}
with one object per listed device (rows of empty cells are left out). Texts
are UTF-8; the bytes a device reports are decoded as Windows-1250.

Every message the window would show in a dialog is printed on standard error
as one line, "torvane-list: <text>".

Exit status:
  0  the list was printed and no message was shown
  1  the list was printed, and at least one message was shown
  2  the command line was not understood, or the simulated library is missing

Environment:
  TORVANE_SIM  when set, list the simulated devices (as --demo does), from the
               JSON scenario file it names, or a built-in set when it is empty)";

}  // namespace

std::string EscapeCell(std::string_view cell) {
    std::string escaped;
    escaped.reserve(cell.size());
    for (const char c : cell) {
        switch (c) {
            case '\t': escaped += "\\t"; break;
            case '\n': escaped += "\\n"; break;
            case '\r': escaped += "\\r"; break;
            case '\\': escaped += "\\\\"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

std::optional<int> ParseCommandLine(int argc, const char* const* argv, Options& options, std::ostream& out,
                                    std::ostream& err) {
    CLI::App app(kDescription, kProgram);
    app.footer(kFooter);
    app.set_version_flag("--version", std::string(kProgram) + " " TORVANE_VERSION, "Print the version and exit");
    bool json = false;
    app.add_flag("--json", json, "Print one JSON document instead of tab-separated lines");
    app.add_flag("--demo", options.demo, "List the simulated demo devices instead of the attached converters");
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return std::string(kProgram) + ": " + e.what() + "\nRun with --help for more information.\n";
    });
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err) == 0 ? kExitClean : kExitUsage;
    }
    options.format = json ? Format::Json : Format::Tsv;
    return std::nullopt;
}

int ListDevices(Format format, std::ostream& out, std::ostream& err) {
    devlist::MemoryGrid grid;
    devlist::MemoryLabel label;
    StreamSink sink(err);
    {
        const InstalledSeams installed(grid, label, sink);
        try {
            devlist::RefreshDeviceList();
        } catch (const std::exception& e) {
            sink.Print(torvane::WithFullStop(e.what()));  // the window's error box
        }
    }
    if (format == Format::Json)
        PrintJson(grid, label, out);
    else
        PrintTsv(grid, label, out);
    return sink.AnyShown() ? kExitDialogShown : kExitClean;
}

}  // namespace torvane_list
