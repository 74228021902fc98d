#include "app/console/lister.h"

#include <exception>
#include <ostream>
#include <string>

#include "devlist/memory_view.h"
#include "devlist/texts.h"
#include "devlist/unit2.h"
#include "devlist/view.h"
#include "torvane/messages.h"

namespace torvane_list {
namespace {

// Every message becomes one line of text; nothing waits for a user.
class StreamSink final : public torvane::MessageSink {
public:
    explicit StreamSink(std::ostream& err) : err_(err) {}
    void ShowInformation(const std::string& text) override { Print(text); }
    void ShowError(const std::string&, const std::string& text) override { Print(text); }
    void ShowFatal(const std::string&, const std::string& text) override { Print(text); }

private:
    void Print(const std::string& text) { err_ << text << '\n' << std::flush; }
    std::ostream& err_;
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

void PrintGrid(const devlist::MemoryGrid& grid, const devlist::MemoryLabel& label, std::ostream& out) {
    for (int row = 0; row < grid.RowCount(); ++row) {
        for (int column = 0; column < grid.ColumnCount(); ++column) {
            if (column > 0) out << '\t';
            out << grid.Cell(column, row);
        }
        out << '\n';
    }
    out << label.Text() << '\n' << std::flush;
}

}  // namespace

int ListDevices(std::ostream& out, std::ostream& err) {
    devlist::MemoryGrid grid;
    devlist::MemoryLabel label;
    StreamSink sink(err);
    const InstalledSeams installed(grid, label, sink);
    try {
        devlist::RefreshDeviceList();
    } catch (const std::exception& e) {
        err << devlist::WithFullStop(e.what()) << '\n' << std::flush;
        return 1;
    }
    PrintGrid(grid, label, out);
    return 0;
}

}  // namespace torvane_list
