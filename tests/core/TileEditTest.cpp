#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "tests/support/RomBuilder.h"
#include "tiles/TileEdit.h"

namespace {

using namespace tiles;
constexpr auto Bytes = testsupport::Image;

// Every quarter of every tile draws pattern 0, which holds a diagonal of value 1 on 2: all
// other patterns are free, and every tile shares everything.
std::unique_ptr<CRomImage> AllOnPatternZero() {
    auto rom = std::make_unique<CRomImage>();
    TileModel model(*rom);
    PatternPixels pixels{};
    pixels.fill(2);
    for (int i = 0; i < PatternSide; ++i) {
        pixels[static_cast<std::size_t>(i * PatternSide + i)] = 1;
    }
    model.SetPattern(0, 0, pixels);
    for (int i = 0; i < PaletteSize * SetCount; ++i) {
        rom->WriteByte(PaletteBytes.begin + static_cast<uint32_t>(i), static_cast<uint8_t>(i));
    }
    return rom;
}

TEST(TileEdit, PaintReachesEverySharerAndUndoRedoRestoreTheBytes) {
    const auto rom = AllOnPatternZero();
    TileEdit edit(*rom, 1);
    edit.BeginStroke();
    // Tile 70's pixel (9, 0) is pattern 0's pixel (1, 0): every tile of every set changes.
    const SetTiles painted = edit.Paint(70, 9, 0, 3);
    edit.Paint(70, 9, 1, 0);
    edit.Paint(70, 9, 1, 0); // no change, no harm
    edit.EndStroke();
    for (const TileMask& set : painted) {
        EXPECT_TRUE(set.all());
    }
    EXPECT_EQ(edit.Model().TilePixel(0, 5, 1, 8), 3); // shared tile, other set, other quarter
    EXPECT_EQ(edit.Model().TilePixel(2, 100, 1, 1), 0);
    EXPECT_TRUE(edit.HasChanges());
    const std::vector<uint8_t> after = Bytes(edit.Working());

    EXPECT_TRUE(edit.Undo()[1].test(70)); // the whole stroke is one step
    EXPECT_EQ(Bytes(edit.Working()), Bytes(*rom));
    EXPECT_FALSE(edit.HasChanges());
    EXPECT_FALSE(edit.CanUndo());
    edit.Redo();
    EXPECT_EQ(Bytes(edit.Working()), after);
    edit.Undo();
    EXPECT_TRUE(edit.CanRedo());
    edit.SetSubPalette(70, 2); // a new step drops the redo
    EXPECT_FALSE(edit.CanRedo());
}

TEST(TileEdit, FillTakesTheFourConnectedAreaAcrossQuarters) {
    const auto rom = AllOnPatternZero();
    TileEdit edit(*rom, 0);
    // Make the tile's quarters its own so the fill is seen in one tile only.
    ASSERT_TRUE(edit.MakeUnique(80).done);
    const TileValues before = edit.Model().Values(0, 80);
    edit.Fill(80, 8, 7, 3);
    const TileValues after = edit.Model().Values(0, 80);
    // Each quarter's diagonal of 1s cuts its 2s in two. From the top-right quarter's lower
    // half the fill crosses into the top-left's upper half and the bottom-right's upper
    // half, never diagonally past a 1.
    for (int y = 0; y < TileSide; ++y) {
        for (int x = 0; x < TileSide; ++x) {
            const int q = y / 8 * 2 + x / 8;
            const int lx = x % 8;
            const int ly = y % 8;
            const bool filled = ((q == 0 || q == 3) && lx > ly) || (q == 1 && lx < ly);
            const auto i = static_cast<std::size_t>(y * TileSide + x);
            EXPECT_EQ(after[i], filled ? 3 : before[i]) << x << "," << y;
        }
    }
    edit.Undo();
    EXPECT_EQ(edit.Model().Values(0, 80), before);
}

TEST(TileEdit, MakeUniqueClaimsFreePatternsInOrderAndKeepsTheLook) {
    const auto rom = AllOnPatternZero();
    TileModel(*rom).SetQuarter(1, 71, 0, 200);
    TileModel(*rom).SetQuarter(1, 71, 1, 200);
    TileEdit edit(*rom, 1);
    const TileLook look = edit.Model().Look(1, 70);
    const UniqueReport own = edit.MakeUnique(70);
    ASSERT_TRUE(own.done);
    ASSERT_EQ(own.copies.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(own.copies[static_cast<std::size_t>(k)].to, 128 + k); // the set's own first
        EXPECT_EQ(edit.Model().Quarter(1, 70, k), 128 + k);
    }
    EXPECT_EQ(edit.Model().Look(1, 70), look);
    EXPECT_EQ(edit.Model().Pattern(2, 128), PatternPixels{}); // other sets' blocks untouched
    EXPECT_EQ(edit.Model().Quarter(0, 70, 0), 0);

    const UniqueReport shared = edit.MakeUnique(5); // shared tiles take 0 to 127 only
    ASSERT_TRUE(shared.done);
    EXPECT_EQ(shared.copies.front().to, 1);
    EXPECT_TRUE(shared.changed[0].test(5) && shared.changed[2].test(5));

    // A pattern the tile alone draws twice: the first quarter moves, the last keeps it.
    const UniqueReport twice = edit.MakeUnique(71);
    ASSERT_EQ(twice.copies.size(), 3u);
    EXPECT_EQ(twice.copies[0], (UniqueReport::Copy{0, 200, 132}));
    EXPECT_EQ(twice.copies[1], (UniqueReport::Copy{2, 0, 133}));
    EXPECT_TRUE(edit.MakeUnique(71).copies.empty()); // nothing shared any more
}

TEST(TileEdit, MakeUniqueRefusesWithoutEnoughFreePatterns) {
    auto rom = AllOnPatternZero();
    TileModel model(*rom);
    // Each pattern drawn by two quarters: none free anywhere.
    for (int t = 0; t < TileCount; ++t) {
        for (int k = 0; k < 4; ++k) {
            for (int s = 0; s < SetCount; ++s) {
                model.SetQuarter(s, t, k, (t < 64 ? 0 : 128) + t % 64 * 2 + k / 2);
            }
        }
    }
    TileEdit full(*rom, 2);
    const UniqueReport none = full.MakeUnique(100);
    EXPECT_FALSE(none.done);
    EXPECT_NE(none.refusal.find("free"), std::string::npos);
    EXPECT_FALSE(full.HasChanges());
}

} // namespace
