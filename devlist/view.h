#pragma once
// The view seam: what the device list refresh needs from the window. The
// window provides the real grid and label; tests and the console lister use
// the in-memory ones. Texts are UTF-8.
#include <string>

namespace devlist {

class Grid {
public:
    virtual ~Grid() = default;
    virtual void SetCell(int column, int row, const std::string& text) = 0;
    virtual std::string Cell(int column, int row) const = 0;
    virtual int RowCount() const = 0;
    virtual void SetRowCount(int rows) = 0;
    virtual void SetFixedRows(int rows) = 0;
    virtual void SetColumnWidth(int column, int pixels) = 0;
    virtual int ColumnWidth(int column) const = 0;
    virtual void Repaint() = 0;
};

class Label {
public:
    virtual ~Label() = default;
    virtual void SetText(const std::string& text) = 0;
    virtual std::string Text() const = 0;
};

// The grid and label of the main window; the refresh reaches them through this.
struct DeviceListView {
    Grid* grid = nullptr;
    Label* label = nullptr;
};
void InstallDeviceListView(DeviceListView view);
DeviceListView& InstalledDeviceListView();

}  // namespace devlist
