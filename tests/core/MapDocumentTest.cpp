#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "edit/MapDocument.h"
#include "tests/support/MapGrids.h"
#include "tests/support/RomBuilder.h"
#include "worldmap/WorldMap.h"

using edit::Cell;
using edit::MapDocument;
using edit::RowSet;
using testsupport::Grid;
using testsupport::RomBuilder;

namespace {

std::unique_ptr<CRomImage> TwoMapRom(int freeBytes = 2000) {
    return RomBuilder()
        .Map(0, testsupport::RandomGrid(3))
        .Map(1, testsupport::StripedGrid(7))
        .Map(2, testsupport::RandomGrid(4))
        .FreeBytes(freeBytes)
        .Build();
}

void ExpectBudgetIsMeasureStore(const MapDocument& doc) {
    const worldmap::StoreReport want =
        worldmap::MeasureStore(doc.Rom(), doc.MapId(), doc.MapGrid());
    const worldmap::StoreReport& got = doc.Budget();
    EXPECT_EQ(std::tuple(got.status, got.newSize, got.oldSize, got.available),
              std::tuple(want.status, want.newSize, want.oldSize, want.available));
}

// Random edits of every kind; now and then a cell gets a tile no map can store.
std::vector<std::function<void()>> RandomEdits(MapDocument& doc,
                                               const std::function<int(int)>& pick, int tiles) {
    auto cell = [pick] { return Cell{pick(256), pick(256)}; };
    auto tile = [pick, tiles] { return static_cast<uint8_t>(pick(tiles)); };
    return {
        [=, &doc] { doc.SetCell(cell(), pick(8) == 0 ? uint8_t{200} : tile()); },
        [=, &doc] { doc.DrawLine(cell(), cell(), tile()); },
        [=, &doc] {
            doc.FillRect(edit::Rect{cell(), cell()}, tile());
        },
        [=, &doc] { doc.FloodFill(cell(), tile()); },
        [=, &doc] {
            doc.ReplaceTile(tile(), tile(), edit::Rect{cell(), cell()});
        },
        [=, &doc] {
            doc.Paste(doc.Copy(edit::Rect{cell(), cell()}), cell());
        },
        [=, &doc] {
            const int from = pick(256); // a whole row copied: rows come to share
            doc.Paste(doc.Copy({{0, from}, {255, from}}), {0, pick(256)});
        },
        [=, &doc] {
            doc.SetSelectedTile(tile());
            for (int i = 0, n = 1 + pick(6); i < n; ++i) {
                doc.PaintTo(cell());
            }
            doc.EndStroke();
        },
    };
}

TEST(MapDocument, AStrokeIsOneStepAndAJumpPaintsTheLineBetween) {
    auto rom = TwoMapRom();
    MapDocument doc(*rom);
    const Grid original = doc.MapGrid();
    doc.SetSelectedTile(100);
    doc.SetSelectedTile(128); // out of range: ignored
    doc.SetSelectedTile(-1);
    ASSERT_EQ(doc.SelectedTile(), 100);

    doc.PaintTo({2, 2});
    EXPECT_EQ(doc.PaintTo({9, 5}), RowSet().set(2).set(3).set(4).set(5)); // a jump
    doc.LiftStroke(); // the pointer left the view: no line from (9, 5) to where it returns
    doc.PaintTo({30, 40});
    doc.EndStroke();
    auto want = std::make_unique<Grid>(original);
    edit::DrawLine(*want, {2, 2}, {9, 5}, 100);
    edit::SetCell(*want, {30, 40}, 100);
    EXPECT_EQ(doc.MapGrid(), *want);
    EXPECT_EQ(doc.UndoCount(0), 1u);

    // Painting cells with the tile they hold, or outside the map, leaves no step.
    doc.PaintTo({2, 2});
    doc.LiftStroke();
    doc.PaintTo({-4, 2});
    doc.EndStroke();
    EXPECT_EQ(doc.UndoCount(0), 1u);
    // An undo in the middle of a stroke closes it first, then takes it back whole.
    doc.PaintTo({0, 0});
    doc.PaintTo({0, 3});
    EXPECT_FALSE(doc.CanRedo());
    EXPECT_EQ(doc.Undo(), RowSet().set(0).set(1).set(2).set(3));
    EXPECT_EQ(doc.MapGrid(), *want);
}

// A long random run of every operation, undone to the start and redone to the end: each
// undo and redo gives back the exact grid of that point. (The budget: the random test below.)
TEST(MapDocument, UndoAndRedoRestoreExactGrids) {
    auto rom = TwoMapRom();
    MapDocument doc(*rom);
    std::mt19937 rng(42);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    const auto ops = RandomEdits(doc, pick, 12);
    std::vector<Grid> states{doc.MapGrid()};
    for (int i = 0; i < 60; ++i) {
        ops[static_cast<std::size_t>(pick(static_cast<int>(ops.size())))]();
        if (doc.MapGrid() != states.back()) {
            states.push_back(doc.MapGrid());
        }
        ASSERT_EQ(doc.UndoCount(0), states.size() - 1) << i;
    }
    for (std::size_t i = states.size() - 1; i > 0; --i) {
        const RowSet rows = doc.Undo();
        ASSERT_EQ(doc.MapGrid(), states[i - 1]) << i;
        ASSERT_TRUE(rows.any());
    }
    EXPECT_FALSE(doc.CanUndo());
    EXPECT_TRUE(doc.Undo().none());
    for (std::size_t i = 1; i < states.size(); ++i) {
        doc.Redo();
        ASSERT_EQ(doc.MapGrid(), states[i]) << i;
    }
    EXPECT_FALSE(doc.CanRedo());

    // A new edit after undoing drops what could have been redone.
    doc.Undo();
    doc.Undo();
    ASSERT_TRUE(doc.CanRedo());
    const uint8_t other = doc.At({0, 0}) == 1 ? 2 : 1;
    doc.SetCell({0, 0}, other);
    EXPECT_FALSE(doc.CanRedo());
    EXPECT_TRUE(doc.Redo().none());
    EXPECT_EQ(doc.At({0, 0}), other);
}

// The editor stores the map it leaves, as the map editor does at a switch; coming back,
// the map's own steps are still there and apply over the stored map, and a step undone
// before leaving without a store can be redone over the map as stored. (That the grid then
// differs from the store, the random test below checks at every step.)
TEST(MapDocument, EachMapKeepsItsOwnHistoryAcrossSwitches) {
    auto rom = TwoMapRom();
    MapDocument doc(*rom);
    auto original0 = std::make_unique<Grid>(doc.MapGrid());
    doc.FillRect({{0, 0}, {9, 9}}, 5);
    auto edited0 = std::make_unique<Grid>(doc.MapGrid());
    ASSERT_EQ(doc.Store().status, worldmap::StoreStatus::Stored);
    ASSERT_TRUE(doc.Load(1));
    EXPECT_FALSE(doc.CanUndo());
    doc.SetCell({3, 3}, 9);
    EXPECT_FALSE(doc.Load(4));
    EXPECT_FALSE(doc.Load(-1));
    EXPECT_EQ(doc.MapId(), 1);

    ASSERT_TRUE(doc.Load(0));
    EXPECT_EQ(doc.UndoCount(1), 1u);
    EXPECT_EQ(doc.Undo(),
              RowSet().set(0).set(1).set(2).set(3).set(4).set(5).set(6).set(7).set(8).set(9));
    EXPECT_EQ(doc.MapGrid(), *original0);
    ASSERT_TRUE(doc.Load(1));
    ASSERT_TRUE(doc.Load(0));
    EXPECT_EQ(doc.MapGrid(), *edited0);
    EXPECT_TRUE(doc.Redo().any());
    EXPECT_EQ(doc.MapGrid(), *edited0);
    doc.Undo();
    EXPECT_EQ(doc.MapGrid(), *original0);
}

// The image knows what differs from its file: a store of the map as it was writes the same
// bytes, so there is nothing to save. (That a write clears the mark and a failed one keeps
// it, the image's own tests show.)
TEST(MapDocument, AStoreOfTheMapAsItWasLeavesNothingToSave) {
    auto rom = TwoMapRom();
    rom->RomPath = ::testing::TempDir() + "/mapdocument-unchanged.nes";
    ASSERT_TRUE(rom->SaveRomFile());
    MapDocument doc(*rom, 1);
    ASSERT_EQ(doc.Store().status, worldmap::StoreStatus::Stored);
    EXPECT_FALSE(doc.ImageDiffersFromFile());
    doc.SetCell({10, 10}, 3);
    ASSERT_EQ(doc.Store().status, worldmap::StoreStatus::Stored);
    EXPECT_TRUE(doc.ImageDiffersFromFile());
    EXPECT_TRUE(doc.SaveFile());
    EXPECT_FALSE(doc.ImageDiffersFromFile());
    std::filesystem::remove(rom->RomPath);
}

// What a view hears: the rows, loads and budget changes it has to redraw.
struct Heard : edit::DocumentListener {
    RowSet rows;
    bool loaded = false;
    int budgets = 0;
    void RowsChanged(const RowSet& r) override { rows |= r; }
    void MapLoaded(int) override { loaded = true; }
    void BudgetChanged() override { ++budgets; }
};

// Random runs of every operation, stores and map switches included, on images with few
// free bytes: after each, listeners heard of exactly the rows whose contents changed (or of
// a load), the record of unstored edits agrees with decoding the stored map, and the
// budget, which comes from the row costs, is MeasureStore's in every field, refusals
// included.
TEST(MapDocument, AnnouncementsAndBudgetFollowRandomEdits) {
    int statuses[4] = {};
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        std::mt19937 rng(seed);
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
        RomBuilder b;
        for (int m = 0; m < 4; ++m) {
            b.Map(m, testsupport::RandomGrid(rng(), 30, 50, 6));
        }
        auto rom = b.FreeBytes(pick(200)).Build();
        ASSERT_NE(rom, nullptr);
        if (seed == 4) {
            // A row of map 1 inside map 0's data: map 0 can no longer be rewritten.
            rom->WriteWord(worldmap::TableStart(1) + 10, rom->ReadWord(worldmap::TableStart(0)));
        }
        MapDocument doc(*rom);
        Heard heard;
        doc.AddListener(&heard);
        bool loaded = false;
        auto ops = RandomEdits(doc, pick, 6);
        ops.insert(ops.end(), {[&] { doc.Undo(); }, [&] { doc.Redo(); }, [&] { doc.Store(); },
                               [&] { loaded = doc.Load(pick(4)); }});
        for (int step = 0; step < 150; ++step) {
            SCOPED_TRACE(::testing::Message() << "step " << step);
            auto before = std::make_unique<Grid>(doc.MapGrid());
            heard = Heard();
            loaded = false;
            ops[static_cast<std::size_t>(pick(static_cast<int>(ops.size())))]();
            RowSet changed;
            for (std::size_t y = 0; y < 256; ++y) {
                const uint8_t* now = doc.MapGrid().data() + y * 256;
                changed.set(y, std::memcmp(before->data() + y * 256, now, 256) != 0);
            }
            ASSERT_EQ(heard.loaded, loaded);
            if (!loaded) {
                ASSERT_EQ(heard.rows, changed);
                ASSERT_TRUE(changed.none() || heard.budgets > 0);
            }
            ASSERT_EQ(doc.GridDiffersFromStore(),
                      testsupport::Decode(*rom, doc.MapId()) != doc.MapGrid());
            ASSERT_NO_FATAL_FAILURE(ExpectBudgetIsMeasureStore(doc));
            ++statuses[static_cast<int>(doc.Budget().status)];
        }
        doc.RemoveListener(&heard);
    }
    for (int status = 0; status < 4; ++status) {
        EXPECT_GT(statuses[status], 0) << "status " << status;
    }
}

// ----- The bound on the undo histories -----

// A whole map different in every cell from the maps of the steps before and after.
Grid PatternGrid(int step) {
    Grid grid{};
    for (std::size_t i = 0; i < grid.size(); ++i) {
        grid[i] = static_cast<uint8_t>((i % 256 * 7 + i / 256 * 3 + std::size_t(step) * 5) % 128);
    }
    return grid;
}

void PasteWholeMap(MapDocument& doc, int step) {
    const Grid grid = PatternGrid(step);
    doc.Paste({worldmap::MapWidth, worldmap::MapHeight, {grid.begin(), grid.end()}}, {0, 0});
}

struct DropCounter : edit::DocumentListener {
    int drops = 0;
    void StepsDropped() override { ++drops; }
};

// Thousands of steps that each change every row, under a small bound and the default one:
// the bound holds after every step, as many of the newest steps stay as it has room for,
// and they undo and redo to the exact grids.
class HistoryBound : public ::testing::TestWithParam<std::size_t> {};

TEST_P(HistoryBound, HoldsAndKeepsTheNewestStepsExact) {
    auto rom = TwoMapRom();
    DropCounter heard;
    MapDocument doc(*rom);
    doc.AddListener(&heard);
    const std::size_t limit = GetParam() == 0 ? doc.HistoryLimit() : GetParam();
    doc.SetHistoryLimit(limit);
    PasteWholeMap(doc, 0);
    const std::size_t stepBytes = doc.HistoryBytes();
    ASSERT_GE(stepBytes, std::size_t{256} * 2 * 256); // the rows before and after count
    const std::size_t room = limit / stepBytes;
    const int steps = static_cast<int>(room) + 400;
    for (int i = 1; i < steps; ++i) {
        PasteWholeMap(doc, i);
        const std::size_t kept = std::min(std::size_t(i) + 1, room);
        ASSERT_EQ(std::tuple(doc.UndoCount(0), doc.HistoryBytes(), doc.HistoryTrimmed()),
                  std::tuple(kept, kept * stepBytes, std::size_t(i) >= room))
            << i;
    }
    EXPECT_EQ(heard.drops, steps - static_cast<int>(room));
    for (std::size_t k = 1; k <= room; ++k) {
        ASSERT_TRUE(doc.Undo().all()) << k;
        ASSERT_EQ(doc.MapGrid(), PatternGrid(steps - 1 - static_cast<int>(k))) << k;
    }
    EXPECT_FALSE(doc.CanUndo());
    for (std::size_t k = 1; k <= room; ++k) {
        doc.Redo();
    }
    EXPECT_EQ(doc.MapGrid(), PatternGrid(steps - 1));
    EXPECT_EQ(doc.HistoryBytes(), room * stepBytes);
}

INSTANTIATE_TEST_SUITE_P(SmallAndDefault, HistoryBound,
                         ::testing::Values(std::size_t{8} << 20, std::size_t{0}));

// "Oldest" is the step least recently made, undone or redone, of any map and either
// direction; a bound too small for one step keeps none.
TEST(MapDocument, TheLeastRecentlyUsedStepOfAnyMapGoesFirst) {
    auto rom = TwoMapRom();
    MapDocument doc(*rom);
    doc.Load(1);
    PasteWholeMap(doc, 0); // c
    doc.SetHistoryLimit(3 * doc.HistoryBytes());
    doc.Load(0);
    PasteWholeMap(doc, 1); // a
    PasteWholeMap(doc, 2); // b
    doc.Load(1);
    doc.Undo(); // c, the first made, is now the last used
    doc.Load(0);
    PasteWholeMap(doc, 3); // d drops a
    PasteWholeMap(doc, 4); // e drops b
    EXPECT_EQ(doc.UndoCount(0), 2u);
    doc.Load(1);
    EXPECT_TRUE(doc.CanRedo());
    doc.Load(0);
    PasteWholeMap(doc, 5); // f drops c
    EXPECT_EQ(doc.UndoCount(0), 3u);
    doc.Load(1);
    EXPECT_FALSE(doc.CanRedo());

    doc.SetHistoryLimit(1000);
    EXPECT_EQ(doc.HistoryBytes(), 0u);
    PasteWholeMap(doc, 6);
    EXPECT_FALSE(doc.CanUndo());
    EXPECT_EQ(doc.MapGrid(), PatternGrid(6));
}

} // namespace
