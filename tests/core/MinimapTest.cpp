#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <random>

#include "gfx/Minimap.h"
#include "tests/support/RomBuilder.h"

namespace {

using gfx::MinimapBuffer;
using gfx::TileColours;

// Tiles of random colours, and a few made to round at exactly one half.
std::unique_ptr<gfx::MetatilePixels> RandomTiles() {
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    std::minstd_rand engine(99);
    for (auto& tile : *tiles) {
        for (uint32_t& pixel : tile) {
            pixel = static_cast<uint32_t>(engine()) & 0xFFFFFFu;
        }
    }
    // Half the pixels 0x000000, half 0x010101: every channel averages exactly 0.5.
    for (std::size_t i = 0; i < 256; ++i) {
        (*tiles)[5][i] = i % 2 == 0 ? 0 : 0x010101u;
    }
    (*tiles)[6].fill(0xFF00FFu);
    return tiles;
}

// A channel (0 = red) of a 0x00BBGGRR or 0xAARRGGBB colour.
int Bgr(uint32_t c, int channel) {
    return static_cast<int>(c >> (8 * channel) & 0xFF);
}
int Argb(uint32_t c, int channel) {
    return static_cast<int>(c >> (16 - 8 * channel) & 0xFF);
}

TEST(Minimap, TileColoursAreTheRoundedAverageOfTheirPixels) {
    const auto tiles = RandomTiles();
    const TileColours colours = gfx::AverageTileColours(*tiles);
    for (int t = 0; t < gfx::TileCount; ++t) {
        EXPECT_EQ(colours[t] >> 24, 0xFFu) << t;
        for (int channel = 0; channel < 3; ++channel) {
            double sum = 0;
            for (uint32_t pixel : (*tiles)[t]) {
                sum += Bgr(pixel, channel);
            }
            EXPECT_EQ(Argb(colours[t], channel), std::lround(sum / 256)) << t << "/" << channel;
        }
    }
    EXPECT_EQ(colours[5], 0xFF010101u);
    EXPECT_EQ(colours[6], 0xFFFF00FFu);
}

TEST(Minimap, EachPixelAveragesTheColoursOfItsFourCells) {
    const TileColours colours = gfx::AverageTileColours(*RandomTiles());
    auto grid = std::make_unique<testsupport::Grid>(testsupport::RandomGrid(3, 3, 20, 128));
    (*grid)[0] = 200; // no map can store it; shown as black
    auto map = std::make_unique<MinimapBuffer>();
    gfx::RenderMinimap(*grid, colours, *map);
    for (int my = 0; my < gfx::MinimapSize; ++my) {
        for (int mx = 0; mx < gfx::MinimapSize; ++mx) {
            const uint32_t pixel = (*map)[my * 128 + mx];
            ASSERT_EQ(pixel >> 24, 0xFFu);
            for (int channel = 0; channel < 3; ++channel) {
                double sum = 0;
                for (int cell : {0, 1, 256, 257}) {
                    const int tile = (*grid)[(2 * my) * 256 + 2 * mx + cell];
                    sum += tile < 128 ? Argb(colours[tile], channel) : 0;
                }
                ASSERT_EQ(Argb(pixel, channel), std::lround(sum / 4))
                    << mx << "," << my << " channel " << channel;
            }
        }
    }
}

// Only the pixel rows covering the given grid rows are written: the rest keep whatever
// they held, however stale.
TEST(Minimap, UpdatesOnlyTheRowsCoveringTheChangedGridRows) {
    const TileColours colours = gfx::AverageTileColours(*RandomTiles());
    auto grid = std::make_unique<testsupport::Grid>(testsupport::StripedGrid(0));
    auto fresh = std::make_unique<MinimapBuffer>();
    gfx::RenderMinimap(*grid, colours, *fresh);
    constexpr uint32_t Stale = 0x12345678;
    auto rowsWritten = [&](auto&& update) {
        auto map = std::make_unique<MinimapBuffer>();
        map->fill(Stale);
        update(*map);
        std::vector<int> rows;
        for (int my = 0; my < 128; ++my) {
            const bool stale = (*map)[my * 128] == Stale;
            for (int mx = 0; mx < 128; ++mx) {
                EXPECT_EQ((*map)[my * 128 + mx], stale ? Stale : (*fresh)[my * 128 + mx]);
            }
            if (!stale) {
                rows.push_back(my);
            }
        }
        return rows;
    };
    gfx::GridRows set;
    set.set(5).set(6).set(255);
    EXPECT_EQ(
        rowsWritten([&](MinimapBuffer& m) { gfx::UpdateMinimapRows(*grid, colours, set, m); }),
        (std::vector<int>{2, 3, 127}));
    EXPECT_EQ(
        rowsWritten([&](MinimapBuffer& m) { gfx::UpdateMinimapRows(*grid, colours, 7, 10, m); }),
        (std::vector<int>{3, 4}));
    EXPECT_EQ(rowsWritten([&](MinimapBuffer& m) {
                  gfx::UpdateMinimapRows(*grid, colours, -4, 1, m);
                  gfx::UpdateMinimapRows(*grid, colours, 255, 300, m);
                  gfx::UpdateMinimapRows(*grid, colours, 40, 40, m);
              }),
              (std::vector<int>{0, 127}));

    // After an edit, updating the rows it changed gives the whole picture again.
    (*grid)[101 * 256 + 17] = 99;
    auto map = std::make_unique<MinimapBuffer>(*fresh);
    gfx::UpdateMinimapRows(*grid, colours, gfx::GridRows().set(101), *map);
    gfx::RenderMinimap(*grid, colours, *fresh);
    EXPECT_EQ(*map, *fresh);
}

} // namespace
