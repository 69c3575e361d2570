#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "edit/GridOps.h"
#include "tests/support/RomBuilder.h"

using edit::Cell;
using edit::Rect;
using edit::RowSet;
using testsupport::Grid;

namespace {

// The rows in which two grids differ: what every operation must report, no more, no less.
RowSet RowsThatDiffer(const Grid& a, const Grid& b) {
    RowSet rows;
    for (std::size_t y = 0; y < 256; ++y) {
        for (std::size_t x = 0; x < 256; ++x) {
            if (a[y * 256 + x] != b[y * 256 + x]) {
                rows.set(y);
                break;
            }
        }
    }
    return rows;
}

const auto At = [](const Grid& g, int x, int y) {
    return g[static_cast<std::size_t>(y * 256 + x)];
};

const auto NewGrid = [](uint8_t tile) { return std::make_unique<Grid>(testsupport::Filled(tile)); };

TEST(LineCells, TouchingCellsFromEndToEndInEveryDirection) {
    const std::pair<Cell, Cell> lines[] = {
        {{5, 5}, {5, 5}}, {{0, 0}, {10, 0}}, {{10, 3}, {0, 3}},  {{4, 0}, {4, 9}},
        {{4, 9}, {4, 0}}, {{0, 0}, {7, 7}},  {{7, 0}, {0, 7}},   {{0, 0}, {9, 2}},
        {{9, 2}, {0, 0}}, {{3, 1}, {0, 12}}, {{-5, -3}, {4, 8}}, {{250, 1}, {260, 4}},
    };
    for (const auto& [from, to] : lines) {
        SCOPED_TRACE(::testing::Message()
                     << from.x << "," << from.y << " to " << to.x << "," << to.y);
        const auto cells = edit::LineCells(from, to);
        ASSERT_FALSE(cells.empty());
        EXPECT_EQ(cells.front(), from);
        EXPECT_EQ(cells.back(), to);
        // One cell per step along the longer axis: no gaps and no doubled cells.
        const int steps = std::max(std::abs(to.x - from.x), std::abs(to.y - from.y));
        EXPECT_EQ(cells.size(), static_cast<std::size_t>(steps + 1));
        for (std::size_t i = 1; i < cells.size(); ++i) {
            EXPECT_LE(std::abs(cells[i].x - cells[i - 1].x), 1) << i;
            EXPECT_LE(std::abs(cells[i].y - cells[i - 1].y), 1) << i;
            EXPECT_NE(cells[i], cells[i - 1]) << i;
        }
    }
}

// A cell or a line: painted inside the map, skipped outside it; a cell given its own tile
// is no change.
TEST(DrawLine, PaintsTheLineInsideTheMapAndSkipsTheRest) {
    auto g = NewGrid(0);
    const RowSet rows = edit::DrawLine(*g, {253, 0}, {259, 6}, 9);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(At(*g, 253 + i, i), 9) << i;
    }
    EXPECT_EQ(rows, RowsThatDiffer(*g, testsupport::Filled(0)));
    EXPECT_EQ(rows, RowSet().set(0).set(1).set(2));
    EXPECT_EQ(edit::SetCell(*g, {7, 9}, 120), RowSet().set(9));
    EXPECT_TRUE(edit::SetCell(*g, {7, 9}, 120).none());
    EXPECT_TRUE(edit::SetCell(*g, {256, 9}, 1).none());
}

// Corners in any order, clipped at the map's edges; a rectangle wholly outside is nothing.
TEST(FillRect, AnyCornerOrderClippedAtTheEdges) {
    struct Case {
        Rect rect;
        int left, top, right, bottom; // the cells expected, inclusive; left > right for none
    };
    const Case cases[] = {
        {{{2, 3}, {5, 7}}, 2, 3, 5, 7},
        {{{5, 7}, {2, 3}}, 2, 3, 5, 7},
        {{{5, 3}, {2, 7}}, 2, 3, 5, 7},
        {{{2, 7}, {5, 3}}, 2, 3, 5, 7},
        {{{4, 4}, {4, 4}}, 4, 4, 4, 4},
        {{{-3, -9}, {1, 0}}, 0, 0, 1, 0},
        {{{250, 252}, {300, 400}}, 250, 252, 255, 255},
        {{{-1, -1}, {256, 256}}, 0, 0, 255, 255},
        {{{256, 0}, {300, 10}}, 1, 0, 0, -1},
        {{{-10, 5}, {-1, 9}}, 1, 0, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.rect.a.x << "," << c.rect.a.y << " " << c.rect.b.x << "," << c.rect.b.y);
        auto g = NewGrid(1);
        const RowSet rows = edit::FillRect(*g, c.rect, 6);
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                const bool inside = c.left <= x && x <= c.right && c.top <= y && y <= c.bottom;
                ASSERT_EQ(At(*g, x, y), inside ? 6 : 1) << x << "," << y;
            }
        }
        EXPECT_EQ(rows, RowsThatDiffer(*g, testsupport::Filled(1)));
    }
    // Rows already of the tile are no change.
    auto g = NewGrid(1);
    edit::FillRect(*g, {{0, 10}, {9, 10}}, 6);
    EXPECT_EQ(edit::FillRect(*g, {{0, 9}, {9, 11}}, 6), RowSet().set(9).set(11));
}

// The area a flood fill must take, worked out the slow obvious way.
Grid ReferenceFlood(Grid g, Cell start, uint8_t tile) {
    const uint8_t target = At(g, start.x, start.y);
    if (target == tile) {
        return g;
    }
    std::deque<Cell> queue{start};
    g[edit::CellIndex(start)] = tile;
    while (!queue.empty()) {
        const Cell c = queue.front();
        queue.pop_front();
        for (const Cell n :
             {Cell{c.x - 1, c.y}, Cell{c.x + 1, c.y}, Cell{c.x, c.y - 1}, Cell{c.x, c.y + 1}}) {
            if (edit::InMap(n) && g[edit::CellIndex(n)] == target) {
                g[edit::CellIndex(n)] = tile;
                queue.push_back(n);
            }
        }
    }
    return g;
}

// Random grids of few tile kinds give ragged areas with holes, overhangs, spans that split
// and join, and cells that touch only at corners (which must not leak); every fill takes
// exactly the area the obvious search finds.
TEST(FloodFill, FillsExactlyTheAreaOnRandomGrids) {
    std::mt19937 rng(77);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        auto g = std::make_unique<Grid>(
            testsupport::RandomGrid(rng(), 1 + round % 5, round % 3 * 30, 2 + round % 3));
        const Cell start{static_cast<int>(rng() % 256), static_cast<int>(rng() % 256)};
        const Grid before = *g;
        const RowSet rows = edit::FloodFill(*g, start, 100);
        ASSERT_EQ(*g, ReferenceFlood(before, start, 100));
        ASSERT_EQ(rows, RowsThatDiffer(before, *g));
    }
    // A one-tile map fills whole; the same tile, or a start outside the map, is no change.
    auto g = NewGrid(4);
    EXPECT_TRUE(edit::FloodFill(*g, {128, 128}, 5).all());
    EXPECT_EQ(*g, testsupport::Filled(5));
    EXPECT_TRUE(edit::FloodFill(*g, {10, 10}, 5).none());
    EXPECT_TRUE(edit::FloodFill(*g, {-1, 10}, 7).none());
    EXPECT_TRUE(edit::FloodFill(*g, {10, 256}, 7).none());
}

TEST(ReplaceTile, EverywhereOrInsideARectangle) {
    const Grid striped = testsupport::StripedGrid(0); // row y is tile y % 128
    struct Case {
        const char* what;
        uint8_t from, to;
        std::optional<Rect> within;
        std::function<bool(int x, int y)> replaced;
    };
    const Case cases[] = {
        {"everywhere", 3, 90, std::nullopt, [](int, int y) { return y % 128 == 3; }},
        {"inside", 3, 90, Rect{{200, 300}, {10, 100}},
         [](int x, int y) { return y == 131 && x >= 10 && x <= 200; }},
        {"a rectangle missing the tile", 3, 90, Rect{{0, 4}, {255, 130}},
         [](int, int) { return false; }},
        {"a rectangle outside the map", 3, 90, Rect{{-9, -9}, {-1, 255}},
         [](int, int) { return false; }},
        {"a tile onto itself", 3, 3, std::nullopt, [](int, int) { return false; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto g = std::make_unique<Grid>(striped);
        const RowSet rows = edit::ReplaceTile(*g, c.from, c.to, c.within);
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                ASSERT_EQ(At(*g, x, y), c.replaced(x, y) ? c.to : At(striped, x, y))
                    << x << "," << y;
            }
        }
        EXPECT_EQ(rows, RowsThatDiffer(striped, *g));
    }
}

TEST(CopyPaste, BlocksClipToTheMapBothWays) {
    auto source = std::make_unique<Grid>(testsupport::RandomGrid(5, 3, 0, 100));
    const edit::Block block = edit::CopyRect(*source, {{20, 30}, {10, 25}});
    ASSERT_EQ(block.width, 11);
    ASSERT_EQ(block.height, 6);
    EXPECT_EQ(block.At(0, 0), At(*source, 10, 25));
    EXPECT_EQ(block.At(10, 5), At(*source, 20, 30));

    const edit::Block edge = edit::CopyRect(*source, {{250, 253}, {300, 300}});
    EXPECT_EQ(edge.width, 6);
    EXPECT_EQ(edge.height, 3);
    EXPECT_EQ(edge.At(5, 2), At(*source, 255, 255));
    EXPECT_EQ(edit::CopyRect(*source, {{256, 0}, {260, 4}}).tiles.size(), 0u);

    // Pasted where it fits, across the right and bottom edges, and partly above-left.
    const Cell places[] = {{0, 0}, {100, 100}, {250, 252}, {255, 255}, {-5, -2}, {256, 0}};
    for (const Cell at : places) {
        SCOPED_TRACE(::testing::Message() << at.x << "," << at.y);
        auto g = NewGrid(127);
        const RowSet rows = edit::Paste(*g, block, at);
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                const int bx = x - at.x, by = y - at.y;
                const bool covered = bx >= 0 && bx < block.width && by >= 0 && by < block.height;
                ASSERT_EQ(At(*g, x, y), covered ? block.At(bx, by) : 127) << x << "," << y;
            }
        }
        EXPECT_EQ(rows, RowsThatDiffer(testsupport::Filled(127), *g));
    }

    // Pasting what is already there changes nothing; a short block is refused.
    EXPECT_TRUE(edit::Paste(*source, block, {10, 25}).none());
    edit::Block broken = block;
    broken.tiles.pop_back();
    auto g = NewGrid(127);
    EXPECT_TRUE(edit::Paste(*g, broken, {0, 0}).none());
    EXPECT_EQ(*g, testsupport::Filled(127));
}

} // namespace
