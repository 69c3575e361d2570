#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "gfx/MapCanvas.h"
#include "gfx/Minimap.h"
#include "tests/support/RomBuilder.h"

namespace {

using gfx::MetatilePixels;

std::vector<uint32_t> Pixels(const gfx::ScaledTiles& s) {
    const std::size_t area = static_cast<std::size_t>(s.CellPixels() * s.CellPixels());
    std::vector<uint32_t> all(s.Tile(0), s.Tile(0) + area * 128);
    all.insert(all.end(), s.Tinted(0), s.Tinted(0) + area * 128);
    return all;
}

// After tiles 3 and 9 are told to have changed, every partial redraw equals a full one from
// tiles where just those two are new: tile 4, changed but not told, keeps its old look, and
// the cells, minimap pixels and cached scalings of other tiles are not touched.
TEST(PartialRedraw, RedrawsTheToldTilesAndTheirCellsOnly) {
    const auto before = testsupport::RomBuilder().NoiseGraphics(1).Build();
    const auto after = testsupport::RomBuilder().NoiseGraphics(2).Build();
    auto old = std::make_unique<MetatilePixels>();
    auto fresh = std::make_unique<MetatilePixels>();
    gfx::RenderMetatileSet(*before, 3, *old);
    gfx::RenderMetatileSet(*after, 3, *fresh);
    ASSERT_NE((*old)[4], (*fresh)[4]);
    gfx::TileMask told;
    told.set(3).set(9);
    auto want = std::make_unique<MetatilePixels>(*old);
    (*want)[3] = (*fresh)[3];
    (*want)[9] = (*fresh)[9];
    auto tiles = std::make_unique<MetatilePixels>(*old);
    gfx::RenderMetatiles(*after, 3, told, *tiles);
    EXPECT_EQ(*tiles, *want);

    auto grid = std::make_unique<testsupport::Grid>(testsupport::RandomGrid(5, 6, 0, 128));
    (*grid)[300] = 200; // no tile: skipped, not looked up
    gfx::ScaledTiles scaled;
    gfx::ScaledTiles full;
    // The whole map is kept drawn at 8 pixels a cell, the last size built.
    constexpr int Side = 256 * 8;
    std::vector<uint32_t> map(Side * Side);
    gfx::ComposeOptions options;
    options.highlightTile = 9;
    for (const int cp : {32, 8}) {
        scaled.Build(*old, cp, true);
        gfx::ComposeMap(*grid, scaled, 0, 0, Side, Side, map.data(), Side, options);
        scaled.Update(*fresh, told);
        full.Build(*want, cp, true);
        EXPECT_EQ(Pixels(scaled), Pixels(full)) << cp;
    }
    gfx::ComposeTileCells(*grid, scaled, told, map.data(), Side, 9);
    std::vector<uint32_t> whole(map.size());
    gfx::ComposeMap(*grid, full, 0, 0, Side, Side, whole.data(), Side, options);
    EXPECT_TRUE(map == whole);

    // Striped, so no minimap pixel shows tile 4 beside a told tile.
    *grid = testsupport::StripedGrid(0);
    auto minimap = std::make_unique<gfx::MinimapBuffer>();
    auto wantMap = std::make_unique<gfx::MinimapBuffer>();
    gfx::TileColours colours = gfx::AverageTileColours(*want);
    colours[4] = gfx::AverageTileColours(*fresh)[4];
    gfx::RenderMinimap(*grid, gfx::AverageTileColours(*old), *minimap);
    gfx::UpdateMinimapTiles(*grid, colours, told, *minimap);
    gfx::RenderMinimap(*grid, gfx::AverageTileColours(*want), *wantMap);
    EXPECT_EQ(*minimap, *wantMap);
}

} // namespace
