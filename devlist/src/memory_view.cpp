#include "devlist/memory_view.h"

#include <stdexcept>

namespace devlist {

namespace {
constexpr int kStoredRowCount = 6;
}  // namespace

MemoryGrid::MemoryGrid(ShrinkPolicy policy)
    : policy_(policy), widths_{82, 163, 128, 68}, rowCount_(kStoredRowCount) {
    cells_.assign(kStoredRowCount, std::vector<std::string>(widths_.size()));
}

void MemoryGrid::CheckCell(int column, int row) const {
    if (column < 0 || column >= ColumnCount() || row < 0 || row >= rowCount_)
        throw std::out_of_range("cell (" + std::to_string(column) + "," + std::to_string(row) +
                                ") outside the grid");
}

void MemoryGrid::Record(std::string entry) {
    if (logging_) log_.push_back(std::move(entry));
}

void MemoryGrid::SetCell(int column, int row, const std::string& text) {
    CheckCell(column, row);
    Record("SetCell(" + std::to_string(column) + "," + std::to_string(row) + "," + text + ")");
    cells_[row][column] = text;
}

std::string MemoryGrid::Cell(int column, int row) const {
    CheckCell(column, row);
    return cells_[row][column];
}

void MemoryGrid::SetRowCount(int rows) {
    if (rows < 0) throw std::out_of_range("negative row count");
    Record("SetRowCount(" + std::to_string(rows) + ")");
    if (policy_ == ShrinkPolicy::DropCells && rows < rowCount_) cells_.resize(rows);
    if (static_cast<std::size_t>(rows) > cells_.size())
        cells_.resize(rows, std::vector<std::string>(widths_.size()));
    rowCount_ = rows;
}

void MemoryGrid::SetFixedRows(int rows) {
    Record("SetFixedRows(" + std::to_string(rows) + ")");
    fixedRows_ = rows;
}

void MemoryGrid::SetColumnWidth(int column, int pixels) {
    if (column < 0 || column >= ColumnCount()) throw std::out_of_range("no such column");
    Record("SetColumnWidth(" + std::to_string(column) + "," + std::to_string(pixels) + ")");
    widths_[column] = pixels;
}

int MemoryGrid::ColumnWidth(int column) const {
    if (column < 0 || column >= ColumnCount()) throw std::out_of_range("no such column");
    return widths_[column];
}

void MemoryGrid::Repaint() {
    Record("Repaint");
    ++repaints_;
}

std::vector<std::string> MemoryGrid::Row(int row) const {
    CheckCell(0, row);
    return cells_[row];
}

void MemoryLabel::SetText(const std::string& text) {
    text_ = text;
    history_.push_back(text);
}

}  // namespace devlist
