#include "devlist/memory_view.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace devlist {
namespace {

TEST(MemoryGrid, StartsAsTheWindowStoresItsGrid) {
    const MemoryGrid grid;
    EXPECT_EQ(grid.ColumnCount(), 4);
    EXPECT_EQ(grid.RowCount(), 6);
    EXPECT_EQ(grid.FixedRows(), 1);
    const int widths[] = {82, 163, 128, 68};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(grid.ColumnWidth(c), widths[c]);
    for (int r = 0; r < 6; ++r) EXPECT_EQ(grid.Row(r), (std::vector<std::string>(4)));
}

TEST(MemoryGrid, RejectsCellsOutsideTheGrid) {
    MemoryGrid grid;
    grid.SetRowCount(2);
    EXPECT_THROW(grid.SetCell(0, 2, "x"), std::out_of_range);
    EXPECT_THROW(grid.SetCell(4, 0, "x"), std::out_of_range);
    EXPECT_THROW(grid.SetCell(-1, 0, "x"), std::out_of_range);
    EXPECT_THROW(grid.Cell(0, -1), std::out_of_range);
    EXPECT_THROW(grid.SetRowCount(-1), std::out_of_range);
    EXPECT_THROW(grid.SetColumnWidth(4, 10), std::out_of_range);
    EXPECT_NO_THROW(grid.SetCell(3, 1, "x"));
}

TEST(MemoryGrid, ShrinkPolicyDecidesWhatComesBack) {
    const struct {
        MemoryGrid::ShrinkPolicy policy;
        const char* after;
    } cases[] = {{MemoryGrid::ShrinkPolicy::DropCells, ""}, {MemoryGrid::ShrinkPolicy::KeepCells, "kept?"}};
    for (const auto& c : cases) {
        MemoryGrid grid(c.policy);
        grid.SetCell(2, 5, "kept?");
        grid.SetRowCount(2);
        grid.SetRowCount(6);
        EXPECT_EQ(grid.Cell(2, 5), c.after);
    }
}

TEST(MemoryGrid, LogsWritesOnlyWhileEnabled) {
    MemoryGrid grid;
    grid.SetCell(0, 0, "before");
    grid.EnableLog(true);
    grid.SetCell(1, 1, "a");
    grid.Repaint();
    grid.SetRowCount(3);
    grid.SetFixedRows(1);
    grid.SetColumnWidth(2, 150);
    (void)grid.Cell(1, 1);
    grid.EnableLog(false);
    grid.SetCell(0, 0, "after");
    EXPECT_EQ(grid.Log(), (std::vector<std::string>{"SetCell(1,1,a)", "Repaint", "SetRowCount(3)", "SetFixedRows(1)",
                                                    "SetColumnWidth(2,150)"}));
    EXPECT_EQ(grid.RepaintCount(), 1);
    grid.ClearLog();
    EXPECT_TRUE(grid.Log().empty());
}

TEST(MemoryLabel, KeepsTheTextAndItsHistory) {
    MemoryLabel label;
    EXPECT_EQ(label.Text(), "");
    label.SetText("");
    label.SetText("Wersja");
    EXPECT_EQ(label.Text(), "Wersja");
    EXPECT_EQ(label.History(), (std::vector<std::string>{"", "Wersja"}));
}

}  // namespace
}  // namespace devlist
