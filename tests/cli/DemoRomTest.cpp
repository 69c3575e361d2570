#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "CliTestSupport.h"
#include "cli/DemoRom.h"
#include "gfx/StandardPalette.h"
#include "gfx/TileRenderer.h"
#include "worldmap/MapLayout.h"
#include "worldmap/WorldMap.h"

namespace {

using namespace clitest;

TEST(DemoRom, IsTheSameOnEveryBuildAndLaidOutWithRoomToSpare) {
    auto again = std::make_unique<CRomImage>();
    demo::BuildDemoRom(*again);
    const CRomImage& rom = DemoRom();
    EXPECT_TRUE(std::equal(rom.RomBytes, rom.RomBytes + RomFileSize, again->RomBytes));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rom.RomBytes), 4), "NES\x1A");
    EXPECT_TRUE(worldmap::CheckLayout(rom).empty());
    const int freeBytes = worldmap::CountFreeBytes(rom);
    EXPECT_GT(freeBytes, 1000);
    // The free bytes are zero, as a store leaves them.
    const uint32_t end = worldmap::RowDataEnd - static_cast<uint32_t>(freeBytes);
    EXPECT_TRUE(std::all_of(rom.RomBytes + end, rom.RomBytes + worldmap::RowDataEnd,
                            [](uint8_t b) { return b == 0; }));
}

TEST(DemoRom, MapsAreDistinctMixedAndSurviveAnUnchangedStore) {
    auto rom = CopyOf(DemoRom());
    std::set<Grid> seen;
    for (int m = 0; m < worldmap::MapCount; ++m) {
        const Grid grid = Decode(*rom, m);
        seen.insert(grid);
        const std::set<uint8_t> tiles(grid.begin(), grid.end());
        EXPECT_GE(tiles.size(), 8u) << "map " << m << " should hold several kinds of terrain";
        EXPECT_TRUE(tiles.count(0) && tiles.count(2)) << "sea and land on map " << m;

        const int before = worldmap::CountFreeBytes(*rom);
        ASSERT_TRUE(worldmap::StoreWorldMap(*rom, m, grid.data(), before)) << "map " << m;
        EXPECT_EQ(Decode(*rom, m), grid);
        // The demo is stored in the store's own coding, so nothing moves.
        EXPECT_EQ(worldmap::CountFreeBytes(*rom), before);
    }
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_TRUE(std::equal(rom->RomBytes, rom->RomBytes + RomFileSize, DemoRom().RomBytes));
}

TEST(DemoRom, EachGraphicsSetLooksItsOwn) {
    auto rom = CopyOf(DemoRom());
    const auto& palette = gfx::StandardPalette();
    gfx::SetColourTable(*rom, palette.data(), palette.size());
    std::vector<std::unique_ptr<gfx::MetatilePixels>> sets;
    for (int m = 0; m < worldmap::MapCount; ++m) {
        sets.push_back(std::make_unique<gfx::MetatilePixels>());
        gfx::RenderMetatileSet(*rom, m, *sets.back());
    }
    EXPECT_EQ(*sets[1], *sets[2]); // maps 1 and 2 share a set
    EXPECT_NE((*sets[0])[0], (*sets[1])[0]);
    EXPECT_NE((*sets[1])[0], (*sets[3])[0]);
    EXPECT_NE((*sets[0])[64], (*sets[3])[64]);
    // Every tile is drawn: no tile is a single flat colour.
    for (const auto& tile : *sets[1]) {
        EXPECT_GT(std::set<uint32_t>(tile.begin(), tile.end()).size(), 1u);
    }
}

TEST(StandardPalette, IsTheFileInTheTreeAndLooksLikeTheConsole) {
    const auto& p = gfx::StandardPalette();
    EXPECT_EQ(ReadBytes(ATLASFORGE_SOURCE_DIR "/palette.pal"), Bytes(p.begin(), p.end()));
    const auto rgb = [&](int n) {
        return std::array<int, 3>{p[3 * n], p[3 * n + 1], p[3 * n + 2]};
    };
    EXPECT_EQ(rgb(0x0F), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(rgb(0x30), (std::array<int, 3>{255, 255, 255}));
    const auto grey = rgb(0x10);
    EXPECT_TRUE(grey[0] == grey[1] && grey[1] == grey[2]);
    EXPECT_GT(rgb(0x11)[2], rgb(0x11)[0]); // blue
    EXPECT_GT(rgb(0x16)[0], rgb(0x16)[2]); // red
    EXPECT_GT(rgb(0x1A)[1], rgb(0x1A)[0]); // green
}

} // namespace
