#include "gfx/MapCanvas.h"

#include <algorithm>
#include <cstring>

namespace gfx {

namespace {

// Half the pixel, half magenta: stands out on the greens, blues and browns of terrain.
uint32_t Tint(uint32_t argb) {
    return 0xFF000000u | (((argb >> 1) & 0x007F7F7Fu) + 0x00800080u);
}

// Two thirds of the pixel: a line that shows on light and dark tiles alike.
uint32_t Darken(uint32_t argb) {
    const uint32_t r = (argb >> 16 & 0xFF) * 2 / 3;
    const uint32_t g = (argb >> 8 & 0xFF) * 2 / 3;
    const uint32_t b = (argb & 0xFF) * 2 / 3;
    return 0xFF000000u | r << 16 | g << 8 | b;
}

void Fill(uint32_t* out, int count, uint32_t colour) {
    std::fill(out, out + count, colour);
}

// The source tile of every cell of one map row, overlay and highlight resolved, so the
// pixel rows of that cell row only copy.
void ResolveRow(const uint8_t* gridRow, int cellY, const ScaledTiles& tiles,
                const ComposeOptions& options, int firstCell, int lastCell,
                const uint32_t** sources) {
    const CellOverlay* overlay = options.overlay;
    const bool overlayRow =
        overlay != nullptr && cellY >= overlay->top && cellY < overlay->top + overlay->height;
    for (int x = firstCell; x <= lastCell; ++x) {
        int tile = gridRow[x];
        if (overlayRow && overlay->Covers(x, cellY)) {
            tile = overlay->At(x, cellY);
        }
        sources[x] = tile == options.highlightTile ? tiles.Tinted(tile) : tiles.Tile(tile);
    }
}

// The map's part of the region, `CP` pixels a cell; the constant size lets the copy of a
// whole cell row compile to a few moves.
template <int CP>
void ComposeRows(worldmap::GridView grid, const ScaledTiles& tiles, int mapX, int mapY, int width,
                 int height, uint32_t* out, int stride, const ComposeOptions& options) {
    constexpr int MapPixels = worldmap::MapWidth * CP;
    // Columns of the region that show the map: [left, right).
    const int left = std::clamp(-mapX, 0, width);
    const int right = std::clamp(MapPixels - mapX, left, width);
    const int firstCell = right > left ? (mapX + left) / CP : 0;
    const int lastCell = right > left ? (mapX + right - 1) / CP : -1;
    const uint32_t* sources[worldmap::MapWidth];
    int resolvedRow = -1;
    for (int y = 0; y < height; ++y) {
        uint32_t* row = out + static_cast<std::ptrdiff_t>(y) * stride;
        const int my = mapY + y;
        if (my < 0 || my >= MapPixels || right <= left) {
            Fill(row, width, options.background);
            continue;
        }
        const int cellY = my / CP;
        const int inY = my % CP;
        if (cellY != resolvedRow) {
            ResolveRow(grid.data() + cellY * worldmap::MapWidth, cellY, tiles, options, firstCell,
                       lastCell, sources);
            resolvedRow = cellY;
        }
        Fill(row, left, options.background);
        int x = left;
        int cell = firstCell;
        // A first cell cut by the region's left edge.
        const int inX = (mapX + x) % CP;
        if (inX != 0) {
            const int n = std::min(CP - inX, right - x);
            std::memcpy(row + x, sources[cell] + inY * CP + inX,
                        static_cast<std::size_t>(n) * sizeof(uint32_t));
            x += n;
            ++cell;
        }
        for (; right - x >= CP; x += CP, ++cell) {
            std::memcpy(row + x, sources[cell] + inY * CP, CP * sizeof(uint32_t));
        }
        if (x < right) {
            std::memcpy(row + x, sources[cell] + inY * CP,
                        static_cast<std::size_t>(right - x) * sizeof(uint32_t));
        }
        Fill(row + right, width - right, options.background);
    }
}

// Per grid byte, the scaled tile a cell of it is drawn with; null for cells left as they are.
using CellSources = std::array<const uint32_t*, 256>;

// Copies whole cells, `CP` pixels a cell, of the whole-map picture at `out`.
template <int CP>
void CopyCells(worldmap::GridView grid, const CellSources& sources, uint32_t* out, int stride) {
    for (int y = 0; y < worldmap::MapHeight; ++y) {
        const uint8_t* gridRow = grid.data() + static_cast<std::ptrdiff_t>(y) * worldmap::MapWidth;
        uint32_t* cellRow = out + static_cast<std::ptrdiff_t>(y) * CP * stride;
        for (int x = 0; x < worldmap::MapWidth; ++x) {
            const uint32_t* src = sources[gridRow[x]];
            if (src == nullptr) {
                continue;
            }
            uint32_t* dst = cellRow + x * CP;
            for (int i = 0; i < CP; ++i, src += CP, dst += stride) {
                std::memcpy(dst, src, CP * sizeof(uint32_t));
            }
        }
    }
}

} // namespace

void ScaledTiles::Build(const MetatilePixels& tiles, int cellPixels, bool gridLines) {
    cell_ = cellPixels;
    gridLines_ = gridLines;
    const auto area = static_cast<std::size_t>(cellPixels * cellPixels);
    plain_.assign(area * TileCount, 0);
    tinted_.assign(area * TileCount, 0);
    for (int t = 0; t < TileCount; ++t) {
        BuildTile(tiles[static_cast<std::size_t>(t)], t);
    }
}

void ScaledTiles::Update(const MetatilePixels& tiles, const TileMask& which) {
    if (cell_ == 0) {
        return; // never built: there is nothing to keep up to date
    }
    for (int t = 0; t < TileCount; ++t) {
        if (which.test(static_cast<std::size_t>(t))) {
            BuildTile(tiles[static_cast<std::size_t>(t)], t);
        }
    }
}

void ScaledTiles::BuildTile(const TilePixels& src, int t) {
    const int cellPixels = cell_;
    const auto area = static_cast<std::size_t>(cellPixels * cellPixels);
    uint32_t* dst = plain_.data() + Offset(t);
    if (cellPixels >= TileSize) {
        const int repeat = cellPixels / TileSize;
        for (int y = 0; y < cellPixels; ++y) {
            for (int x = 0; x < cellPixels; ++x) {
                dst[y * cellPixels + x] =
                    ToArgb(src[static_cast<std::size_t>((y / repeat) * TileSize + x / repeat)]);
            }
        }
    } else {
        const int block = TileSize / cellPixels;
        for (int y = 0; y < cellPixels; ++y) {
            for (int x = 0; x < cellPixels; ++x) {
                uint32_t r = 0;
                uint32_t g = 0;
                uint32_t b = 0;
                for (int dy = 0; dy < block; ++dy) {
                    for (int dx = 0; dx < block; ++dx) {
                        const uint32_t c = src[static_cast<std::size_t>(
                            (y * block + dy) * TileSize + x * block + dx)];
                        r += c & 0xFF;
                        g += c >> 8 & 0xFF;
                        b += c >> 16 & 0xFF;
                    }
                }
                const auto n = static_cast<uint32_t>(block * block);
                dst[y * cellPixels + x] =
                    ToArgb((r + n / 2) / n | ((g + n / 2) / n) << 8 | ((b + n / 2) / n) << 16);
            }
        }
    }
    if (gridLines_ && cellPixels >= MinGridCellPixels) {
        for (int i = 0; i < cellPixels; ++i) {
            dst[i] = Darken(dst[i]);
            if (i > 0) {
                dst[i * cellPixels] = Darken(dst[i * cellPixels]);
            }
        }
    }
    uint32_t* tinted = tinted_.data() + Offset(t);
    for (std::size_t i = 0; i < area; ++i) {
        tinted[i] = Tint(dst[i]);
    }
}

void ComposeMap(worldmap::GridView grid, const ScaledTiles& tiles, int mapX, int mapY, int width,
                int height, uint32_t* out, int stride, const ComposeOptions& options) {
    if (width <= 0 || height <= 0) {
        return;
    }
    // One instance per zoom step, in the order of ZoomCellPixels.
    using Composer = void (*)(worldmap::GridView, const ScaledTiles&, int, int, int, int, uint32_t*,
                              int, const ComposeOptions&);
    static constexpr std::array<Composer, ZoomSteps> composers = {
        &ComposeRows<2>,  &ComposeRows<4>,  &ComposeRows<8>,
        &ComposeRows<16>, &ComposeRows<32>, &ComposeRows<64>};
    static_assert(ZoomCellPixels == std::array<int, ZoomSteps>{2, 4, 8, 16, 32, 64});
    const auto* step = std::find(ZoomCellPixels.begin(), ZoomCellPixels.end(), tiles.CellPixels());
    if (step == ZoomCellPixels.end()) {
        // Tiles never built: nothing to draw them with.
        for (int y = 0; y < height; ++y) {
            Fill(out + static_cast<std::ptrdiff_t>(y) * stride, width, options.background);
        }
        return;
    }
    composers[static_cast<std::size_t>(step - ZoomCellPixels.begin())](
        grid, tiles, mapX, mapY, width, height, out, stride, options);
}

void ComposeTileCells(worldmap::GridView grid, const ScaledTiles& tiles, const TileMask& which,
                      uint32_t* out, int stride, int highlightTile) {
    using Copier = void (*)(worldmap::GridView, const CellSources&, uint32_t*, int);
    static constexpr std::array<Copier, ZoomSteps> copiers = {&CopyCells<2>,  &CopyCells<4>,
                                                              &CopyCells<8>,  &CopyCells<16>,
                                                              &CopyCells<32>, &CopyCells<64>};
    const auto* step = std::find(ZoomCellPixels.begin(), ZoomCellPixels.end(), tiles.CellPixels());
    if (step == ZoomCellPixels.end() || which.none()) {
        return;
    }
    CellSources sources{};
    for (int t = 0; t < TileCount; ++t) {
        if (which.test(static_cast<std::size_t>(t))) {
            sources[static_cast<std::size_t>(t)] =
                t == highlightTile ? tiles.Tinted(t) : tiles.Tile(t);
        }
    }
    copiers[static_cast<std::size_t>(step - ZoomCellPixels.begin())](grid, sources, out, stride);
}

} // namespace gfx
