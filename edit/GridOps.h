#pragma once

#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

#include "worldmap/RowCode.h"

// The editing operations on one map grid, shared by the windows and the command-line
// tool. Each writes the grid in place and returns the rows it changed, which is what an
// undo step and a repaint need. Cells outside the map are ignored, never written.
namespace edit {

using worldmap::GridSpan;
using worldmap::GridView;

struct Cell {
    int x = 0;
    int y = 0;
    bool operator==(const Cell&) const = default;
};

// Inclusive corners in any order.
struct Rect {
    Cell a;
    Cell b;
    int Left() const { return a.x < b.x ? a.x : b.x; }
    int Right() const { return a.x < b.x ? b.x : a.x; }
    int Top() const { return a.y < b.y ? a.y : b.y; }
    int Bottom() const { return a.y < b.y ? b.y : a.y; }
};

// Rows whose cells an operation changed (a cell rewritten with its own value is no change).
using RowSet = std::bitset<worldmap::MapHeight>;

// A rectangle of tiles cut out of a grid, row-major.
struct Block {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> tiles;
    uint8_t At(int x, int y) const { return tiles[static_cast<std::size_t>(y * width + x)]; }
};

inline bool InMap(Cell c) {
    return c.x >= 0 && c.x < worldmap::MapWidth && c.y >= 0 && c.y < worldmap::MapHeight;
}
inline std::size_t CellIndex(Cell c) {
    return static_cast<std::size_t>(c.y * worldmap::MapWidth + c.x);
}

// The cells of the straight line from `from` to `to`, both included, in order: one per
// step along the longer axis (Bresenham), so consecutive cells touch at a side or a corner
// and the line has no gaps. Cells outside the map are kept; the operations skip them.
std::vector<Cell> LineCells(Cell from, Cell to);

RowSet SetCell(GridSpan grid, Cell cell, uint8_t tile);
RowSet DrawLine(GridSpan grid, Cell from, Cell to, uint8_t tile);
RowSet FillRect(GridSpan grid, const Rect& rect, uint8_t tile);
// The 4-connected area of cells equal to the start cell becomes `tile`.
RowSet FloodFill(GridSpan grid, Cell start, uint8_t tile);
// Every cell of tile `from` becomes `to`, inside `within` when given.
RowSet ReplaceTile(GridSpan grid, uint8_t from, uint8_t to,
                   const std::optional<Rect>& within = std::nullopt);
// The part of `rect` inside the map; an empty block when none of it is.
Block CopyRect(GridView grid, const Rect& rect);
// The block with its top-left at `at`; cells past the map's edges are dropped.
RowSet Paste(GridSpan grid, const Block& block, Cell at);

} // namespace edit
