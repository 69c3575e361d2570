#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <unistd.h>
#include <vector>

#include "gfx/ColourTable.h"
#include "gfx/TileRenderer.h"
#include "tests/support/RomBuilder.h"

using testsupport::RomBuilder;

namespace {

TEST(ColourTable, RecordsAreRedGreenBlueAndMissingBytesAreZero) {
    char path[] = "/tmp/atlasforge-pal-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    auto rom = std::make_unique<CRomImage>();
    std::vector<uint8_t> bytes(200);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i + 1);
    }
    ASSERT_TRUE(testsupport::WriteFile(path, bytes.data(), bytes.size()));
    EXPECT_TRUE(gfx::LoadColourTable(*rom, path));
    EXPECT_EQ(rom->ColourTable[0], 0x030201u);
    EXPECT_EQ(rom->ColourTable[63], 0xC0BFBEu); // bytes past the 192nd are not used

    ASSERT_TRUE(testsupport::WriteFile(path, bytes.data(), 10));
    EXPECT_TRUE(gfx::LoadColourTable(*rom, path));
    EXPECT_EQ(rom->ColourTable[2], 0x090807u);
    EXPECT_EQ(rom->ColourTable[3], 0x00000Au);
    EXPECT_EQ(rom->ColourTable[4], 0u);

    ::unlink(path);
    EXPECT_FALSE(gfx::LoadColourTable(*rom, path));
    EXPECT_FALSE(gfx::LoadColourTable(*rom, "/tmp")); // a folder is no palette
    EXPECT_EQ(std::count(rom->ColourTable, rom->ColourTable + ColourCount, 0u), 64);
}

std::array<uint8_t, 64> Solid(uint8_t v) {
    std::array<uint8_t, 64> p;
    p.fill(v);
    return p;
}

// Colour number n shows as 0x0n0n0n, so a pixel tells which number it came from.
uint32_t Shown(uint32_t n) {
    return n * 0x010101u;
}

// Tile 10 takes its four quarters from patterns 1 to 4 and sub-palette 3. Set 1 has the
// same shapes (tiles below 64 and patterns below 128 are shared) but colour numbers of 64
// and more, which show by their low six bits.
TEST(Tiles, PlaneOrderSubPaletteQuartersAndHighColourNumbers) {
    std::array<uint8_t, 64> gradient{};
    for (std::size_t i = 0; i < 64; ++i) {
        gradient[i] = static_cast<uint8_t>(i % 4);
    }
    RomBuilder b;
    b.Palette(0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    b.Palette(1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0x41, 0x80, 0xC5});
    b.PatternPixels(1, 0, gradient).PatternPixels(2, 0, Solid(1));
    b.PatternPixels(3, 0, Solid(2)).PatternPixels(4, 0, Solid(3));
    for (int k = 0; k < 4; ++k) {
        b.Quarter(10, 0, k, static_cast<uint8_t>(k + 1));
    }
    b.Attribute(10, 0, 0x07); // only the low two bits count
    auto rom = b.Build();
    for (uint32_t n = 0; n < ColourCount; ++n) {
        rom->ColourTable[n] = Shown(n);
    }
    gfx::TilePixels px{};
    gfx::RenderMetatile(*rom, 0, 10, px);
    for (std::size_t x = 0; x < 8; ++x) {
        EXPECT_EQ(px[3 * 16 + x], Shown(12 + x % 4)) << x;
    }
    EXPECT_EQ(px[8], Shown(13));            // top-right: first plane only
    EXPECT_EQ(px[9 * 16 + 3], Shown(14));   // bottom-left: second plane only
    EXPECT_EQ(px[15 * 16 + 15], Shown(15)); // bottom-right: both planes
    // The pattern bytes themselves: bit 7 is the leftmost pixel, plane 0 the low bit.
    EXPECT_EQ(rom->RomBytes[0x14C10 + 16], 0x55);
    EXPECT_EQ(rom->RomBytes[0x14C10 + 24], 0x33);

    gfx::RenderMetatile(*rom, 1, 10, px);
    const uint32_t high[] = {0x3F, 0x01, 0x00, 0x05};
    for (std::size_t x = 0; x < 4; ++x) {
        EXPECT_EQ(px[x], Shown(high[x])) << x;
    }
}

TEST(Tiles, UpperTilesAndHighPatternsFollowTheGraphicsSet) {
    RomBuilder b;
    for (int set = 0; set < 3; ++set) {
        const uint8_t c = static_cast<uint8_t>(10 * set + 1);
        b.Palette(set, {0, c, 0, 0, 0, 0, static_cast<uint8_t>(c + 1), 0, 0, 0, 0, 0, 0, 0, 0, 0});
        b.Attribute(70, set, static_cast<uint8_t>(set == 2 ? 1 : 0));
        b.Quarter(70, set, 0, static_cast<uint8_t>(set == 2 ? 200 : 5));
        b.PatternPixels(200, set, Solid(static_cast<uint8_t>(set)));
    }
    b.PatternPixels(5, 0, Solid(1));
    b.Quarter(3, 0, 0, 200); // a shared tile using a high pattern
    auto rom = b.Build();
    for (uint32_t n = 0; n < ColourCount; ++n) {
        rom->ColourTable[n] = Shown(n);
    }
    auto tiles = std::make_unique<std::array<gfx::MetatilePixels, 4>>();
    for (int m = 0; m < 4; ++m) {
        gfx::RenderMetatileSet(*rom, m, (*tiles)[static_cast<std::size_t>(m)]);
    }
    EXPECT_EQ((*tiles)[1], (*tiles)[2]);      // maps 1 and 2 share graphics set 1
    EXPECT_EQ((*tiles)[0][70][0], Shown(1));  // set 0: pattern 5, value 1, sub-palette 0
    EXPECT_EQ((*tiles)[1][70][0], Shown(11)); // set 1: the same shape, its own colours
    EXPECT_EQ((*tiles)[3][70][0], Shown(22)); // set 2: pattern 200 of set 2, sub-palette 1
    EXPECT_EQ((*tiles)[0][3][0], Shown(0));   // pattern 200 of set 0 is value 0
    EXPECT_EQ((*tiles)[1][3][0], Shown(11));  // of set 1, value 1
}

} // namespace
