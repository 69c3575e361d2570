#include <gtest/gtest.h>

#include <memory>

#include "tests/support/RomBuilder.h"
#include "tiles/TileModel.h"

namespace {

using tiles::AnySet;
using tiles::QuarterUse;
using tiles::TileModel;

// Pattern bytes: the first plane gives the low bit of a pixel, bit 7 is the leftmost. A
// shared tile reads a pattern of 128 or more from each set's own block, one below 128 from
// the one shared block; its quarters and attribute are one for all sets, and setting a
// sub-palette keeps the attribute's other six bits.
TEST(TileModel, PlanesSharingAndAttributeBits) {
    auto rom = std::make_unique<CRomImage>();
    TileModel model(*rom);
    rom->WriteByte(tiles::PatternOffset(0, 5) + 2, 0x80);     // first plane, row 2
    rom->WriteByte(tiles::PatternOffset(0, 5) + 8 + 2, 0x81); // second plane, row 2
    EXPECT_EQ(model.PatternPixel(1, 5, 0, 2), 3);
    EXPECT_EQ(model.PatternPixel(2, 5, 7, 2), 2);
    EXPECT_EQ(model.PatternPixel(0, 5, 1, 2), 0);
    model.SetPatternPixel(2, 5, 6, 2, 1);
    EXPECT_EQ(rom->ReadByte(tiles::PatternOffset(0, 5) + 2), 0x82);
    EXPECT_EQ(rom->ReadByte(tiles::PatternOffset(0, 5) + 10), 0x81);

    for (int s = 0; s < tiles::SetCount; ++s) {
        tiles::PatternPixels solid{};
        solid.fill(static_cast<uint8_t>(s + 1));
        model.SetPattern(s, 200, solid);
        model.SetPaletteEntry(s, 4 + s + 1, 0x40 | (10 * s + 1)); // only six bits are kept
    }
    model.SetQuarter(2, 3, 1, 200); // a shared tile: the same entry in every set
    model.SetSubPalette(1, 3, 1);
    for (int s = 0; s < tiles::SetCount; ++s) {
        EXPECT_EQ(model.Quarter(s, 3, 1), 200);
        EXPECT_EQ(model.TilePixel(s, 3, 12, 4), s + 1) << s;
        EXPECT_EQ(model.Look(s, 3)[4 * 16 + 12], 10 * s + 1) << s;
        EXPECT_EQ(model.TilePixel(s, 3, 3, 4), 0) << s;
    }
    // Tile 70 is each set's own.
    rom->WriteByte(tiles::AttributeOffset(1, 70), 0xFC);
    model.SetSubPalette(1, 70, 2);
    model.SetQuarter(1, 70, 0, 9);
    EXPECT_EQ(rom->ReadByte(tiles::AttributeOffset(1, 70)), 0xFE);
    EXPECT_EQ(model.SubPalette(1, 70), 2);
    EXPECT_EQ(model.SubPalette(0, 70), 0);
    EXPECT_EQ(model.Quarter(0, 70, 0), 0);
    EXPECT_EQ(model.Quarter(2, 70, 0), 0);
    EXPECT_EQ(tiles::QuarterOffset(2, 70, 3), 0x1D0u + 0x200 + 6);
    EXPECT_EQ(tiles::AttributeOffset(2, 70), 0x450u + 0x80 + 6);
}

// Every quarter shows pattern 10, except: shared tile 5 quarter 1 shows 200, set 1's tile
// 80 quarter 3 shows 200 too, set 1's tile 81 quarter 0 shows 150, and set 0's tile 64
// quarter 2 and set 2's tile 90 quarter 0 show 20.
TEST(TileModel, WhoUsesAPatternWhatAByteAffectsAndFreePatterns) {
    auto rom = std::make_unique<CRomImage>();
    std::fill(rom->RomBytes + tiles::QuarterTableBytes.begin,
              rom->RomBytes + tiles::QuarterTableBytes.end, 10);
    TileModel model(*rom);
    model.SetQuarter(0, 5, 1, 200);
    model.SetQuarter(1, 80, 3, 200);
    model.SetQuarter(1, 81, 0, 150);
    model.SetQuarter(0, 64, 2, 20);
    model.SetQuarter(2, 90, 0, 20);
    model.SetSubPalette(2, 5, 1);
    model.SetSubPalette(1, 80, 1);

    EXPECT_EQ(model.UsersOf(1, 200), (std::vector<QuarterUse>{{1, 5, 1}, {1, 80, 3}}));
    EXPECT_EQ(model.UsersOf(0, 200), (std::vector<QuarterUse>{{0, 5, 1}}));
    EXPECT_EQ(model.UsersOf(1, 20), (std::vector<QuarterUse>{{0, 64, 2}, {2, 90, 0}}));
    EXPECT_EQ(model.UserTileCount(0, 10), 64 + 3 * 64);
    EXPECT_EQ(model.UserTileCount(2, 200), 1);

    const auto tilesOf = [&](uint32_t offset) {
        std::array<std::vector<int>, tiles::SetCount> out;
        const tiles::SetTiles affected = model.AffectedBy(offset);
        for (int s = 0; s < tiles::SetCount; ++s) {
            for (int t = 0; t < tiles::TileCount; ++t) {
                if (affected[static_cast<std::size_t>(s)].test(static_cast<std::size_t>(t))) {
                    out[static_cast<std::size_t>(s)].push_back(t);
                }
            }
        }
        return out;
    };
    using Sets = std::array<std::vector<int>, tiles::SetCount>;
    EXPECT_EQ(tilesOf(tiles::QuarterOffset(1, 5, 3)), (Sets{{{5}, {5}, {5}}}));
    EXPECT_EQ(tilesOf(tiles::QuarterOffset(1, 80, 2)), (Sets{{{}, {80}, {}}}));
    EXPECT_EQ(tilesOf(tiles::AttributeOffset(0, 63)), (Sets{{{63}, {63}, {63}}}));
    EXPECT_EQ(tilesOf(tiles::AttributeOffset(2, 127)), (Sets{{{}, {}, {127}}}));
    EXPECT_EQ(tilesOf(tiles::PaletteOffset(1, 6)), (Sets{{{}, {5, 80}, {}}}));
    EXPECT_EQ(tilesOf(tiles::PatternOffset(1, 200) + 15), (Sets{{{}, {5, 80}, {}}}));
    EXPECT_EQ(tilesOf(tiles::PatternOffset(2, 200)), (Sets{{{}, {}, {5}}}));
    EXPECT_EQ(tilesOf(tiles::PatternOffset(0, 20) + 7), (Sets{{{64}, {}, {90}}}));
    EXPECT_EQ(tilesOf(tiles::PatternOffset(0, 10)).at(1).size(), 64u + 64u);
    EXPECT_EQ(tilesOf(tiles::PaletteBytes.end), Sets{});
    EXPECT_EQ(tilesOf(0x0F), Sets{});

    for (int s = 0; s < tiles::SetCount; ++s) {
        std::vector<int> want;
        for (int g = 0; g < tiles::PatternCount; ++g) {
            if (g != 10 && g != 20 && g != 200 && !(g == 150 && s == 1)) {
                want.push_back(g);
            }
        }
        EXPECT_EQ(model.FreePatterns(s), want) << s;
        for (int g : {10, 20, 150, 200, 0, 255}) {
            EXPECT_EQ(model.IsFree(s, g), std::count(want.begin(), want.end(), g) == 1) << s << g;
        }
    }
}

// Looks are compared as NES colours: attribute bits above the low two and palette bits
// above the low six change nothing; a pattern byte changes exactly the tiles it reaches.
TEST(TileModel, ChangedTilesComparesLooks) {
    auto a = testsupport::RomBuilder().NoiseGraphics(3).Build();
    auto b = std::make_unique<CRomImage>(*a);
    TileModel edit(*b);
    b->WriteByte(tiles::AttributeOffset(1, 100),
                 b->ReadByte(tiles::AttributeOffset(1, 100)) ^ 0x40);
    b->WriteByte(tiles::PaletteOffset(2, 7), b->ReadByte(tiles::PaletteOffset(2, 7)) ^ 0x80);
    EXPECT_TRUE(tiles::TileDataDiffers(*a, *b));
    EXPECT_EQ(tiles::ChangedTiles(*a, *b), tiles::SetTiles{});

    const int g = edit.Quarter(1, 100, 2);
    const uint32_t at = tiles::PatternOffset(1, g);
    b->WriteByte(at, static_cast<uint8_t>(~b->ReadByte(at)));
    const tiles::SetTiles changed = tiles::ChangedTiles(*a, *b);
    EXPECT_TRUE(changed[1].test(100));
    for (int s = 0; s < tiles::SetCount; ++s) {
        EXPECT_EQ(changed[static_cast<std::size_t>(s)] &
                      ~edit.AffectedBy(at)[static_cast<std::size_t>(s)],
                  tiles::TileMask{});
    }
    tiles::SetTiles shown{};
    shown[1].set(127);
    EXPECT_EQ(tiles::MapsShowing(shown), (std::vector<int>{1, 2}));
    shown[2].set(0);
    EXPECT_EQ(tiles::MapsShowing(shown), (std::vector<int>{1, 2, 3}));
    tiles::CopyTileData(*a, *b);
    EXPECT_FALSE(tiles::TileDataDiffers(*a, *b));
}

} // namespace
