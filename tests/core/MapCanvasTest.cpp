#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>

#include "gfx/MapCanvas.h"
#include "tests/support/RomBuilder.h"

namespace {

// Tiles whose every pixel differs, so a wrong offset anywhere shows.
std::unique_ptr<gfx::MetatilePixels> NoiseTiles() {
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    std::minstd_rand engine(99);
    for (auto& tile : *tiles) {
        for (auto& pixel : tile) {
            pixel = engine() & 0xFFFFFF;
        }
    }
    return tiles;
}

// What one output pixel must be, worked out on its own terms.
uint32_t Expected(const testsupport::Grid& grid, const gfx::ScaledTiles& tiles, int mx, int my,
                  const gfx::ComposeOptions& options) {
    const int cp = tiles.CellPixels();
    if (mx < 0 || my < 0 || mx >= 256 * cp || my >= 256 * cp) {
        return options.background;
    }
    const int x = mx / cp;
    const int y = my / cp;
    int tile = grid[static_cast<std::size_t>(y * 256 + x)];
    if (options.overlay != nullptr && options.overlay->Covers(x, y)) {
        tile = options.overlay->At(x, y);
    }
    const uint32_t* src = tile == options.highlightTile ? tiles.Tinted(tile) : tiles.Tile(tile);
    return src[(my % cp) * cp + mx % cp];
}

TEST(MapCanvasTest, ComposedRegionsMatchEveryPixelAtEveryZoom) {
    const auto metatiles = NoiseTiles();
    const testsupport::Grid grid = testsupport::RandomGrid(5, 20, 30, 40);
    const std::vector<uint8_t> stampCells = {1, 2, 3, 4, 5, 6};
    const gfx::CellOverlay stamp{250, 3, 3, 2, stampCells.data(), 0};
    const gfx::CellOverlay rect{10, 10, 5, 7, nullptr, 77};
    std::minstd_rand engine(3);
    for (int cp : gfx::ZoomCellPixels) {
        gfx::ScaledTiles tiles;
        tiles.Build(*metatiles, cp);
        for (int trial = 0; trial < 6; ++trial) {
            gfx::ComposeOptions options;
            options.highlightTile = trial % 2 == 0 ? grid[0] : -1;
            options.overlay = trial % 3 == 0 ? &stamp : trial % 3 == 1 ? &rect : nullptr;
            // Regions that start before the map, end past it, or lie in the middle.
            const int span = 256 * cp;
            const int mapX = static_cast<int>(engine() % static_cast<unsigned>(span + 200)) - 100;
            const int mapY = static_cast<int>(engine() % static_cast<unsigned>(span + 200)) - 100;
            const int width = 1 + static_cast<int>(engine() % 300);
            const int height = 1 + static_cast<int>(engine() % 40);
            const int stride = width + 7;
            std::vector<uint32_t> out(static_cast<std::size_t>(stride * height), 0xDEADBEEF);
            gfx::ComposeMap(grid, tiles, mapX, mapY, width, height, out.data(), stride, options);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < stride; ++x) {
                    const uint32_t got = out[static_cast<std::size_t>(y * stride + x)];
                    if (x >= width) {
                        ASSERT_EQ(got, 0xDEADBEEFu) << "wrote past the region's width";
                        continue;
                    }
                    ASSERT_EQ(got, Expected(grid, tiles, mapX + x, mapY + y, options))
                        << "cell " << cp << " px, map pixel " << mapX + x << "," << mapY + y;
                }
            }
        }
    }
}

TEST(MapCanvasTest, ScaledTilesAverageDownAndRepeatUp) {
    auto metatiles = std::make_unique<gfx::MetatilePixels>();
    // Tile 9: left half red 0xF0, right half red 0x10; tile 10: one white pixel at (3, 5).
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            (*metatiles)[9][static_cast<std::size_t>(y * 16 + x)] = x < 8 ? 0xF0 : 0x10;
        }
    }
    (*metatiles)[10][5 * 16 + 3] = 0xFFFFFF;
    gfx::ScaledTiles small;
    small.Build(*metatiles, 2);
    EXPECT_EQ(small.Tile(9)[0], 0xFFF00000u);
    EXPECT_EQ(small.Tile(9)[1], 0xFF100000u);
    gfx::ScaledTiles quarter;
    quarter.Build(*metatiles, 4); // 4 x 4 blocks: the white pixel is 1/16 of block (0, 1)
    EXPECT_EQ(quarter.Tile(10)[1 * 4 + 0], 0xFF101010u);
    gfx::ScaledTiles big;
    big.Build(*metatiles, 64);
    for (int dy = 0; dy < 4; ++dy) {
        for (int dx = 0; dx < 4; ++dx) {
            EXPECT_EQ(big.Tile(10)[(5 * 4 + dy) * 64 + 3 * 4 + dx], 0xFFFFFFFFu);
        }
    }
    EXPECT_EQ(big.Tile(10)[(5 * 4) * 64 + 3 * 4 - 1], 0xFF000000u);
    EXPECT_NE(big.Tinted(10)[0], big.Tile(10)[0]);

    // Grid lines darken each cell's top row and left column only, and never at 2 pixels.
    (*metatiles)[11].fill(0x909090);
    gfx::ScaledTiles plain;
    plain.Build(*metatiles, 8);
    gfx::ScaledTiles lined;
    lined.Build(*metatiles, 8, true);
    EXPECT_EQ(lined.Tile(11)[0], 0xFF606060u);
    EXPECT_EQ(lined.Tile(11)[7], 0xFF606060u);
    EXPECT_EQ(lined.Tile(11)[7 * 8], 0xFF606060u);
    EXPECT_EQ(lined.Tile(11)[1 * 8 + 1], plain.Tile(11)[1 * 8 + 1]);
    gfx::ScaledTiles tiny;
    tiny.Build(*metatiles, 2, true);
    EXPECT_EQ(tiny.Tile(11)[0], 0xFF909090u);
}

// Tiles 3 and 9 told to have changed, tile 4 changed untold: only the told tiles' cells are
// drawn again, as a whole compose would draw them (tile 9 highlighted); the cells of tile 4
// and a cell of no tile keep theirs.
TEST(MapCanvasTest, CellsOfChangedTilesRedrawnAsAWholeComposeWould) {
    const auto old = NoiseTiles();
    auto fresh = std::make_unique<gfx::MetatilePixels>(*old);
    for (int t : {3, 4, 9}) {
        (*fresh)[static_cast<std::size_t>(t)].fill(0x102030u * static_cast<uint32_t>(t));
    }
    auto want = std::make_unique<gfx::MetatilePixels>(*fresh);
    (*want)[4] = (*old)[4];
    auto grid = std::make_unique<testsupport::Grid>(testsupport::RandomGrid(5, 6, 0, 128));
    (*grid)[300] = 200;
    gfx::ScaledTiles scaled;
    gfx::ScaledTiles full;
    scaled.Build(*old, 8, true);
    full.Build(*want, 8, true);
    constexpr int Side = 256 * 8;
    std::vector<uint32_t> map(Side * Side);
    std::vector<uint32_t> whole(Side * Side);
    gfx::ComposeOptions options;
    options.highlightTile = 9;
    gfx::ComposeMap(*grid, scaled, 0, 0, Side, Side, map.data(), Side, options);
    const auto told = gfx::TileMask().set(3).set(9);
    scaled.Update(*fresh, told);
    gfx::ComposeTileCells(*grid, scaled, told, map.data(), Side, 9);
    gfx::ComposeMap(*grid, full, 0, 0, Side, Side, whole.data(), Side, options);
    EXPECT_TRUE(map == whole);
}

} // namespace
