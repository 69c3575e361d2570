// The core's hot paths on synthetic maps. BM_Memcpy64K is the yardstick the others are
// compared with (see BenchMain.cpp).

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "edit/GridOps.h"
#include "edit/MapDocument.h"
#include "gfx/TileRenderer.h"
#include "tests/support/RomBuilder.h"
#include "tiles/TileImport.h"
#include "worldmap/WorldMap.h"

using testsupport::Grid;

namespace {

constexpr std::size_t CopySize = 64 * 1024;

void BM_Memcpy64K(benchmark::State& state) {
    std::vector<uint8_t> from(CopySize, 0x5A);
    std::vector<uint8_t> to(CopySize);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), CopySize);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

// No two neighbouring tiles equal: every tile is a literal. The region holds only about 90
// such rows, so the map repeats 80 of them; decoding does not care.
Grid LiteralGrid() {
    const Grid worst = testsupport::WorstCaseGrid(7);
    Grid g{};
    for (std::size_t y = 0; y < 256; ++y) {
        std::memcpy(&g[y * 256], &worst[(y % 80) * 256], 256);
    }
    return g;
}

// Every row distinct, but alike up to its last two tiles: each row is compared with every
// earlier row over 254 bytes, the duplicate search's slowest case, yet the map codes small.
Grid SlowSearchGrid() {
    Grid g = testsupport::WorstCaseGrid(9);
    for (std::size_t y = 0; y < 256; ++y) {
        std::memset(&g[y * 256], 127, 253);
    }
    return g;
}

std::unique_ptr<CRomImage> RomWith(const Grid& map0) {
    return testsupport::RomBuilder()
        .Map(0, map0)
        .Map(1, testsupport::RandomGrid(21))
        .Map(2, testsupport::RandomGrid(22))
        .Map(3, testsupport::RandomGrid(23))
        .Build();
}

void Decode(benchmark::State& state, const Grid& map) {
    auto rom = testsupport::RomBuilder().Map(0, map).Build();
    Grid out{};
    for (auto _ : state) {
        worldmap::DecodeWorldMap(*rom, 0, out);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (out != map) {
        state.SkipWithError("decoded map differs");
    }
}

void BM_DecodeTypical(benchmark::State& state) {
    Decode(state, testsupport::RandomGrid(20));
}
void BM_DecodeWorstCase(benchmark::State& state) {
    Decode(state, LiteralGrid());
}

void BM_CountFreeBytes(benchmark::State& state) {
    auto rom = RomWith(testsupport::RandomGrid(20));
    for (auto _ : state) {
        benchmark::DoNotOptimize(worldmap::CountFreeBytes(*rom));
    }
}

// Stores the same map over and over: the size does not change after the first.
void StoreUnchanged(benchmark::State& state, const Grid& map) {
    auto rom = RomWith(map);
    const Grid edited = map;
    bool ok = worldmap::StoreWorldMap(*rom, 0, edited, worldmap::CountFreeBytes(*rom));
    const int freeBytes = worldmap::CountFreeBytes(*rom);
    for (auto _ : state) {
        ok = worldmap::StoreWorldMap(*rom, 0, edited, freeBytes) && ok;
    }
    if (!ok) {
        state.SkipWithError("store refused");
    }
}

void BM_StoreTypical(benchmark::State& state) {
    StoreUnchanged(state, testsupport::RandomGrid(20));
}
void BM_StoreWorstCase(benchmark::State& state) {
    StoreUnchanged(state, SlowSearchGrid());
}

// Alternates between a small and a larger map 0, timing only one direction.
void StoreResized(benchmark::State& state, bool grow) {
    const Grid small = testsupport::RandomGrid(30, 60, 60);
    const Grid large = testsupport::RandomGrid(31, 20, 20);
    auto rom = RomWith(grow ? small : large);
    const Grid& timed = grow ? large : small;
    const Grid& reset = grow ? small : large;
    bool ok = true;
    for (auto _ : state) {
        const int freeBytes = worldmap::CountFreeBytes(*rom);
        ok = worldmap::StoreWorldMap(*rom, 0, timed, freeBytes) && ok;
        state.PauseTiming();
        ok = worldmap::StoreWorldMap(*rom, 0, reset, worldmap::CountFreeBytes(*rom)) && ok;
        state.ResumeTiming();
    }
    if (!ok) {
        state.SkipWithError("store refused");
    }
}

void BM_StoreGrow(benchmark::State& state) {
    StoreResized(state, true);
}
void BM_StoreShrink(benchmark::State& state) {
    StoreResized(state, false);
}

// What the editor works out after each edit to show the bytes a map would take.
void BM_MeasureStoreTypical(benchmark::State& state) {
    const Grid map = testsupport::RandomGrid(20);
    auto rom = RomWith(map);
    Grid edited = map;
    edited[0] = static_cast<uint8_t>(edited[0] ^ 1);
    bool ok = true;
    for (auto _ : state) {
        ok = worldmap::MeasureStore(*rom, 0, edited).status == worldmap::StoreStatus::Stored && ok;
    }
    if (!ok) {
        state.SkipWithError("would not fit");
    }
}

// The same figure as the editor keeps it: one cell painted in an open stroke, then the
// budget, which re-codes only that cell's row. A different row each time.
void BM_DocumentPaintBudget(benchmark::State& state) {
    auto rom = RomWith(testsupport::RandomGrid(20));
    edit::MapDocument doc(*rom);
    doc.BeginStroke();
    int y = 0;
    bool ok = true;
    for (auto _ : state) {
        const edit::Cell cell{y % 256, y};
        doc.SetSelectedTile(doc.At(cell) ^ 1);
        doc.LiftStroke();
        ok = doc.PaintTo(cell).any() && ok;
        ok = doc.Budget().status == worldmap::StoreStatus::Stored && ok;
        y = (y + 97) % 256;
    }
    doc.EndStroke();
    const worldmap::StoreReport want = worldmap::MeasureStore(*rom, 0, doc.MapGrid());
    if (!ok || doc.Budget().newSize != want.newSize) {
        state.SkipWithError("paint refused or budget differs from MeasureStore");
    }
}

constexpr edit::Rect WholeMap{{0, 0}, {255, 255}};

// A one-tile map, filled with the other of two tiles each time: the fill always takes
// every cell, and no reset is needed between runs.
void BM_FloodFillWholeMap(benchmark::State& state) {
    auto grid = std::make_unique<Grid>(testsupport::Filled(0));
    uint8_t tile = 0;
    for (auto _ : state) {
        tile ^= 1;
        benchmark::DoNotOptimize(edit::FloodFill(*grid, {128, 128}, tile));
        benchmark::ClobberMemory();
    }
}

void BM_FillRectWholeMap(benchmark::State& state) {
    auto grid = std::make_unique<Grid>(testsupport::Filled(0));
    uint8_t tile = 0;
    for (auto _ : state) {
        tile ^= 1;
        benchmark::DoNotOptimize(edit::FillRect(*grid, WholeMap, tile));
        benchmark::ClobberMemory();
    }
}

// The same through the document, with the undo step it records; the undo that keeps the
// history from growing is not timed.
template <typename Op> void DocumentEdit(benchmark::State& state, Op op) {
    auto rom = testsupport::RomBuilder().Build(); // every map all tile 0
    edit::MapDocument doc(*rom);
    bool ok = true;
    for (auto _ : state) {
        ok = op(doc).all() && ok;
        state.PauseTiming();
        doc.Undo();
        state.ResumeTiming();
    }
    if (!ok) {
        state.SkipWithError("not every row changed");
    }
}

void BM_DocumentFloodFill(benchmark::State& state) {
    DocumentEdit(state, [](edit::MapDocument& doc) { return doc.FloodFill({128, 128}, 1); });
}
void BM_DocumentFillRect(benchmark::State& state) {
    DocumentEdit(state, [](edit::MapDocument& doc) { return doc.FillRect(WholeMap, 1); });
}

void BM_RenderTiles(benchmark::State& state) {
    std::mt19937 rng(5);
    auto randomBytes = [&](std::size_t n) {
        std::vector<uint8_t> bytes(n);
        for (uint8_t& b : bytes) {
            b = static_cast<uint8_t>(rng());
        }
        return bytes;
    };
    auto rom = testsupport::RomBuilder()
                   .Poke(0x10, randomBytes(0x500))
                   .Poke(0x1650, randomBytes(0x30))
                   .Poke(0x14C10, randomBytes(0x2000))
                   .Build();
    for (int i = 0; i < 64; ++i) {
        rom->ColourTable[i] = static_cast<uint32_t>(rng()) & 0xFFFFFF;
    }
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    for (auto _ : state) {
        gfx::RenderMetatileSet(*rom, 3, *tiles);
        benchmark::DoNotOptimize(tiles->data());
        benchmark::ClobberMemory();
    }
}

// A sheet in which every tile has one pixel of its top-left quarter in another colour of its
// sub-palette. Shared tiles show shared patterns 0 to 63 and each set's own tiles patterns
// 128 to 191, each pattern in four quarters, so every changed quarter claims a free pattern
// (64 to 127 or 192 to 255). Importing the sheet and then the original back alternate
// between two states, each import changing all 128 tiles.
void BM_TileSheetImport(benchmark::State& state) {
    std::vector<uint8_t> quarters(0x400);
    for (std::size_t i = 0; i < quarters.size(); ++i) {
        const std::size_t t = i % 64;
        const std::size_t k = i / 64 % 4;
        quarters[i] = static_cast<uint8_t>(i < 0x100 ? (t + 16 * k) % 64 : 128 + (4 * t + k) % 64);
    }
    auto rom = testsupport::RomBuilder().NoiseGraphics(11).Poke(0x10, quarters).Build();
    auto original = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(*rom, 1, *original);
    auto edited = std::make_unique<gfx::MetatilePixels>(*original);
    const tiles::TileModel model(*rom);
    for (int t = 0; t < 128; ++t) {
        uint32_t& pixel = (*edited)[static_cast<std::size_t>(t)][0];
        for (int v = 0; v < 4 && pixel == (*original)[static_cast<std::size_t>(t)][0]; ++v) {
            pixel = rom->ColourTable[model.PaletteEntry(1, 4 * model.SubPalette(1, t) + v) & 0x3F];
        }
    }
    bool ok = true;
    bool back = false;
    for (auto _ : state) {
        const tiles::ImportReport report =
            tiles::ImportTileSheet(*rom, 1, back ? *original : *edited, tiles::ImportMode::Apply);
        ok = ok && report.status == tiles::ImportStatus::Changed && report.changed.all();
        back = !back;
    }
    if (!ok) {
        state.SkipWithError("an import failed or did not change every tile");
    }
}

} // namespace

BENCHMARK(BM_Memcpy64K)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeTypical)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeWorstCase)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CountFreeBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreTypical)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreWorstCase)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreGrow)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreShrink)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderTiles)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MeasureStoreTypical)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DocumentPaintBudget)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloodFillWholeMap)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillRectWholeMap)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DocumentFloodFill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DocumentFillRect)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TileSheetImport)->Unit(benchmark::kMicrosecond);
