#include <gtest/gtest.h>

#include <array>

#include "mapeditor/PaintHistory.h"

namespace {

using Cells = std::array<uint8_t, 4>;

void Paint(CPaintHistory& history, Cells& grid, int cell, uint8_t tile) {
    history.Record(cell, grid[static_cast<std::size_t>(cell)], tile);
    grid[static_cast<std::size_t>(cell)] = tile;
}

TEST(PaintHistory, CellPaintedTwiceInOneStrokeUndoesToItsValueBeforeTheStroke) {
    CPaintHistory history;
    Cells grid{7, 7, 7, 7};
    history.BeginStroke();
    Paint(history, grid, 1, 3);
    Paint(history, grid, 2, 3);
    Paint(history, grid, 1, 4);
    history.EndStroke();
    ASSERT_TRUE(history.Undo(grid.data()));
    EXPECT_EQ(grid, (Cells{7, 7, 7, 7}));
    ASSERT_TRUE(history.Redo(grid.data()));
    EXPECT_EQ(grid, (Cells{7, 4, 3, 7}));
}

TEST(PaintHistory, OnlyStrokesThatChangedSomethingAreSteps) {
    CPaintHistory history;
    Cells grid{};
    history.BeginStroke();
    Paint(history, grid, 0, 0);
    history.EndStroke();
    Paint(history, grid, 1, 5); // outside any stroke
    history.EndStroke();
    EXPECT_FALSE(history.CanUndo());

    // An open stroke is closed by an undo, and a new stroke drops what could be redone.
    history.BeginStroke();
    Paint(history, grid, 2, 6);
    EXPECT_TRUE(history.Undo(grid.data()));
    EXPECT_EQ(grid[2], 0);
    history.BeginStroke();
    Paint(history, grid, 3, 1);
    history.EndStroke();
    EXPECT_FALSE(history.CanRedo());
}

} // namespace
