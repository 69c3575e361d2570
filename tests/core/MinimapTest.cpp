#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

#include "gfx/Minimap.h"
#include "tests/support/RomBuilder.h"

namespace {

using gfx::MinimapBuffer;
using gfx::TileColours;

// Tile 0 black, 1 red, 2 blue (pixels are 0x00BBGGRR); tile 3 half black and half
// 0x010203, so that its channels average 1.5, 1 and 0.5.
std::unique_ptr<gfx::MetatilePixels> Tiles() {
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    (*tiles)[1].fill(0x0000FFu);
    (*tiles)[2].fill(0xFF0000u);
    for (std::size_t i = 0; i < 256; ++i) {
        (*tiles)[3][i] = i % 2 == 0 ? 0 : 0x010203u;
    }
    return tiles;
}

// A tile's colour is the rounded average of its pixels, as opaque 0xAARRGGBB, and a minimap
// pixel the rounded average of its four cells' tile colours, a tile no map can store
// counting as black. (That an edit's rows are drawn again, the editor's minimap test shows.)
TEST(Minimap, TileColoursAndPixelsAreRoundedAverages) {
    const TileColours colours = gfx::AverageTileColours(*Tiles());
    EXPECT_EQ(colours[0], 0xFF000000u);
    EXPECT_EQ(colours[1], 0xFFFF0000u);
    EXPECT_EQ(colours[2], 0xFF0000FFu);
    EXPECT_EQ(colours[3], 0xFF020101u);
    auto grid = std::make_unique<testsupport::Grid>(testsupport::Filled(0));
    (*grid)[0] = (*grid)[1] = 1;
    (*grid)[256] = 2;
    (*grid)[257] = 200;
    for (int cell : {4, 5, 260, 261}) {
        (*grid)[cell] = 3;
    }
    (*grid)[255 * 256 + 255] = 1;
    auto map = std::make_unique<MinimapBuffer>();
    gfx::RenderMinimap(*grid, colours, *map);
    EXPECT_EQ((*map)[0], 0xFF800040u); // red 510 / 4, blue 255 / 4
    EXPECT_EQ((*map)[2], 0xFF020101u);
    EXPECT_EQ((*map)[128 * 128 - 1], 0xFF400000u);
    EXPECT_EQ(std::count(map->begin(), map->end(), 0xFF000000u), 128 * 128 - 3);
}

// New colours for tile 1, told, and tile 2, not told: only the pixels showing tile 1 change.
TEST(Minimap, NewTileColoursRecolourOnlyThePixelsOfTheToldTiles) {
    const TileColours before = gfx::AverageTileColours(*Tiles());
    TileColours after = before;
    after[1] = 0xFF123456u;
    auto grid = std::make_unique<testsupport::Grid>(testsupport::StripedGrid(0));
    auto map = std::make_unique<MinimapBuffer>();
    auto want = std::make_unique<MinimapBuffer>();
    gfx::RenderMinimap(*grid, after, *want);
    after[2] = 0xFF654321u;
    gfx::RenderMinimap(*grid, before, *map);
    gfx::UpdateMinimapTiles(*grid, after, gfx::TileMask().set(1), *map);
    EXPECT_EQ(*map, *want);
}

} // namespace
