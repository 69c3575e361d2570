#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "gfx/TileRenderer.h"
#include "worldmap/RowCode.h"

// Drawing a world map at any of the zoom steps into a plain pixel buffer, a region at a
// time, so a window repaints only what changed and draws the result with one image copy.
namespace gfx {

// Pixels a map cell takes at each zoom step: 1/8, 1/4, 1/2, 1, 2 and 4 of a tile's 16.
inline constexpr int ZoomSteps = 6;
inline constexpr std::array<int, ZoomSteps> ZoomCellPixels = {2, 4, 8, 16, 32, 64};
inline constexpr int NativeZoom = 3; // 16 pixels a cell

// The 128 tiles of a map at one cell size, as opaque 0xAARRGGBB pixels, each tile
// row-major. Smaller than 16 pixels a tile is averaged down (each output pixel the mean of
// the block it covers); larger, each pixel is repeated. A second set, tinted, marks the
// highlighted tile. Grid lines, when asked for, are part of the tiles: each cell's top row
// and left column darkened, which costs nothing to draw.
class ScaledTiles {
  public:
    // Below this many pixels a cell, grid lines would hide the map: none are drawn.
    static constexpr int MinGridCellPixels = 4;

    // `tiles` in 0x00BBGGRR as the renderer gives them; `cellPixels` one of ZoomCellPixels.
    void Build(const MetatilePixels& tiles, int cellPixels, bool gridLines = false);
    // Scales again only the tiles of `which`, as the last Build did.
    void Update(const MetatilePixels& tiles, const TileMask& which);
    int CellPixels() const { return cell_; }
    const uint32_t* Tile(int tile) const { return plain_.data() + Offset(tile); }
    const uint32_t* Tinted(int tile) const { return tinted_.data() + Offset(tile); }

  private:
    void BuildTile(const TilePixels& src, int tile);
    std::size_t Offset(int tile) const {
        return static_cast<std::size_t>(tile & 0x7F) * static_cast<std::size_t>(cell_ * cell_);
    }
    int cell_ = 0;
    bool gridLines_ = false;
    std::vector<uint32_t> plain_;
    std::vector<uint32_t> tinted_;
};

// Cells drawn over the grid's own without changing it: a rectangle being dragged out or a
// pasted block following the pointer. Cells past the map's edges are not drawn.
struct CellOverlay {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    // Row-major width x height tiles; when empty, every cell of the overlay is `tile`.
    const uint8_t* cells = nullptr;
    uint8_t tile = 0;

    bool Covers(int x, int y) const {
        return x >= left && x < left + width && y >= top && y < top + height;
    }
    uint8_t At(int x, int y) const {
        return cells != nullptr ? cells[(y - top) * width + (x - left)] : tile;
    }
};

struct ComposeOptions {
    uint32_t background = 0xFF404040; // where the region lies outside the map
    int highlightTile = -1;           // cells of this tile drawn tinted; -1 for none
    const CellOverlay* overlay = nullptr;
};

// Fills `width` x `height` pixels of `out` (rows `stride` pixels apart) with the map as
// seen from map pixel (mapX, mapY) at the tiles' cell size: out[0] shows that map pixel.
// Map pixel (0, 0) is the top-left of cell (0, 0); coordinates may be negative or past the
// map, which shows the background.
void ComposeMap(worldmap::GridView grid, const ScaledTiles& tiles, int mapX, int mapY, int width,
                int height, uint32_t* out, int stride, const ComposeOptions& options = {});

// Draws again, into a picture of the whole map at the tiles' cell size (map pixel (0, 0) at
// out[0], rows `stride` pixels apart), only the cells that show a tile of `which`: what new
// looks of those tiles change, and nothing else.
void ComposeTileCells(worldmap::GridView grid, const ScaledTiles& tiles, const TileMask& which,
                      uint32_t* out, int stride, int highlightTile = -1);

} // namespace gfx
