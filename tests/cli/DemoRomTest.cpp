#include <gtest/gtest.h>

#include <set>

#include "CliTestSupport.h"
#include "gfx/StandardPalette.h"
#include "gfx/TileRenderer.h"

namespace {

using namespace clitest;

TEST(DemoRom, IsTheSameEveryTimeAndItsMapsSurviveAnUnchangedStore) {
    auto rom = std::make_unique<CRomImage>();
    demo::BuildDemoRom(*rom);
    EXPECT_EQ(BytesOf(*rom), BytesOf(DemoRom()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rom->RomBytes), 4), "NES\x1A");
    EXPECT_GT(worldmap::CountFreeBytes(*rom), 1000);
    std::set<Grid> seen;
    for (int m = 0; m < worldmap::MapCount; ++m) {
        const Grid grid = Decode(*rom, m);
        seen.insert(grid);
        const std::set<uint8_t> tiles(grid.begin(), grid.end());
        EXPECT_GE(tiles.size(), 8u) << "map " << m << " should hold several kinds of terrain";
        EXPECT_TRUE(tiles.count(0) && tiles.count(2)) << "sea and land on map " << m;
        ASSERT_TRUE(worldmap::StoreWorldMap(*rom, m, grid.data(), worldmap::CountFreeBytes(*rom)));
    }
    EXPECT_EQ(seen.size(), 4u);
    // Stored in the store's own coding, so storing the maps unchanged moves nothing.
    EXPECT_EQ(BytesOf(*rom), BytesOf(DemoRom()));
}

TEST(DemoRom, EachGraphicsSetLooksItsOwnAndNoTileIsFlat) {
    auto rom = std::make_unique<CRomImage>(DemoRom());
    gfx::SetColourTable(*rom, gfx::StandardPalette().data(), gfx::StandardPalette().size());
    std::vector<std::unique_ptr<gfx::MetatilePixels>> sets;
    for (int m = 0; m < worldmap::MapCount; ++m) {
        sets.push_back(std::make_unique<gfx::MetatilePixels>());
        gfx::RenderMetatileSet(*rom, m, *sets.back());
        for (const auto& tile : *sets.back()) {
            EXPECT_GT(std::set<uint32_t>(tile.begin(), tile.end()).size(), 1u) << "map " << m;
        }
    }
    EXPECT_EQ(*sets[1], *sets[2]); // maps 1 and 2 share a set
    EXPECT_NE((*sets[0])[0], (*sets[1])[0]);
    EXPECT_NE((*sets[1])[0], (*sets[3])[0]);
    EXPECT_NE((*sets[0])[64], (*sets[3])[64]);
}

TEST(StandardPalette, IsTheFileInTheTreeAndLooksLikeTheConsole) {
    const auto& p = gfx::StandardPalette();
    EXPECT_EQ(ReadBytes(ATLASFORGE_SOURCE_DIR "/palette.pal"), Bytes(p.begin(), p.end()));
    const auto rgb = [&](int n) {
        return std::array<int, 3>{p[3 * n], p[3 * n + 1], p[3 * n + 2]};
    };
    EXPECT_EQ(rgb(0x0F), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(rgb(0x30), (std::array<int, 3>{255, 255, 255}));
    EXPECT_GT(rgb(0x11)[2], rgb(0x11)[0]); // blue
    EXPECT_GT(rgb(0x16)[0], rgb(0x16)[2]); // red
    EXPECT_GT(rgb(0x1A)[1], rgb(0x1A)[0]); // green
}

} // namespace
