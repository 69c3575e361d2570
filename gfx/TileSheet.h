#pragma once

#include "gfx/TileRenderer.h"

// Where the 128 tiles sit in a sheet of square cells, SheetColumns to a row, and how the
// chosen one is outlined: the layout every tile chooser and picture of the tiles shares.
namespace gfx {

inline constexpr int SheetRows = TileCount / SheetColumns;

struct SheetPoint {
    int x = 0;
    int y = 0;
    friend constexpr bool operator==(const SheetPoint&, const SheetPoint&) = default;
};

// Corners inclusive: the first and the last pixel each way.
struct SheetRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend constexpr bool operator==(const SheetRect&, const SheetRect&) = default;
};

// The top-left pixel of tile `tile`'s cell, with cells `cellPixels` square.
constexpr SheetPoint SheetCellOrigin(int tile, int cellPixels) {
    return {tile % SheetColumns * cellPixels, tile / SheetColumns * cellPixels};
}

// The tile whose cell holds sheet pixel (x, y); -1 outside the sheet.
constexpr int SheetTileAt(int x, int y, int cellPixels) {
    if (x < 0 || y < 0 || x >= SheetColumns * cellPixels || y >= SheetRows * cellPixels) {
        return -1;
    }
    return y / cellPixels * SheetColumns + x / cellPixels;
}

// The chosen tile's outline: the border pixels of its cell, drawn over the tile so the
// sheet keeps its size.
constexpr SheetRect SheetOutline(int tile, int cellPixels) {
    const SheetPoint o = SheetCellOrigin(tile, cellPixels);
    return {o.x, o.y, o.x + cellPixels - 1, o.y + cellPixels - 1};
}

} // namespace gfx
