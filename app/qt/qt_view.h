#pragma once
// The device list's grid and label on Qt widgets. The grid keeps the string
// grid's rules the refresh relies on: fixed (header) rows drawn in the button
// face and never selected, cells that cannot be edited, one selected cell
// whose row is the selected row.
#include <QLabel>
#include <QTableWidget>

#include "devlist/view.h"

namespace app::qt {

class StringGrid final : public devlist::Grid {
public:
    explicit StringGrid(QTableWidget& table);

    void SetCell(int column, int row, const std::string& text) override;
    std::string Cell(int column, int row) const override;
    int RowCount() const override;
    void SetRowCount(int rows) override;
    void SetFixedRows(int rows) override;
    void SetColumnWidth(int column, int pixels) override;
    int ColumnWidth(int column) const override;
    void Repaint() override;

    int FixedRows() const { return fixedRows_; }
    // The row of the selected cell; -1 when the grid has no data row.
    int SelectedRow() const;

private:
    QTableWidgetItem& ItemAt(int column, int row);
    void StyleRow(int row);
    void KeepSelectionOnDataRow();

    QTableWidget& table_;
    int fixedRows_ = 1;
};

class AutoSizeLabel final : public devlist::Label {
public:
    AutoSizeLabel(QLabel& label, int height);

    void SetText(const std::string& text) override;
    std::string Text() const override;

private:
    QLabel& label_;
    int height_;
};

}  // namespace app::qt
