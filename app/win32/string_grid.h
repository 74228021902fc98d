#pragma once
// The device grid as a Win32 control of its own: a string grid with fixed
// (header) rows drawn in the button face that scroll with nothing, data rows
// below them, one selected cell whose row is the selected row, cells that
// cannot be edited, and scroll bars when the rows or columns do not fit.
#include <windows.h>

#include <string>
#include <vector>

#include "devlist/view.h"

namespace app::win32 {

class StringGrid final : public devlist::Grid {
public:
    // Creates the control as a child of `parent` at `bounds` (parent client
    // coordinates), with `columns` columns of the given widths and `rows`
    // rows of `rowHeight` pixels, the first of them fixed.
    StringGrid(HWND parent, int id, const RECT& bounds, const std::vector<int>& columnWidths, int rows,
               int rowHeight);
    ~StringGrid() override;
    StringGrid(const StringGrid&) = delete;
    StringGrid& operator=(const StringGrid&) = delete;

    HWND Handle() const { return window_; }

    void SetCell(int column, int row, const std::string& text) override;
    std::string Cell(int column, int row) const override;
    int RowCount() const override { return static_cast<int>(cells_.size()); }
    void SetRowCount(int rows) override;
    void SetFixedRows(int rows) override;
    void SetColumnWidth(int column, int pixels) override;
    int ColumnWidth(int column) const override;
    void Repaint() override;

    int ColumnCount() const { return static_cast<int>(widths_.size()); }
    int FixedRows() const { return fixedRows_; }
    int RowHeight() const { return rowHeight_; }
    // The row of the selected cell; -1 when the grid has no data row.
    int SelectedRow() const;
    int SelectedColumn() const { return selectedColumn_; }
    // Selects a data cell; a fixed row or a cell outside the grid is ignored.
    void Select(int column, int row);
    // The first data row shown below the fixed rows.
    int TopRow() const { return topRow_; }
    // How many pixels the columns are scrolled to the left.
    int ScrollX() const { return scrollX_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HDC dc, const RECT& client);
    void PaintCell(HDC dc, const RECT& cell, int column, int row);
    void OnClick(int x, int y);
    void OnKey(WPARAM key);
    void OnScroll(int bar, WORD request);
    void KeepSelectionOnDataRow();
    void MakeSelectionVisible();
    void UpdateScrollBars();
    int VisibleDataRows() const;
    int TotalWidth() const;
    int ColumnLeft(int column) const;
    int LastTopRow() const;

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    std::vector<int> widths_;
    std::vector<std::vector<std::string>> cells_;  // [row][column], UTF-8
    int fixedRows_ = 1;
    int rowHeight_;
    int selectedColumn_ = 0;
    int selectedRow_ = 1;
    int topRow_ = 1;
    int scrollX_ = 0;
};

}  // namespace app::win32
