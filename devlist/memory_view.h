#pragma once
// An in-memory grid and label behind the view seam: the console lister's
// view and the tests'. The grid starts as the window's grid is stored (four
// columns 82, 163, 128 and 68 pixels wide, six rows, one fixed) and can keep
// a log of every operation, so that tests can check the order of writes.
#include <cstddef>
#include <string>
#include <vector>

#include "devlist/view.h"

namespace devlist {

class MemoryGrid final : public Grid {
public:
    // What happens to the cells of rows that a smaller row count removes.
    enum class ShrinkPolicy {
        DropCells,  // they are gone; rows added later are empty (as a table widget does)
        KeepCells,  // they come back when the row count grows again (a sparse store)
    };

    explicit MemoryGrid(ShrinkPolicy policy = ShrinkPolicy::DropCells);

    // Throws std::out_of_range for a cell outside the columns or the row count.
    void SetCell(int column, int row, const std::string& text) override;
    std::string Cell(int column, int row) const override;
    int RowCount() const override { return rowCount_; }
    // Throws std::out_of_range for a negative count.
    void SetRowCount(int rows) override;
    void SetFixedRows(int rows) override;
    void SetColumnWidth(int column, int pixels) override;
    int ColumnWidth(int column) const override;
    void Repaint() override;

    int ColumnCount() const { return static_cast<int>(widths_.size()); }
    int FixedRows() const { return fixedRows_; }
    int RepaintCount() const { return repaints_; }
    // Row `row` as its column texts.
    std::vector<std::string> Row(int row) const;

    // The log: "SetCell(c,r,text)", "SetRowCount(n)", "SetFixedRows(n)",
    // "SetColumnWidth(c,px)", "Repaint". Reading the grid is not logged.
    void EnableLog(bool on) { logging_ = on; }
    const std::vector<std::string>& Log() const { return log_; }
    void ClearLog() { log_.clear(); }

private:
    void CheckCell(int column, int row) const;
    void Record(std::string entry);

    ShrinkPolicy policy_;
    std::vector<int> widths_;
    std::vector<std::vector<std::string>> cells_;  // [row][column]; may outgrow rowCount_
    int rowCount_;
    int fixedRows_ = 1;
    int repaints_ = 0;
    bool logging_ = false;
    std::vector<std::string> log_;
};

class MemoryLabel final : public Label {
public:
    void SetText(const std::string& text) override;
    std::string Text() const override { return text_; }
    // Every text set, in order.
    const std::vector<std::string>& History() const { return history_; }

private:
    std::string text_;
    std::vector<std::string> history_;
};

}  // namespace devlist
