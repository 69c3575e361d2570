#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "tests/support/RomBuilder.h"
#include "tiles/TileImport.h"

namespace {

using tiles::ImportMode;
using tiles::ImportStatus;
using tiles::TileModel;
using Claims = std::vector<tiles::ClaimedPattern>;

std::unique_ptr<gfx::MetatilePixels> SheetOf(const CRomImage& rom, int map) {
    auto sheet = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(rom, map, *sheet);
    return sheet;
}

void Paint(gfx::MetatilePixels& sheet, const CRomImage& rom, int tile, int x, int y, int nes) {
    sheet[static_cast<std::size_t>(tile)][static_cast<std::size_t>(y * 16 + x)] =
        rom.ColourTable[nes];
}

// Colour n is (n, 2n, 3n); set 0's sub-palette k holds NES colours 4k + v, except that
// sub-palette 3 shows colour 13 for both values 1 and 2. Every quarter shows pattern 1 and
// every pattern is blank.
std::unique_ptr<CRomImage> HandRom() {
    testsupport::RomBuilder builder;
    std::vector<uint8_t> palettes(48);
    for (std::size_t i = 0; i < 64; ++i) {
        builder.Colour(static_cast<int>(i), static_cast<uint32_t>(i * 0x030201));
        palettes[i % 48] = static_cast<uint8_t>(i % 48 == 14 ? 13 : i % 48);
    }
    return builder.Poke(tiles::PaletteBytes.begin, palettes)
        .Poke(tiles::QuarterTableBytes.begin, std::vector<uint8_t>(0x400, 1))
        .Build();
}

// Each changed quarter in order: a pattern that holds its pixels, else its own pattern
// rewritten in place, else a free one claimed (a set's own tile from 128 up, a shared tile
// from 0 up), which later quarters then find. The sub-palette is kept if it holds the
// colours, else the lowest that does, keeping the attribute's high bits; a pixel keeps its
// value where two values show its colour.
TEST(TileImport, PatternChoiceAndSubPalettes) {
    auto rom = HandRom();
    TileModel model(*rom);
    model.SetQuarter(0, 70, 0, 140);
    model.SetQuarter(0, 100, 3, 5);
    model.SetPatternPixel(0, 5, 1, 1, 2);
    rom->WriteByte(tiles::AttributeOffset(0, 74), 0xA4);
    model.SetSubPalette(0, 75, 3);
    model.SetQuarter(0, 75, 3, 141);
    model.SetPatternPixel(0, 141, 0, 0, 2);
    auto sheet = SheetOf(*rom, 0);
    Paint(*sheet, *rom, 70, 0, 0, 1); // its own pattern 140: rewritten
    Paint(*sheet, *rom, 71, 1, 1, 2); // what pattern 5 holds: pointed at
    Paint(*sheet, *rom, 72, 9, 0, 3); // pixels no pattern holds: 128 claimed
    Paint(*sheet, *rom, 73, 9, 0, 3); // the same again: 128 found
    Paint(*sheet, *rom, 3, 3, 8, 1);  // a shared tile: 0 claimed
    for (int i = 0; i < 256; ++i) {   // all sub-palette 2's colour 0
        Paint(*sheet, *rom, 74, i % 16, i / 16, 8);
    }
    Paint(*sheet, *rom, 75, 9, 8, 13); // colour 13 is value 1 or 2: the lowest, 1
    const auto report = tiles::ImportTileSheet(*rom, 0, *sheet, ImportMode::Apply);
    EXPECT_EQ(std::tuple(report.status, report.changed.count(), report.rewritten, report.otherMaps),
              std::tuple(ImportStatus::Changed, 7u, std::vector<int>{140, 141},
                         std::vector<int>{1, 2, 3}));
    EXPECT_EQ(report.claimed, (Claims{{0, 3}, {128, 72}}));
    EXPECT_EQ(
        (std::array{model.Quarter(0, 70, 0), model.Quarter(0, 71, 0), model.Quarter(0, 72, 1),
                    model.Quarter(0, 73, 1), model.Quarter(2, 3, 2), model.Quarter(0, 74, 0)}),
        (std::array{140, 5, 128, 128, 0, 1}));
    EXPECT_EQ(rom->ReadByte(tiles::AttributeOffset(0, 74)), 0xA6);
    EXPECT_EQ(model.PatternPixel(0, 141, 0, 0) * 10 + model.PatternPixel(0, 141, 1, 0), 21);
    EXPECT_EQ(*SheetOf(*rom, 0), *sheet);
}

// Shared tile t's quarter k shows pattern 64k + t, except that shared tiles 41 and 42 and
// tile 63's quarter 3 show pattern 1 (set 1's tile 100 shows 41 and 42): only 255 is free.
// A quarter that moves to a pattern holding its pixels frees its old one for a later
// claim; a shared tile cannot take 255; with nothing left to claim nothing is written.
TEST(TileImport, FreedPatternsAreClaimedAndNoneLeftWritesNothing) {
    auto rom = HandRom();
    TileModel model(*rom);
    for (int i = 0; i < 256; ++i) {
        model.SetQuarter(0, i % 64, i / 64, i);
    }
    model.SetQuarter(0, 41, 0, 1);
    model.SetQuarter(0, 42, 0, 1);
    model.SetQuarter(0, 63, 3, 1);
    model.SetQuarter(1, 100, 0, 41);
    model.SetQuarter(1, 100, 1, 42);
    model.SetPatternPixel(0, 40, 4, 4, 3);
    auto sheet = SheetOf(*rom, 0);
    Paint(*sheet, *rom, 40, 4, 4, 0); // now blank like pattern 0, leaving 40 unused
    Paint(*sheet, *rom, 41, 2, 2, 1);
    Paint(*sheet, *rom, 64, 2, 2, 2);
    auto failing = std::make_unique<gfx::MetatilePixels>(*sheet);
    Paint(*failing, *rom, 42, 2, 2, 3);
    const auto before = testsupport::Image(*rom);
    const auto full = tiles::ImportTileSheet(*rom, 0, *failing, ImportMode::Apply);
    EXPECT_EQ(std::pair(full.status, full.tile), std::pair(ImportStatus::NoFreePattern, 42));
    EXPECT_EQ(testsupport::Image(*rom), before);
    EXPECT_EQ(tiles::ImportTileSheet(*rom, 0, *sheet, ImportMode::Apply).claimed,
              (Claims{{40, 41}, {255, 64}}));
    EXPECT_EQ(
        (std::array{model.Quarter(1, 40, 0), model.Quarter(2, 41, 0), model.Quarter(0, 64, 0)}),
        (std::array{0, 40, 255}));
}

// The promises: an unchanged sheet changes nothing; afterwards both maps of the set draw
// exactly the sheet; no tile the sheet leaves alone looks different on any map, and the
// maps named are those whose look changed; only quarter entries, the low two bits of
// attributes and patterns change; a dry run reports the same and writes nothing. Random
// tables: patterns 1 and 2 modulo 3 in use, by many quarters or by one, the others free; a
// colour twice in a sub-palette. Random edits: quarters repainted, then tiles drawn as
// others.
TEST(TileImport, PromisesHoldOnRandomTables) {
    int changedRuns = 0;
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        const int map = static_cast<int>(seed % 4);
        const int set = gfx::GraphicsSetOf(map);
        SCOPED_TRACE(seed);
        std::mt19937 engine(seed);
        std::vector<uint8_t> quarters(0x400);
        for (uint8_t& q : quarters) {
            q = static_cast<uint8_t>(engine() % 85 * 3 + 1 + engine() % 2);
        }
        const auto twice = static_cast<uint8_t>(engine() % 64);
        auto rom = testsupport::RomBuilder()
                       .NoiseGraphics(seed)
                       .Poke(tiles::QuarterTableBytes.begin, quarters)
                       .Poke(tiles::PaletteBytes.begin + 9, {twice, twice})
                       .Build();
        auto sheet = SheetOf(*rom, map);
        const TileModel model(*rom);
        const auto before = std::make_unique<CRomImage>(*rom);
        EXPECT_EQ(tiles::ImportTileSheet(*rom, map, *sheet, ImportMode::Apply).status,
                  ImportStatus::Unchanged);
        for (int n = 0; n < 6; ++n) {
            const int t = static_cast<int>(engine() % 128);
            const std::size_t k = engine() % 4;
            for (std::size_t i = 0; i < 64; ++i) {
                const int entry = 4 * model.SubPalette(set, t) + static_cast<int>(engine() % 4);
                (*sheet)[static_cast<std::size_t>(t)]
                        [(k / 2 * 8 + i / 8) * 16 + k % 2 * 8 + i % 8] =
                            rom->ColourTable[model.PaletteEntry(set, entry) & 0x3F];
            }
        }
        for (int n = 0; n < 4; ++n) {
            (*sheet)[engine() % 128] = (*sheet)[engine() % 128];
        }
        const auto dry = tiles::ImportTileSheet(*rom, map, *sheet, ImportMode::DryRun);
        ASSERT_EQ(testsupport::Image(*rom), testsupport::Image(*before));
        const auto report = tiles::ImportTileSheet(*rom, map, *sheet, ImportMode::Apply);
        EXPECT_EQ(std::tuple(dry.status, dry.claimed, dry.rewritten, dry.otherMaps),
                  std::tuple(report.status, report.claimed, report.rewritten, report.otherMaps));
        if (report.status != ImportStatus::Changed) {
            EXPECT_EQ(report.status, ImportStatus::NoFreePattern);
            EXPECT_EQ(testsupport::Image(*rom), testsupport::Image(*before));
            continue;
        }
        ++changedRuns;
        EXPECT_EQ(*SheetOf(*rom, map), *sheet);
        EXPECT_EQ(*SheetOf(*rom, map == 1 ? 2 : map == 2 ? 1 : map), *sheet);
        const tiles::SetTiles looks = tiles::ChangedTiles(*before, *rom);
        for (int s = 0; s < 3; ++s) {
            const tiles::TileMask others = s == set ? report.changed : report.changed << 64 >> 64;
            EXPECT_EQ(looks[static_cast<std::size_t>(s)] & ~others, tiles::TileMask{}) << s;
        }
        std::vector<int> maps = tiles::MapsShowing(looks);
        std::erase(maps, map);
        EXPECT_EQ(report.otherMaps, maps);
        for (uint32_t i = 0; i < RomFileSize; ++i) {
            const int diff = before->RomBytes[i] ^ rom->RomBytes[i];
            const bool quarter =
                i >= tiles::QuarterTableBytes.begin && i < tiles::QuarterTableBytes.end;
            const bool attribute =
                i >= tiles::AttributeBytes.begin && i < tiles::AttributeBytes.end;
            ASSERT_TRUE(diff == 0 || quarter || (attribute && diff < 4) ||
                        (i >= tiles::PatternTableBytes.begin && i < tiles::PatternTableBytes.end))
                << i;
        }
    }
    EXPECT_GE(changedRuns, 12);
}

} // namespace
