#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "tests/support/RomBuilder.h"
#include "tiles/TileImport.h"

namespace {

using tiles::ClaimedPattern;
using tiles::ImportMode;
using tiles::ImportStatus;
using tiles::TileModel;

std::unique_ptr<gfx::MetatilePixels> SheetOf(const CRomImage& rom, int map) {
    auto sheet = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(rom, map, *sheet);
    return sheet;
}

void Paint(gfx::MetatilePixels& sheet, const CRomImage& rom, int tile, int x, int y, int nes) {
    sheet[static_cast<std::size_t>(tile)][static_cast<std::size_t>(y * 16 + x)] =
        rom.ColourTable[nes];
}

// Colour n is (n, 2n, 3n); set s's sub-palette k holds NES colours 16s + 4k + v, except
// set 0's sub-palette 3, which shows colour 13 for both values 1 and 2. Every quarter
// shows pattern 1 and every pattern is blank, unless a test says otherwise.
std::unique_ptr<CRomImage> HandRom() {
    testsupport::RomBuilder builder;
    for (int i = 0; i < 64; ++i) {
        builder.Colour(i, static_cast<uint32_t>(i * 0x030201));
    }
    std::vector<uint8_t> palettes(48);
    for (std::size_t i = 0; i < palettes.size(); ++i) {
        palettes[i] = static_cast<uint8_t>(i);
    }
    palettes[14] = 13;
    return builder.Poke(tiles::PaletteBytes.begin, palettes)
        .Poke(tiles::QuarterTableBytes.begin, std::vector<uint8_t>(0x400, 1))
        .Map(0, testsupport::Filled(73))
        .Build();
}

// Each changed quarter in order: a pattern that holds its pixels, else its own pattern
// rewritten in place, else a free one claimed (a set's own tile from 128 up, a shared tile
// from 0 up); a pattern claimed earlier in the import is found again. The sub-palette is
// kept if it holds the colours, else the lowest that does, with the attribute's high bits
// kept; a pixel keeps its value where two values show its colour.
TEST(TileImport, PatternChoiceSubPalettesAndUsage) {
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
    for (int i = 0; i < 256; ++i) {   // all in sub-palette 2's colour 0
        Paint(*sheet, *rom, 74, i % 16, i / 16, 8);
    }
    Paint(*sheet, *rom, 75, 9, 8, 13); // colour 13 is value 1 or 2: the lowest, 1
    const auto before = testsupport::Image(*rom);

    const tiles::ImportReport dry = tiles::ImportTileSheet(*rom, 0, *sheet, ImportMode::DryRun);
    EXPECT_EQ(testsupport::Image(*rom), before);
    const tiles::ImportReport report = tiles::ImportTileSheet(*rom, 0, *sheet, ImportMode::Apply);
    ASSERT_EQ(report.status, ImportStatus::Changed);
    for (const tiles::ImportReport* r : {&dry, &report}) {
        EXPECT_EQ(r->changed.count(), 7u);
        EXPECT_EQ(r->rewritten, (std::vector<int>{140, 141}));
        EXPECT_EQ(r->claimed, (std::vector<ClaimedPattern>{{0, 3}, {128, 72}}));
        EXPECT_EQ(r->otherMaps, (std::vector<int>{1, 2, 3}));
    }
    EXPECT_EQ(model.Quarter(0, 70, 0), 140);
    EXPECT_EQ(model.PatternPixel(0, 140, 0, 0), 1);
    EXPECT_EQ(model.Quarter(0, 71, 0), 5);
    EXPECT_EQ(model.Quarter(0, 72, 1), 128);
    EXPECT_EQ(model.Quarter(0, 73, 1), 128);
    EXPECT_EQ(model.Quarter(2, 3, 2), 0);
    EXPECT_EQ(model.PatternPixel(0, 0, 3, 0), 1);
    EXPECT_EQ(rom->ReadByte(tiles::AttributeOffset(0, 74)), 0xA6);
    EXPECT_EQ(model.Quarter(0, 74, 0), 1);
    EXPECT_EQ(model.PatternPixel(0, 141, 0, 0), 2);
    EXPECT_EQ(model.PatternPixel(0, 141, 1, 0), 1);
    EXPECT_EQ(*SheetOf(*rom, 0), *sheet);

    const auto usage = tiles::TileUsageTable(*rom, 0);
    EXPECT_EQ(usage[73].patterns, (std::array<int, 4>{1, 128, 1, 1}));
    EXPECT_EQ(usage[73].sharers, (std::array<int, 4>{255, 1, 255, 255}));
    EXPECT_EQ(usage[73].cells, (std::array<int, 4>{65536, 0, 0, 0}));
    EXPECT_EQ(usage[0].cells, (std::array<int, 4>{0, 65536, 65536, 65536}));
    EXPECT_EQ(usage[74].subPalette, 2);
}

// Shared tile t's quarter k shows pattern 64k + t, except that shared tiles 41 and 42 show
// pattern 1 (set 1's tile 100 shows 41 and 42) and tile 63's quarter 3 does too, so only
// pattern 255 is free. A quarter that moves to a pattern holding its pixels frees its old
// one for a later claim; a shared tile cannot take 255; with nothing left to claim the
// import fails and writes nothing.
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

    const tiles::ImportReport full = tiles::ImportTileSheet(*rom, 0, *failing, ImportMode::Apply);
    EXPECT_EQ(full.status, ImportStatus::NoFreePattern);
    EXPECT_EQ(full.tile, 42);
    EXPECT_EQ(testsupport::Image(*rom), before);

    const tiles::ImportReport report = tiles::ImportTileSheet(*rom, 0, *sheet, ImportMode::Apply);
    ASSERT_EQ(report.status, ImportStatus::Changed);
    EXPECT_EQ(report.claimed, (std::vector<ClaimedPattern>{{40, 41}, {255, 64}}));
    EXPECT_EQ(model.Quarter(1, 40, 0), 0);
    EXPECT_EQ(model.Quarter(2, 41, 0), 40);
    EXPECT_EQ(model.Quarter(0, 64, 0), 255);
}

// A tile whose colours no one sub-palette holds names a pixel: one of a colour no
// sub-palette has, else one its own sub-palette lacks, else the first of a fifth colour.
TEST(TileImport, ColoursThatFitNoSubPaletteAreRefused) {
    auto rom = HandRom();
    const auto before = testsupport::Image(*rom);
    struct Case {
        std::vector<std::array<int, 3>> paint; // x, y, NES colour
        int x, y, colour;
    };
    const Case cases[] = {
        {{{3, 5, 63}, {9, 9, 1}}, 3, 5, 63},
        {{{2, 0, 1}, {7, 1, 4}}, 7, 1, 4},
        {{{1, 0, 1}, {2, 0, 2}, {3, 0, 3}, {4, 0, 13}}, 4, 0, 13},
    };
    for (const Case& c : cases) {
        auto sheet = SheetOf(*rom, 0);
        for (const auto& [x, y, nes] : c.paint) {
            Paint(*sheet, *rom, 80, x, y, nes);
        }
        const tiles::ImportReport r = tiles::ImportTileSheet(*rom, 0, *sheet, ImportMode::Apply);
        EXPECT_EQ(r.status, ImportStatus::BadColour);
        EXPECT_EQ((std::array<int, 3>{r.tile, r.x, r.y}), (std::array<int, 3>{80, c.x, c.y}));
        EXPECT_EQ(r.colour, rom->ColourTable[c.colour]);
        EXPECT_EQ(testsupport::Image(*rom), before);
    }
}

// Random tables: patterns shared by many quarters, used by one, or by none; palettes with
// a colour twice in a sub-palette. Random edits of the sheet: a pixel, a quarter, or a
// tile drawn as another.
std::unique_ptr<CRomImage> RandomRom(uint32_t seed) {
    std::mt19937 engine(seed);
    std::vector<uint8_t> pool;
    for (int g = 0; g < 256; ++g) {
        if (engine() % 100 < 55) {
            pool.push_back(static_cast<uint8_t>(g));
        }
    }
    std::vector<uint8_t> quarters(0x400);
    for (std::size_t i = 0; i < quarters.size(); ++i) {
        const bool shared = i < 0x100;
        const uint8_t g = pool[engine() % pool.size()];
        quarters[i] = shared && engine() % 10 != 0 ? static_cast<uint8_t>(g & 0x7F) : g;
    }
    testsupport::RomBuilder builder;
    builder.NoiseGraphics(seed).Poke(tiles::QuarterTableBytes.begin, quarters);
    for (uint32_t s = 0; s < 3; ++s) {
        const uint8_t twice = static_cast<uint8_t>(engine() % 64);
        builder.Poke(tiles::PaletteBytes.begin + 16 * s + 9, {twice, twice});
    }
    return builder.Build();
}

void EditSheet(gfx::MetatilePixels& sheet, const CRomImage& rom, int map, std::mt19937& engine) {
    const int set = gfx::GraphicsSetOf(map);
    const TileModel model(rom);
    std::array<int, 128> sub{}; // as the sheet shows each tile
    for (int t = 0; t < 128; ++t) {
        sub[static_cast<std::size_t>(t)] = model.SubPalette(set, t);
    }
    for (int n = 0; n < 10; ++n) {
        const int t = static_cast<int>(engine() % 128);
        const int base = 4 * sub[static_cast<std::size_t>(t)];
        auto colour = [&](unsigned v) {
            return rom.ColourTable[model.PaletteEntry(set, base + static_cast<int>(v % 4)) & 0x3F];
        };
        auto& tile = sheet[static_cast<std::size_t>(t)];
        switch (engine() % 3) {
        case 0:
            tile[engine() % 256] = colour(engine());
            break;
        case 1: {
            const std::size_t k = engine() % 4;
            for (std::size_t i = 0; i < 64; ++i) {
                tile[(k / 2 * 8 + i / 8) * 16 + k % 2 * 8 + i % 8] = colour(engine());
            }
            break;
        }
        default:
            const std::size_t from = engine() % 128;
            tile = sheet[from];
            sub[static_cast<std::size_t>(t)] = sub[from];
        }
    }
}

// The import's promises: an unchanged sheet changes nothing; afterwards both maps of the
// set draw exactly the sheet; no tile the sheet leaves alone looks different on any map,
// and the maps named are those whose look changed; only quarter entries, the low two bits
// of attributes and patterns change; a dry run reports the same and writes nothing.
TEST(TileImport, PromisesHoldOnRandomTables) {
    int changedRuns = 0;
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        for (int map = 0; map < 4; ++map) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " map " << map);
            auto rom = RandomRom(seed);
            const int set = gfx::GraphicsSetOf(map);
            auto sheet = SheetOf(*rom, map);
            const auto original = testsupport::Image(*rom);
            EXPECT_EQ(tiles::ImportTileSheet(*rom, map, *sheet, ImportMode::Apply).status,
                      ImportStatus::Unchanged);
            ASSERT_EQ(testsupport::Image(*rom), original);

            std::mt19937 engine(seed * 4 + static_cast<uint32_t>(map));
            EditSheet(*sheet, *rom, map, engine);
            const auto dry = tiles::ImportTileSheet(*rom, map, *sheet, ImportMode::DryRun);
            ASSERT_EQ(testsupport::Image(*rom), original);
            const auto before = std::make_unique<CRomImage>(*rom);
            const auto report = tiles::ImportTileSheet(*rom, map, *sheet, ImportMode::Apply);
            EXPECT_EQ(dry.status, report.status);
            EXPECT_EQ(dry.claimed, report.claimed);
            EXPECT_EQ(dry.rewritten, report.rewritten);
            EXPECT_EQ(dry.otherMaps, report.otherMaps);
            if (report.status == ImportStatus::NoFreePattern) {
                EXPECT_EQ(testsupport::Image(*rom), original);
                continue;
            }
            ASSERT_EQ(report.status, ImportStatus::Changed);
            ++changedRuns;
            for (int m = 0; m < 4; ++m) {
                if (gfx::GraphicsSetOf(m) == set) {
                    EXPECT_EQ(*SheetOf(*rom, m), *sheet) << "map " << m;
                }
            }
            const tiles::SetTiles looks = tiles::ChangedTiles(*before, *rom);
            tiles::TileMask shared;
            for (int t = 0; t < 64; ++t) {
                shared.set(static_cast<std::size_t>(t));
            }
            for (int s = 0; s < 3; ++s) {
                const tiles::TileMask allowed = s == set ? report.changed : report.changed & shared;
                EXPECT_EQ(looks[static_cast<std::size_t>(s)] & ~allowed, tiles::TileMask{}) << s;
            }
            std::vector<int> maps = tiles::MapsShowing(looks);
            std::erase(maps, map);
            EXPECT_EQ(report.otherMaps, maps);
            for (uint32_t i = 0; i < RomFileSize; ++i) {
                const int diff = before->RomBytes[i] ^ rom->RomBytes[i];
                const bool quarters =
                    i >= tiles::QuarterTableBytes.begin && i < tiles::QuarterTableBytes.end;
                const bool attribute =
                    i >= tiles::AttributeBytes.begin && i < tiles::AttributeBytes.end;
                const bool pattern =
                    i >= tiles::PatternTableBytes.begin && i < tiles::PatternTableBytes.end;
                ASSERT_TRUE(diff == 0 || quarters || pattern || (attribute && (diff & ~3) == 0))
                    << std::hex << i;
            }
        }
    }
    EXPECT_GE(changedRuns, 18);
}

} // namespace
