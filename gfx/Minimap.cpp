#include "gfx/Minimap.h"

#include <algorithm>

namespace gfx {

namespace {

constexpr uint32_t Opaque = 0xFF000000u;

uint32_t ColourOf(const TileColours& colours, uint8_t tile) {
    return tile < TileCount ? colours[tile] : Opaque;
}

// The pixel over the 2 by 2 cells whose top-left one is at `top`.
uint32_t MinimapPixel(const uint8_t* top, const TileColours& colours) {
    const uint8_t* bottom = top + worldmap::MapWidth;
    const uint32_t quad[] = {ColourOf(colours, top[0]), ColourOf(colours, top[1]),
                             ColourOf(colours, bottom[0]), ColourOf(colours, bottom[1])};
    uint32_t pixel = Opaque;
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t sum = 2;
        for (uint32_t c : quad) {
            sum += c >> shift & 0xFFu;
        }
        pixel |= (sum / 4) << shift;
    }
    return pixel;
}

const uint8_t* TopLeftCell(worldmap::GridView grid, int mx, int my) {
    return grid.data() + static_cast<std::size_t>(2 * my) * worldmap::MapWidth +
           static_cast<std::size_t>(2 * mx);
}

void UpdateMinimapRow(worldmap::GridView grid, const TileColours& colours, int my,
                      MinimapBuffer& out) {
    uint32_t* row = out.data() + static_cast<std::size_t>(my) * MinimapSize;
    for (int mx = 0; mx < MinimapSize; ++mx) {
        row[mx] = MinimapPixel(TopLeftCell(grid, mx, my), colours);
    }
}

} // namespace

TileColours AverageTileColours(const MetatilePixels& tiles) {
    TileColours colours{};
    for (int t = 0; t < TileCount; ++t) {
        // Summed in 0x00BBGGRR; each channel's total fits 16 bits, so no channel spills.
        uint32_t sums[3] = {};
        for (uint32_t bgr : tiles[static_cast<std::size_t>(t)]) {
            sums[0] += bgr & 0xFFu;
            sums[1] += bgr >> 8 & 0xFFu;
            sums[2] += bgr >> 16 & 0xFFu;
        }
        constexpr uint32_t Pixels = TileSize * TileSize;
        const uint32_t bgr = (sums[0] + Pixels / 2) / Pixels |
                             (sums[1] + Pixels / 2) / Pixels << 8 |
                             (sums[2] + Pixels / 2) / Pixels << 16;
        colours[static_cast<std::size_t>(t)] = ToArgb(bgr);
    }
    return colours;
}

void UpdateMinimapRows(worldmap::GridView grid, const TileColours& colours, int firstRow,
                       int endRow, MinimapBuffer& out) {
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, worldmap::MapHeight);
    for (int my = firstRow / 2; my * 2 < endRow; ++my) {
        UpdateMinimapRow(grid, colours, my, out);
    }
}

void UpdateMinimapRows(worldmap::GridView grid, const TileColours& colours, const GridRows& rows,
                       MinimapBuffer& out) {
    for (int my = 0; my < MinimapSize; ++my) {
        if (rows.test(static_cast<std::size_t>(2 * my)) ||
            rows.test(static_cast<std::size_t>(2 * my + 1))) {
            UpdateMinimapRow(grid, colours, my, out);
        }
    }
}

void UpdateMinimapTiles(worldmap::GridView grid, const TileColours& colours, const TileMask& which,
                        MinimapBuffer& out) {
    const auto shown = [&](uint8_t tile) { return tile < TileCount && which.test(tile); };
    for (int my = 0; my < MinimapSize; ++my) {
        for (int mx = 0; mx < MinimapSize; ++mx) {
            const uint8_t* top = TopLeftCell(grid, mx, my);
            const uint8_t* bottom = top + worldmap::MapWidth;
            if (shown(top[0]) || shown(top[1]) || shown(bottom[0]) || shown(bottom[1])) {
                out[static_cast<std::size_t>(my * MinimapSize + mx)] = MinimapPixel(top, colours);
            }
        }
    }
}

} // namespace gfx
