#include "app/console/lister.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <initializer_list>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/console/device_path.h"
#include "app/console/port_details.h"
#include "app/window_options.h"
#include "d2xx/D2XXUnit.h"
#include "devlist/memory_view.h"
#include "devlist/system.h"
#include "devlist/texts.h"
#include "devlist/unit2.h"
#include "devlist/view.h"
#include "torvane/cp1250.h"
#include "torvane/messages.h"

namespace torvane_list {
namespace {

using app::EscapeCell;

using Json = nlohmann::ordered_json;

constexpr char kProgram[] = "torvane-list";
enum Column { kPortColumn = 0, kNameColumn = 1, kDriverColumn = 2, kSerialColumn = 3 };

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

std::string TsvText(const devlist::MemoryGrid& grid, const devlist::MemoryLabel& label) {
    std::string text;
    for (int row = 0; row < grid.RowCount(); ++row) {
        for (int column = 0; column < grid.ColumnCount(); ++column) {
            if (column > 0) text += '\t';
            text += EscapeCell(CellText(grid, column, row));
        }
        text += '\n';
    }
    return text + EscapeCell(label.Text()) + '\n';
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

// The vendor's device types, named as its documentation names the chips;
// FT_DEVICE_UNKNOWN and types not in the table are null.
struct ChipName {
    FT_DEVICE type;
    const char* name;
};
constexpr ChipName kChipNames[] = {
    {FT_DEVICE_BM, "FT232BM"},       {FT_DEVICE_AM, "FT232AM"},         {FT_DEVICE_100AX, "FT100AX"},
    {FT_DEVICE_2232C, "FT2232C"},    {FT_DEVICE_232R, "FT232R"},        {FT_DEVICE_2232H, "FT2232H"},
    {FT_DEVICE_4232H, "FT4232H"},    {FT_DEVICE_232H, "FT232H"},        {FT_DEVICE_X_SERIES, "FT-X"},
    {FT_DEVICE_4222H_0, "FT4222H"},  {FT_DEVICE_4222H_1_2, "FT4222H"},  {FT_DEVICE_4222H_3, "FT4222H"},
    {FT_DEVICE_4222_PROG, "FT4222H"}, {FT_DEVICE_900, "FT900"},         {FT_DEVICE_930, "FT930"},
    {FT_DEVICE_UMFTPD3A, "UMFTPD3A"}, {FT_DEVICE_2233HP, "FT2233HP"},   {FT_DEVICE_4233HP, "FT4233HP"},
    {FT_DEVICE_2232HP, "FT2232HP"},  {FT_DEVICE_4232HP, "FT4232HP"},    {FT_DEVICE_233HP, "FT233HP"},
    {FT_DEVICE_232HP, "FT232HP"},    {FT_DEVICE_2232HA, "FT2232HA"},    {FT_DEVICE_4232HA, "FT4232HA"},
    {FT_DEVICE_232RN, "FT232RN"},
};
// Types whose chips have several channels, each listed with its letter after the serial.
constexpr FT_DEVICE kMultiChannelTypes[] = {
    FT_DEVICE_2232C,  FT_DEVICE_2232H,  FT_DEVICE_4232H,  FT_DEVICE_4222H_0, FT_DEVICE_4222H_1_2, FT_DEVICE_2233HP,
    FT_DEVICE_4233HP, FT_DEVICE_2232HP, FT_DEVICE_4232HP, FT_DEVICE_2232HA,  FT_DEVICE_4232HA,
};

Json ChipOf(FT_DEVICE type) {
    for (const ChipName& chip : kChipNames)
        if (chip.type == type) return chip.name;
    return nullptr;
}

Json ChannelOf(const d2xx::DeviceInfoNode& node) {
    const bool multiChannel =
        std::find(std::begin(kMultiChannelTypes), std::end(kMultiChannelTypes), node.type) !=
        std::end(kMultiChannelTypes);
    if (!multiChannel || node.serialNumber.empty()) return nullptr;
    const char letter = node.serialNumber.back();
    return letter >= 'A' && letter <= 'H' ? Json(std::string(1, letter)) : Json(nullptr);
}

std::string UsbId(std::uint32_t id) {
    char text[10];
    std::snprintf(text, sizeof text, "%04x:%04x", (id >> 16) & 0xFFFFu, id & 0xFFFFu);
    return text;
}

// The information node of the device at `index`, whose row shows `serial`:
// the node listing that serial, and where several do (copies sharing a serial,
// channels of serial-less chips), the one at the device's location.
const d2xx::DeviceInfoNode* NodeOfRow(const std::vector<d2xx::DeviceInfoNode>& nodes, const std::string& serial,
                                      std::uint32_t index) {
    std::vector<const d2xx::DeviceInfoNode*> candidates;
    for (const d2xx::DeviceInfoNode& node : nodes)
        if (torvane::Cp1250ToUtf8(node.serialNumber) == serial) candidates.push_back(&node);
    if (candidates.size() <= 1) return candidates.empty() ? nullptr : candidates.front();
    if (d2xx::GetFTDeviceLocationByIndex(index) != FT_OK) return nullptr;
    for (const d2xx::DeviceInfoNode* node : candidates)
        if (node->location == d2xx::DeviceLocation) return node;
    return nullptr;
}

// The port number of a port cell "COM<n>"; nullopt for "----", "????" or anything else.
std::optional<long> ComNumber(const std::string& port) {
    if (port.rfind("COM", 0) != 0 || port.size() == 3) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(port.c_str() + 3, &end, 10);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return number;
}

Json DeviceObject(const devlist::MemoryGrid& grid, int row, const d2xx::DeviceInfoNode* node,
                  const RowLatencies& latencies) {
    const std::string port = CellText(grid, kPortColumn, row);
    const std::optional<long> com = ComNumber(port);
    const std::optional<std::string> device = com ? DeviceForComPort(*com) : std::nullopt;
    Json object = {{"port", port == devlist::kNoPort ? Json(nullptr) : Json(port)},
                   {"description", CellText(grid, kNameColumn, row)},
                   {"driver_version", CellText(grid, kDriverColumn, row)},
                   {"serial", CellText(grid, kSerialColumn, row)},
                   {"com", com ? Json(*com) : Json(nullptr)},
                   {"device", device ? Json(*device) : Json(nullptr)},
                   {"usb_id", nullptr},
                   {"chip", nullptr},
                   {"location", nullptr},
                   {"channel", nullptr}};
    if (node != nullptr) {
        object["usb_id"] = UsbId(node->id);
        object["chip"] = ChipOf(node->type);
        object["location"] = node->location;
        object["channel"] = ChannelOf(*node);
    }
    AddPortDetails(object, latencies.Of(row), node);
    return object;
}

// The extra fields come from the vendor's information list, asked for after the
// refresh (which stays the window's sequence of calls), and only on the D2XX path.
// The refresh leaves its last device open: closed first, so that the list's
// "opened" flags show other holders only.
std::vector<d2xx::DeviceInfoNode> InformationNodes() {
    std::vector<d2xx::DeviceInfoNode> nodes;
    if (devlist::SystemClass != devlist::kClassNtOrOther) return nodes;
    d2xx::Close_USB_Device_Handle();
    d2xx::GetFTDeviceInfoList(nodes);
    return nodes;
}

Json JsonDocument(const devlist::MemoryGrid& grid, const devlist::MemoryLabel& label,
                  const RowLatencies& latencies) {
    const std::vector<d2xx::DeviceInfoNode> nodes = InformationNodes();
    Json devices = Json::array();
    for (int row = grid.FixedRows(); row < grid.RowCount(); ++row) {
        if (RowIsEmpty(grid, row)) continue;  // a device that could not be read, or none at all
        const auto index = static_cast<std::uint32_t>(row - grid.FixedRows());
        devices.push_back(
            DeviceObject(grid, row, NodeOfRow(nodes, CellText(grid, kSerialColumn, row), index), latencies));
    }
    return {{"format", kJsonFormat},
            {"library_version", LibraryVersion(label.Text())},
            {"devices", std::move(devices)}};
}

// The document as text; `indent` -1 puts it on one line.
std::string JsonText(const Json& document, int indent) {
    // The cells are UTF-8 already (decoded from Windows-1250); replace guards the document anyway.
    return document.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
}

struct Listing {
    std::string text;
    bool dialogShown = false;
};

// One refresh into an in-memory view, made into a result by `render` while
// the seams are still installed: the JSON's by-location query may show a
// dialog too. Returns the result and whether a dialog was shown.
template <typename Render>
auto Refreshed(bool readLatencies, std::ostream& err, Render render) {
    devlist::MemoryGrid grid;
    devlist::MemoryLabel label;
    StreamSink sink(err);
    const InstalledSeams installed(grid, label, sink);
    std::optional<RowLatencies> latencies;  // read only for JSON
    if (readLatencies) latencies.emplace();
    try {
        devlist::RefreshDeviceList();
    } catch (const std::exception& e) {
        sink.Print(torvane::WithFullStop(e.what()));  // the window's error box
    }
    auto result = render(grid, label, latencies);
    return std::pair{std::move(result), sink.AnyShown()};
}

// One refresh, rendered. `indent` applies to JSON.
Listing RunListing(Format format, int indent, std::ostream& err) {
    const bool json = format == Format::Json;
    auto [text, dialogShown] = Refreshed(json, err, [&](const auto& grid, const auto& label, const auto& latencies) {
        return json ? JsonText(JsonDocument(grid, label, *latencies), indent) : TsvText(grid, label);
    });
    return {std::move(text), dialogShown};
}

// Writes `text`; nothing when it arrived or its reader went away (EPIPE, as
// Unix tools end quietly), else a message on `err`. Returns the write's errno.
int Emit(Output& out, std::string_view text, std::ostream& err) {
    const int error = out.Write(text);
    app::ReportWriteError(err, kProgram, error);
    return error;
}

constexpr char kDescription[] =
    "torvane-list - print the FTDI USB-to-serial converters attached to this machine";

constexpr char kWatchHelp[] =
    "After the list, print it again every time a converter comes or goes, until interrupted";

constexpr char kSetLatencyHelp[] =
    "Set the latency timer of the converter --port names to MS milliseconds (1-255) instead of listing";

constexpr char kPortHelp[] =
    "With --set-latency: COM<n>, the device path (or its /dev/serial link), or the serial number";

constexpr char kFooter[] = R"(Runs the device list refresh of the TORVANE window once and prints the list.

Output: the header row and one line per row of the window's grid, the four
cells (port, name, driver version, serial number) separated by a tab, then the
text under the grid (the D2XX library version). Names are not padded. A tab,
newline, carriage return or backslash inside a cell is written as \t, \n, \r
or \\, any other control character as \xHH (ESC as \x1b). A device that
could not be read, or no device at all, gives a row of empty cells.

With --json: one JSON document (format 1), for example
  {"format": 1, "library_version": "3.01.15",
   "devices": [{"port": "COM36", "description": "FT232R USB UART",
                "driver_version": "2.12.36", "serial": "A5003MQZ",
                "com": 36, "device": "/dev/ttyUSB3", "usb_id": "0403:6001",
                "chip": "FT232R", "location": 273, "channel": null,
                "latency_ms": 16, "usb_speed_mbps": 12,
                "by_id": "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5003MQZ-if00-port0",
                "by_path": "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0",
                "in_use": true, "held_by": [{"pid": 4711, "command": "minicom"}]}, ...]}
with one object per listed device (rows of empty cells are left out):
  port            "COM<n>"; null when the device has no port; "????" when the
                  port query failed
  description, driver_version, serial
                  the grid's texts (the name without padding)
  com             the port number, or null
  device          what a program opens for that port (Linux: the serial
                  library's numbering, /dev/ttyUSB<n-33> for COM33-160;
                  Windows: \\.\COM<n>), or null
  usb_id          USB vendor and product id, "vvvv:pppp"
  chip            the vendor's device type: FT232R, FT2232H, FT4232H, FT232H,
                  FT-X, FT2232C, FT232BM, ..., null when unknown
  location        the vendor's location id (a number)
  channel         "A", "B", ... on a multi-channel chip, else null
  latency_ms      the converter's latency timer in ms (how long it holds
                  received bytes that do not fill a USB packet; 16 unless set),
                  or null when unknown
  usb_speed_mbps  the USB speed it runs at: 1.5, 12, 480, 5000, ...; null
                  when unknown
  by_id, by_path  the /dev/serial/by-id and /dev/serial/by-path links to its
                  node (Linux), else null
  in_use          true when a process has its node open, false when none has,
                  null when that cannot be told
  held_by         the processes found holding its node, [{"pid": <n>,
                  "command": "<name>"}, ...] (Linux), else null
usb_id, chip, location and channel come from the vendor library's device
information list; with a library without it they are null. latency_ms comes
from the vendor library (Linux: the port's latency_timer in sysfs). On Linux
usb_speed_mbps is the USB device's speed in sysfs, and in_use and held_by come
from the descriptors in /proc: only the processes whose descriptors this user
may read are seen (all of them as root), so in_use is false only when every
process could be looked at, else null unless a holder was found (also when
/proc hides other users' processes). On Windows, and over the simulated
library, usb_speed_mbps is 480 or 12 (the vendor's high-speed flag) and in_use
the vendor's "opened" flag; by_id, by_path and held_by are null. Texts are
UTF-8; the bytes a device reports are decoded as Windows-1250.

With --set-latency MS --port PORT nothing is listed: the latency timer of the
converter PORT names is set to MS milliseconds (1-255), and one line says so.
PORT is its port (COM36), its device (/dev/ttyUSB3, \\.\COM36) or one of its
/dev/serial links, or else its serial number (refused when several converters
share it; they are named). Linux writes the port's latency_timer in sysfs,
which takes root (or a udev rule): without permission the message gives the
udev rule line that sets this converter's timer at every plug-in. Windows sets
it through the vendor library (FT_SetLatencyTimer). Either way the setting
lasts until the converter is plugged in again.

With --watch the list is printed again every time a converter is plugged in
or removed (Linux: through udev; Windows: through the system's device
notifications), at most once a second, each time whole: with --json one
document per line. It ends on SIGINT or SIGTERM (Linux), on Ctrl+C,
Ctrl+Break or the console's closing (Windows), or when the reader of the
output goes away. On Linux a signal that comes while a listing is being
made or written (perhaps to a reader that stopped reading) ends the program
by that signal (status 128 + its number in a shell). Without a udev daemon
it says so once on standard error and keeps watching.

Every message the window would show in a dialog is printed on standard error
as one line, "torvane-list: <text>".

Exit status:
  0  the list was printed and no message was shown
  1  the list was printed, and at least one message was shown
  2  the command line was not understood, or the simulated library is missing
  3  the output could not be written (a message says why; none when the
     reader went away, as through a closed pipe, nor on Windows when a
     watch is ended while its reader has stopped reading)
  4  --watch: no source of device events (no udev monitor; on Windows, no
     window for the device notifications)
  5  --set-latency: PORT names no listed converter, or a serial number that
     several share; nothing was written
  6  --set-latency: the converter could not be opened (unplugged since it was
     listed) or the timer was not set (no permission; a library or driver
     without the setting)

Environment:)";

// --set-latency MS --port PORT: each needs the other; neither goes with a listing's options.
void AddSetLatencyOptions(CLI::App& app, Options& options, std::initializer_list<CLI::Option*> listingOptions) {
    CLI::Option* set = app.add_option("--set-latency", options.setLatency, kSetLatencyHelp)
                           ->type_name("MS")
                           ->check(CLI::Range(1, 255));
    CLI::Option* port = app.add_option("--port", options.port, kPortHelp)->type_name("PORT");
    set->needs(port);
    port->needs(set);
    for (CLI::Option* listing : listingOptions) set->excludes(listing);
}

}  // namespace

int StreamOutput::Write(std::string_view text) { return app::WriteAndFlush(stream_, text); }

std::optional<int> ParseCommandLine(int argc, const char* const* argv, Options& options, Output& out,
                                    std::ostream& err) {
    CLI::App app(kDescription, kProgram);
    app.footer(kFooter + app::ProgramEnvironmentHelp() + NodeFactsEnvironmentHelp());
    app.set_version_flag("--version", std::string(kProgram) + " " TORVANE_VERSION, "Print the version and exit");
    bool json = false;
    CLI::Option* jsonFlag = app.add_flag("--json", json, "Print JSON instead of tab-separated lines");
    app.add_flag("--demo", options.demo, "List the simulated demo devices instead of the attached converters");
    CLI::Option* watch = app.add_flag("--watch", options.watch, kWatchHelp);
    AddSetLatencyOptions(app, options, {jsonFlag, watch});
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return std::string(kProgram) + ": " + EscapeCell(e.what()) + "\nRun with --help for more information.\n";
    });
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        std::ostringstream printed;
        if (app.exit(e, printed, err) != 0) return kExitUsage;
        return Emit(out, printed.str(), err) == 0 ? kExitClean : kExitOutputError;
    }
    options.format = json ? Format::Json : Format::Tsv;
    return std::nullopt;
}

nlohmann::ordered_json ListedDevices(std::ostream& err) {
    return Refreshed(true, err, [](const auto& grid, const auto& label, const auto& latencies) {
               return JsonDocument(grid, label, *latencies)["devices"];
           }).first;
}

int ListDevices(Format format, Output& out, std::ostream& err) {
    const Listing listing = RunListing(format, 2, err);
    if (Emit(out, listing.text, err) != 0) return kExitOutputError;
    return listing.dialogShown ? kExitDialogShown : kExitClean;
}

int WatchDevices(Format format, ChangeFeed& feed, Output& out, std::ostream& err) {
    bool dialogShown = false;
    do {
        const Listing listing = RunListing(format, -1, err);
        dialogShown = dialogShown || listing.dialogShown;
        if (const int error = Emit(out, listing.text, err); error != 0)
            return error == EPIPE ? (dialogShown ? kExitDialogShown : kExitClean) : kExitOutputError;
    } while (feed.WaitForChange() == ChangeFeed::Next::Changed);
    return dialogShown ? kExitDialogShown : kExitClean;
}

}  // namespace torvane_list
