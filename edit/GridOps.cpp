#include "edit/GridOps.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace edit {

namespace {

using worldmap::MapHeight;
using worldmap::MapWidth;

// Writes `tile` into columns [x0, x1] of row y (already inside the map); true when a cell
// changed.
bool FillSpan(GridSpan grid, int y, int x0, int x1, uint8_t tile) {
    uint8_t* row = grid.data() + y * MapWidth;
    const auto count = static_cast<std::size_t>(x1 - x0 + 1);
    if (std::all_of(row + x0, row + x0 + count, [tile](uint8_t t) { return t == tile; })) {
        return false;
    }
    std::memset(row + x0, tile, count);
    return true;
}

// The rectangle clipped to the map; false when nothing of it is inside.
bool Clip(const Rect& rect, int& left, int& top, int& right, int& bottom) {
    left = std::max(rect.Left(), 0);
    top = std::max(rect.Top(), 0);
    right = std::min(rect.Right(), MapWidth - 1);
    bottom = std::min(rect.Bottom(), MapHeight - 1);
    return left <= right && top <= bottom;
}

} // namespace

std::vector<Cell> LineCells(Cell from, Cell to) {
    std::vector<Cell> cells;
    const int dx = std::abs(to.x - from.x);
    const int dy = -std::abs(to.y - from.y);
    const int sx = from.x < to.x ? 1 : -1;
    const int sy = from.y < to.y ? 1 : -1;
    cells.reserve(static_cast<std::size_t>(std::max(dx, -dy) + 1));
    int error = dx + dy;
    Cell c = from;
    for (;;) {
        cells.push_back(c);
        if (c == to) {
            break;
        }
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            c.x += sx;
        }
        if (twice <= dx) {
            error += dx;
            c.y += sy;
        }
    }
    return cells;
}

RowSet SetCell(GridSpan grid, Cell cell, uint8_t tile) {
    RowSet changed;
    if (InMap(cell) && grid[CellIndex(cell)] != tile) {
        grid[CellIndex(cell)] = tile;
        changed.set(static_cast<std::size_t>(cell.y));
    }
    return changed;
}

RowSet DrawLine(GridSpan grid, Cell from, Cell to, uint8_t tile) {
    RowSet changed;
    for (const Cell& c : LineCells(from, to)) {
        changed |= SetCell(grid, c, tile);
    }
    return changed;
}

RowSet FillRect(GridSpan grid, const Rect& rect, uint8_t tile) {
    RowSet changed;
    int left, top, right, bottom;
    if (!Clip(rect, left, top, right, bottom)) {
        return changed;
    }
    for (int y = top; y <= bottom; ++y) {
        if (FillSpan(grid, y, left, right, tile)) {
            changed.set(static_cast<std::size_t>(y));
        }
    }
    return changed;
}

RowSet FloodFill(GridSpan grid, Cell start, uint8_t tile) {
    RowSet changed;
    if (!InMap(start)) {
        return changed;
    }
    const uint8_t target = grid[CellIndex(start)];
    if (target == tile) {
        return changed;
    }
    // Scanline fill: each popped seed fills the whole horizontal span of target cells it
    // lies in, then seeds the rows above and below once per span of target cells there.
    // Filled cells no longer equal `target`, so nothing is visited twice.
    std::vector<Cell> seeds{start};
    while (!seeds.empty()) {
        const Cell s = seeds.back();
        seeds.pop_back();
        uint8_t* row = grid.data() + s.y * MapWidth;
        if (row[s.x] != target) {
            continue;
        }
        int x0 = s.x;
        int x1 = s.x;
        while (x0 > 0 && row[x0 - 1] == target) {
            --x0;
        }
        while (x1 < MapWidth - 1 && row[x1 + 1] == target) {
            ++x1;
        }
        std::memset(row + x0, tile, static_cast<std::size_t>(x1 - x0 + 1));
        changed.set(static_cast<std::size_t>(s.y));
        for (int ny : {s.y - 1, s.y + 1}) {
            if (ny < 0 || ny >= MapHeight) {
                continue;
            }
            const uint8_t* next = grid.data() + ny * MapWidth;
            bool inSpan = false;
            for (int x = x0; x <= x1; ++x) {
                const bool match = next[x] == target;
                if (match && !inSpan) {
                    seeds.push_back({x, ny});
                }
                inSpan = match;
            }
        }
    }
    return changed;
}

RowSet ReplaceTile(GridSpan grid, uint8_t from, uint8_t to, const std::optional<Rect>& within) {
    RowSet changed;
    int left = 0, top = 0, right = MapWidth - 1, bottom = MapHeight - 1;
    if ((within && !Clip(*within, left, top, right, bottom)) || from == to) {
        return changed;
    }
    for (int y = top; y <= bottom; ++y) {
        uint8_t* row = grid.data() + y * MapWidth;
        for (int x = left; x <= right; ++x) {
            if (row[x] == from) {
                row[x] = to;
                changed.set(static_cast<std::size_t>(y));
            }
        }
    }
    return changed;
}

Block CopyRect(GridView grid, const Rect& rect) {
    Block block;
    int left, top, right, bottom;
    if (!Clip(rect, left, top, right, bottom)) {
        return block;
    }
    block.width = right - left + 1;
    block.height = bottom - top + 1;
    block.tiles.reserve(static_cast<std::size_t>(block.width * block.height));
    for (int y = top; y <= bottom; ++y) {
        const uint8_t* row = grid.data() + y * MapWidth;
        block.tiles.insert(block.tiles.end(), row + left, row + right + 1);
    }
    return block;
}

RowSet Paste(GridSpan grid, const Block& block, Cell at) {
    RowSet changed;
    if (block.width <= 0 || block.height <= 0 ||
        block.tiles.size() < static_cast<std::size_t>(block.width * block.height)) {
        return changed;
    }
    const int x0 = std::max(at.x, 0);
    const int x1 = std::min(at.x + block.width, MapWidth); // exclusive
    const int y0 = std::max(at.y, 0);
    const int y1 = std::min(at.y + block.height, MapHeight);
    if (x0 >= x1) {
        return changed;
    }
    for (int y = y0; y < y1; ++y) {
        uint8_t* row = grid.data() + y * MapWidth;
        const uint8_t* source = block.tiles.data() + (y - at.y) * block.width + (x0 - at.x);
        const auto count = static_cast<std::size_t>(x1 - x0);
        if (std::memcmp(row + x0, source, count) != 0) {
            std::memcpy(row + x0, source, count);
            changed.set(static_cast<std::size_t>(y));
        }
    }
    return changed;
}

} // namespace edit
