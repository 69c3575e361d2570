#include "edit/GridOps.h"

#include <algorithm>
#include <bit>
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

// How many of the `n` cells from `p` onwards equal `value` before the first that does not.
// Eight cells at a time: the flood fill spends its time finding the ends of runs.
int RunFrom(const uint8_t* p, int n, uint8_t value) {
    const uint64_t pattern = 0x0101010101010101ULL * value;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (const uint64_t diff = word ^ pattern; diff != 0) {
            const int zeros = std::endian::native == std::endian::little ? std::countr_zero(diff)
                                                                         : std::countl_zero(diff);
            return i + zeros / 8;
        }
    }
    while (i < n && p[i] == value) {
        ++i;
    }
    return i;
}

// The same backwards: how many of the `n` cells before `end` equal `value`, counting down.
int RunBefore(const uint8_t* end, int n, uint8_t value) {
    const uint64_t pattern = 0x0101010101010101ULL * value;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, end - i - 8, 8);
        if (const uint64_t diff = word ^ pattern; diff != 0) {
            const int zeros = std::endian::native == std::endian::little ? std::countl_zero(diff)
                                                                         : std::countr_zero(diff);
            return i + zeros / 8;
        }
    }
    while (i < n && end[-i - 1] == value) {
        ++i;
    }
    return i;
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
        const int x0 = s.x - RunBefore(row + s.x, s.x, target);
        const int x1 = s.x + RunFrom(row + s.x, MapWidth - s.x, target) - 1;
        std::memset(row + x0, tile, static_cast<std::size_t>(x1 - x0 + 1));
        changed.set(static_cast<std::size_t>(s.y));
        for (int ny : {s.y - 1, s.y + 1}) {
            if (ny < 0 || ny >= MapHeight) {
                continue;
            }
            const uint8_t* next = grid.data() + ny * MapWidth;
            int x = x0;
            while (x <= x1) {
                const auto* found = static_cast<const uint8_t*>(
                    std::memchr(next + x, target, static_cast<std::size_t>(x1 - x + 1)));
                if (found == nullptr) {
                    break;
                }
                x = static_cast<int>(found - next);
                seeds.push_back({x, ny});
                x += RunFrom(next + x, x1 - x + 1, target);
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
