#include "app/qt/qt_view.h"

#include <QHeaderView>

namespace app::qt {

StringGrid::StringGrid(QTableWidget& table) : table_(table) {
    // The selection must never rest on a fixed row, whether it got there by
    // mouse, keyboard or a change of the row count.
    QObject::connect(&table_, &QTableWidget::currentCellChanged, &table_,
                     [this](int, int, int, int) { KeepSelectionOnDataRow(); });
    for (int row = 0; row < table_.rowCount(); ++row) StyleRow(row);
    KeepSelectionOnDataRow();
}

QTableWidgetItem& StringGrid::ItemAt(int column, int row) {
    if (table_.item(row, column) == nullptr) StyleRow(row);
    return *table_.item(row, column);
}

void StringGrid::SetCell(int column, int row, const std::string& text) {
    if (column < 0 || column >= table_.columnCount() || row < 0 || row >= table_.rowCount()) return;
    ItemAt(column, row).setText(QString::fromStdString(text));
}

std::string StringGrid::Cell(int column, int row) const {
    const QTableWidgetItem* item = table_.item(row, column);
    return item == nullptr ? std::string() : item->text().toStdString();
}

int StringGrid::RowCount() const { return table_.rowCount(); }

void StringGrid::SetRowCount(int rows) {
    const int before = table_.rowCount();
    table_.setRowCount(rows);
    for (int row = before; row < rows; ++row) StyleRow(row);
    KeepSelectionOnDataRow();
}

void StringGrid::SetFixedRows(int rows) {
    fixedRows_ = rows;
    for (int row = 0; row < table_.rowCount(); ++row) StyleRow(row);
    KeepSelectionOnDataRow();
}

void StringGrid::SetColumnWidth(int column, int pixels) { table_.setColumnWidth(column, pixels); }

int StringGrid::ColumnWidth(int column) const { return table_.columnWidth(column); }

void StringGrid::Repaint() { table_.viewport()->repaint(); }

int StringGrid::SelectedRow() const {
    const int row = table_.currentRow();
    return row >= fixedRows_ ? row : -1;
}

// Fixed rows are drawn in the button face and can be neither selected nor
// edited; data rows can be selected but not edited.
void StringGrid::StyleRow(int row) {
    const bool fixed = row < fixedRows_;
    for (int column = 0; column < table_.columnCount(); ++column) {
        QTableWidgetItem* item = table_.item(row, column);
        if (item == nullptr) {
            item = new QTableWidgetItem;
            table_.setItem(row, column, item);
        }
        item->setFlags(fixed ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setBackground(fixed ? table_.palette().button() : QBrush());
    }
}

void StringGrid::KeepSelectionOnDataRow() {
    if (table_.rowCount() <= fixedRows_) return;
    const int row = table_.currentRow();
    if (row >= fixedRows_) return;
    const int column = table_.currentColumn() < 0 ? 0 : table_.currentColumn();
    const QSignalBlocker noRecursion(&table_);
    table_.setCurrentCell(fixedRows_, column);
}

AutoSizeLabel::AutoSizeLabel(QLabel& label, int height) : label_(label), height_(height) {}

// The label fits its text: its width follows the text, its height is fixed.
void AutoSizeLabel::SetText(const std::string& text) {
    label_.setText(QString::fromStdString(text));
    label_.resize(label_.sizeHint().width(), height_);
}

std::string AutoSizeLabel::Text() const { return label_.text().toStdString(); }

}  // namespace app::qt
