// A console program for the Wine registry test: runs the device list refresh
// with the platform's own version query and registry (the real Win32 calls)
// into an in-memory grid, then prints the system class, the grid and the
// label, one line each, for registry_path.sh to compare.
#include <cstdio>
#include <exception>
#include <string>

#include "devlist/memory_view.h"
#include "devlist/registry.h"
#include "devlist/system.h"
#include "devlist/texts.h"
#include "torvane/messages.h"
#include "devlist/unit2.h"

int main() {
    devlist::MemoryGrid grid;
    devlist::MemoryLabel label;
    devlist::InstallDeviceListView({&grid, &label});
    std::printf("class=%u\n", static_cast<unsigned>(devlist::GetSystemClass()));
    try {
        devlist::RefreshDeviceList();
    } catch (const devlist::RegistryError& error) {
        std::printf("error=%s\n", torvane::WithFullStop(error.what()).c_str());
    } catch (const std::exception& error) {
        std::printf("failure=%s\n", error.what());
        return 1;
    }
    std::printf("widths=");
    for (int column = 0; column < grid.ColumnCount(); ++column)
        std::printf("%s%d", column == 0 ? "" : ",", grid.ColumnWidth(column));
    std::printf("\nrows=%d\n", grid.RowCount());
    for (int row = 0; row < grid.RowCount(); ++row) {
        std::string line = std::to_string(row);
        for (const std::string& cell : grid.Row(row)) line += "|" + cell;
        std::printf("%s\n", line.c_str());
    }
    std::printf("label=%s\n", label.Text().c_str());
    return 0;
}
