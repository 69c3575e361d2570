#include <gtest/gtest.h>

#include <memory>

#include "gfx/TileRenderer.h"
#include "tests/support/RomBuilder.h"
#include "tiles/TileModel.h"

namespace {

using tiles::QuarterUse;
using tiles::TileModel;

// On random tables every tile of every set looks as the renderer draws it; flipping any
// byte of the tile data changes the look of exactly the tiles AffectedBy names (each byte
// kind: shared and per-set quarters and attributes, palettes, shared and per-set patterns);
// the free patterns are those no quarter uses.
TEST(TileModel, LooksFollowTheRendererAndAffectedByNamesWhatAByteChanges) {
    const auto rom = testsupport::RomBuilder().NoiseGraphics(5).Build();
    const TileModel model(*rom);
    gfx::TilePixels drawn;
    for (int s = 0; s < tiles::SetCount; ++s) {
        for (int t = 0; t < tiles::TileCount; t += 9) {
            gfx::RenderMetatile(*rom, s, t, drawn);
            const tiles::TileLook look = model.Look(s, t);
            for (std::size_t i = 0; i < drawn.size(); ++i) {
                ASSERT_EQ(rom->ColourTable[look[i]], drawn[i]) << s << " " << t << " " << i;
            }
        }
    }
    auto edited = std::make_unique<CRomImage>(*rom);
    for (const tiles::ByteRange& range : tiles::TileDataRanges) {
        for (uint32_t at = range.begin; at < range.end; at += 37) {
            edited->WriteByte(at, static_cast<uint8_t>(~rom->ReadByte(at)));
            EXPECT_EQ(tiles::ChangedTiles(*rom, *edited), model.AffectedBy(at)) << std::hex << at;
            edited->WriteByte(at, rom->ReadByte(at));
        }
    }
    EXPECT_EQ(model.AffectedBy(tiles::PaletteBytes.end), tiles::SetTiles{});
    for (int s = 0; s < tiles::SetCount; ++s) {
        std::vector<int> unused;
        for (int g = 0; g < tiles::PatternCount; ++g) {
            if (model.UsersOf(s, g).empty()) {
                unused.push_back(g);
            }
            EXPECT_EQ(model.IsFree(s, g), model.UsersOf(s, g).empty()) << s << " " << g;
        }
        EXPECT_EQ(model.FreePatterns(s), unused);
        EXPECT_GT(unused.size(), 5u);
    }
}

// Writes: the first plane takes the low bit, bit 7 the leftmost pixel; a shared tile's
// quarter is one entry for all sets, drawing a pattern of 128 or more from each set's own;
// a sub-palette keeps the attribute's other six bits. Bits above those change no look.
TEST(TileModel, WritesKeepTheBitsTheyDoNotOwn) {
    auto rom = std::make_unique<CRomImage>();
    TileModel model(*rom);
    rom->WriteByte(tiles::PatternOffset(0, 5) + 10, 0x81); // second plane, row 2
    model.SetPatternPixel(2, 5, 6, 2, 1);
    model.SetPatternPixel(1, 5, 0, 2, 1);
    EXPECT_EQ(rom->ReadByte(tiles::PatternOffset(0, 5) + 2), 0x82);
    EXPECT_EQ(rom->ReadByte(tiles::PatternOffset(0, 5) + 10), 0x01);
    EXPECT_EQ(model.PatternPixel(0, 5, 7, 2), 2);
    model.SetQuarter(2, 3, 1, 200);
    model.SetQuarter(1, 70, 0, 9);
    rom->WriteByte(tiles::AttributeOffset(0, 3), 0xFC);
    model.SetSubPalette(1, 3, 1);
    EXPECT_EQ(rom->ReadByte(tiles::AttributeOffset(2, 3)), 0xFD);
    for (int s = 0; s < tiles::SetCount; ++s) {
        EXPECT_EQ(model.Quarter(s, 3, 1), 200);
        EXPECT_EQ(model.Quarter(s, 70, 0), s == 1 ? 9 : 0);
    }
    EXPECT_EQ(model.UsersOf(2, 200), (std::vector<QuarterUse>{{2, 3, 1}}));
    EXPECT_EQ(model.UsersOf(1, 9), (std::vector<QuarterUse>{{1, 70, 0}}));
    EXPECT_EQ(model.UsersOf(0, 0).front(), (QuarterUse{tiles::AnySet, 0, 0}));
    EXPECT_EQ(model.UserTileCount(0, 0), 64 + 3 * 64);
    const auto before = std::make_unique<CRomImage>(*rom);
    rom->WriteByte(tiles::AttributeOffset(0, 3), 0xBD);
    model.SetPaletteEntry(2, 7, 0x40);
    EXPECT_EQ(model.PaletteEntry(2, 7), 0);
    rom->WriteByte(tiles::PaletteOffset(1, 7), 0x80);
    EXPECT_TRUE(tiles::TileDataDiffers(*before, *rom));
    EXPECT_EQ(tiles::ChangedTiles(*before, *rom), tiles::SetTiles{});
}

} // namespace
