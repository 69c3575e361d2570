#include <gtest/gtest.h>

#include <memory>

#include "tests/support/RomBuilder.h"
#include "tiles/TileModel.h"

namespace {

using tiles::QuarterUse;
using tiles::TileModel;

// Pattern bytes: the first plane gives the low bit of a pixel, bit 7 is the leftmost. A
// shared tile reads a pattern of 128 or more from each set's own block; its quarters and
// attribute are one for all sets, and setting a sub-palette keeps the other six bits. Looks
// are NES colours: bits above those change no look.
TEST(TileModel, PlanesSharingAndAttributeBits) {
    auto rom = std::make_unique<CRomImage>();
    TileModel model(*rom);
    rom->WriteByte(tiles::PatternOffset(0, 5) + 2, 0x80);  // first plane, row 2
    rom->WriteByte(tiles::PatternOffset(0, 5) + 10, 0x81); // second plane, row 2
    EXPECT_EQ(model.PatternPixel(1, 5, 0, 2), 3);
    EXPECT_EQ(model.PatternPixel(2, 5, 7, 2), 2);
    model.SetPatternPixel(2, 5, 6, 2, 1);
    EXPECT_EQ(rom->ReadByte(tiles::PatternOffset(0, 5) + 2), 0x82);
    for (int s = 0; s < tiles::SetCount; ++s) {
        tiles::PatternPixels solid{};
        solid.fill(static_cast<uint8_t>(s + 1));
        model.SetPattern(s, 200, solid);
        model.SetPaletteEntry(s, 5 + s, 0x40 | (10 * s + 1));
    }
    model.SetQuarter(2, 3, 1, 200);
    rom->WriteByte(tiles::AttributeOffset(0, 3), 0xFC);
    model.SetSubPalette(1, 3, 1);
    model.SetQuarter(1, 70, 0, 9);
    EXPECT_EQ(rom->ReadByte(tiles::AttributeOffset(2, 3)), 0xFD);
    for (int s = 0; s < tiles::SetCount; ++s) {
        EXPECT_EQ(model.Quarter(s, 3, 1), 200);
        EXPECT_EQ(model.Look(s, 3)[4 * 16 + 12], 10 * s + 1) << s;
        EXPECT_EQ(model.Quarter(s, 70, 0), s == 1 ? 9 : 0);
    }
    const auto before = std::make_unique<CRomImage>(*rom);
    rom->WriteByte(tiles::AttributeOffset(0, 3), 0xBD);
    rom->WriteByte(tiles::PaletteOffset(2, 7), 0x80 | model.PaletteEntry(2, 7));
    EXPECT_TRUE(tiles::TileDataDiffers(*before, *rom));
    EXPECT_EQ(tiles::ChangedTiles(*before, *rom), tiles::SetTiles{});
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
    EXPECT_EQ(model.UsersOf(1, 20), (std::vector<QuarterUse>{{0, 64, 2}, {2, 90, 0}}));
    EXPECT_EQ(model.UserTileCount(0, 10), 64 + 3 * 64);

    using Sets = std::array<std::vector<int>, tiles::SetCount>;
    const auto tilesOf = [&](uint32_t offset) {
        Sets out;
        const tiles::SetTiles affected = model.AffectedBy(offset);
        for (std::size_t s = 0; s < out.size(); ++s) {
            for (int t = 0; t < tiles::TileCount; ++t) {
                if (affected[s].test(static_cast<std::size_t>(t))) {
                    out[s].push_back(t);
                }
            }
        }
        return out;
    };
    EXPECT_EQ(tilesOf(tiles::QuarterOffset(1, 5, 3)), (Sets{{{5}, {5}, {5}}}));
    EXPECT_EQ(tilesOf(tiles::QuarterOffset(1, 80, 2)), (Sets{{{}, {80}, {}}}));
    EXPECT_EQ(tilesOf(tiles::AttributeOffset(0, 63)), (Sets{{{63}, {63}, {63}}}));
    EXPECT_EQ(tilesOf(tiles::AttributeOffset(2, 127)), (Sets{{{}, {}, {127}}}));
    EXPECT_EQ(tilesOf(tiles::PaletteOffset(1, 6)), (Sets{{{}, {5, 80}, {}}}));
    EXPECT_EQ(tilesOf(tiles::PatternOffset(1, 200) + 15), (Sets{{{}, {5, 80}, {}}}));
    EXPECT_EQ(tilesOf(tiles::PatternOffset(2, 200)), (Sets{{{}, {}, {5}}}));
    EXPECT_EQ(tilesOf(tiles::PatternOffset(0, 20) + 7), (Sets{{{64}, {}, {90}}}));
    EXPECT_EQ(tilesOf(tiles::PaletteBytes.end), Sets{});
    for (int s = 0; s < tiles::SetCount; ++s) {
        std::vector<int> want;
        for (int g = 0; g < tiles::PatternCount; ++g) {
            if (g != 10 && g != 20 && g != 200 && !(g == 150 && s == 1)) {
                want.push_back(g);
            }
        }
        EXPECT_EQ(model.FreePatterns(s), want) << s;
        EXPECT_EQ(model.IsFree(s, 150), s != 1);
    }
}

} // namespace
