#include <gtest/gtest.h>

#include <cstdio>
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
    for (uint32_t c : rom->ColourTable) {
        EXPECT_EQ(c, 0u);
    }
}

// 8 x 8 pixels of one value.
std::array<uint8_t, 64> Solid(uint8_t v) {
    std::array<uint8_t, 64> p;
    p.fill(v);
    return p;
}

// Colour number n shows as 0x00n0n0n, so a pixel tells which number it came from.
RomBuilder WithColours() {
    RomBuilder b;
    for (int i = 0; i < 64; ++i) {
        b.Colour(i, static_cast<uint32_t>(i) * 0x010101u);
    }
    return b;
}

uint32_t Shown(int colourNumber) {
    return static_cast<uint32_t>(colourNumber) * 0x010101u;
}

TEST(Tiles, PlaneOrderSubPaletteAndQuarterPlacement) {
    std::array<uint8_t, 64> gradient{};
    for (int i = 0; i < 64; ++i) {
        gradient[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i % 4); // columns 0,1,2,3,...
    }
    RomBuilder b = WithColours();
    b.Palette(0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    b.PatternPixels(1, 0, gradient).PatternPixels(2, 0, Solid(1));
    b.PatternPixels(3, 0, Solid(2)).PatternPixels(4, 0, Solid(3));
    for (int k = 0; k < 4; ++k) {
        b.Quarter(10, 0, k, static_cast<uint8_t>(k + 1));
    }
    b.Attribute(10, 0, 0x07); // only the low two bits: sub-palette 3
    auto rom = b.Build();
    gfx::TilePixels px{};
    gfx::RenderMetatile(*rom, 0, 10, px);
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(px[static_cast<std::size_t>(3 * 16 + x)], Shown(12 + x % 4)) << x;
    }
    EXPECT_EQ(px[8], Shown(13));            // top-right: first plane only
    EXPECT_EQ(px[9 * 16 + 3], Shown(14));   // bottom-left: second plane only
    EXPECT_EQ(px[15 * 16 + 15], Shown(15)); // bottom-right: both planes
    // The pattern bytes themselves: bit 7 is the leftmost pixel, plane 0 the low bit.
    EXPECT_EQ(rom->RomBytes[0x14C10 + 16], 0x55);
    EXPECT_EQ(rom->RomBytes[0x14C10 + 24], 0x33);
}

TEST(Tiles, UpperTilesAndHighPatternsFollowTheGraphicsSet) {
    RomBuilder b = WithColours();
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
    auto tiles = std::make_unique<std::array<gfx::MetatilePixels, 4>>();
    for (int m = 0; m < 4; ++m) {
        gfx::RenderMetatileSet(*rom, m, (*tiles)[static_cast<std::size_t>(m)]);
    }
    EXPECT_EQ((*tiles)[1], (*tiles)[2]);
    EXPECT_EQ((*tiles)[0][70][0], Shown(1));  // set 0: pattern 5, value 1, sub-palette 0
    EXPECT_EQ((*tiles)[1][70][0], Shown(11)); // set 1: the same shape, its own colours
    EXPECT_EQ((*tiles)[3][70][0],
              Shown(22));                   // set 2: pattern 200 of set 2 (value 2), sub-palette 1
    EXPECT_EQ((*tiles)[0][3][0], Shown(0)); // pattern 200 of set 0 is value 0
    EXPECT_EQ((*tiles)[1][3][0], Shown(0 + 11)); // of set 1, value 1
}

TEST(Tiles, ColourNumbersAbove63UseTheirLowSixBits) {
    RomBuilder b = WithColours();
    b.Palette(0, {0xFF, 0x41, 0x80, 0xC5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    b.PatternPixels(0, 0, Solid(1)).PatternPixels(1, 0, Solid(2)).PatternPixels(2, 0, Solid(3));
    b.Quarter(0, 0, 1, 1).Quarter(0, 0, 2, 2).Quarter(0, 0, 3, 0).Quarter(0, 0, 0, 9);
    auto rom = b.Build();
    gfx::TilePixels px{};
    gfx::RenderMetatile(*rom, 0, 0, px);
    EXPECT_EQ(px[0], Shown(0x3F));       // pattern 9 is all zero: 0xFF
    EXPECT_EQ(px[8 * 16 + 8], Shown(1)); // 0x41
    EXPECT_EQ(px[8], Shown(0));          // 0x80
    EXPECT_EQ(px[8 * 16], Shown(5));     // 0xC5
}

} // namespace
