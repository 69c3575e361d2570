#pragma once

#include <array>
#include <bitset>
#include <cstdint>

#include "gfx/TileRenderer.h"
#include "worldmap/RowCode.h"

namespace gfx {

// A whole world map at one pixel per 2 by 2 cells.
inline constexpr int MinimapSize = worldmap::MapWidth / 2;
static_assert(worldmap::MapWidth == worldmap::MapHeight, "the minimap is square");

// Opaque 0xAARRGGBB, so a picture library can wrap the buffer without converting it.
using TileColours = std::array<uint32_t, TileCount>;
using MinimapBuffer = std::array<uint32_t, MinimapSize * MinimapSize>;
// Grid rows, as edit::RowSet holds them.
using GridRows = std::bitset<worldmap::MapHeight>;

// Each tile's average over its 256 pixels, per channel and rounded to nearest.
TileColours AverageTileColours(const MetatilePixels& tiles);

// Recomputes the minimap rows that cover grid rows firstRow to endRow - 1, and no others.
// Each pixel is the rounded per-channel average of its four cells' tile colours; a cell
// above tile 127, which no map can store, counts as black.
void UpdateMinimapRows(worldmap::GridView grid, const TileColours& colours, int firstRow,
                       int endRow, MinimapBuffer& out);
// The same for the minimap rows covering the grid rows set in `rows`.
void UpdateMinimapRows(worldmap::GridView grid, const TileColours& colours, const GridRows& rows,
                       MinimapBuffer& out);

// For new colours of the tiles of `which`: recomputes only the pixels with one of them among
// their four cells.
void UpdateMinimapTiles(worldmap::GridView grid, const TileColours& colours, const TileMask& which,
                        MinimapBuffer& out);

inline void RenderMinimap(worldmap::GridView grid, const TileColours& colours, MinimapBuffer& out) {
    UpdateMinimapRows(grid, colours, 0, worldmap::MapHeight, out);
}

} // namespace gfx
