#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/RomBuilder.h"
#include "worldmap/MapLayout.h"
#include "worldmap/WorldMap.h"

using testsupport::Grid;

namespace {

constexpr uint32_t Region = 0xD010;
constexpr uint32_t RowDataEnd = 0x13410;

uint16_t Pointer(const CRomImage& rom, int mapId, int row) {
    return rom.ReadWord(Region + 0x200 * static_cast<uint32_t>(mapId) +
                        2 * static_cast<uint32_t>(row));
}

// Walks one coded row the way the format defines it; returns the offset just past it.
uint32_t RowEnd(const CRomImage& rom, uint32_t at) {
    for (int tiles = 0; tiles < 256;) {
        const bool run = rom.RomBytes[at] >= 0x80;
        tiles += !run ? 1 : (rom.RomBytes[at + 1] == 0 ? 256 : rom.RomBytes[at + 1]);
        at += run ? 2 : 1;
    }
    return at;
}

// The layout every store must leave, as a problem in words or "": the maps back to back in
// order from a start that never moves, each map's pointers inside its own data, the row
// with its largest pointer ending exactly where the next map starts, and nothing but zeros
// after map 3's data.
std::string LayoutProblem(const CRomImage& rom, uint32_t firstStart) {
    uint32_t start[5] = {firstStart};
    for (int m = 0; m < 4; ++m) {
        uint16_t largest = 0;
        for (int r = 0; r < 256; ++r) {
            largest = std::max(largest, Pointer(rom, m, r));
        }
        const uint32_t end = RowEnd(rom, Region + largest);
        start[m + 1] = m < 3 ? Region + Pointer(rom, m + 1, 0) : end;
        if (Region + Pointer(rom, m, 0) != start[m] || end != start[m + 1]) {
            return "map " + std::to_string(m) + " starts or ends out of place";
        }
        for (int r = 0; r < 256; ++r) {
            const uint32_t at = Region + Pointer(rom, m, r);
            if (at < start[m] || at >= end) {
                return "map " + std::to_string(m) + " row " + std::to_string(r) + " outside";
            }
        }
    }
    if (start[4] > RowDataEnd || std::any_of(rom.RomBytes + start[4], rom.RomBytes + RowDataEnd,
                                             [](uint8_t b) { return b; })) {
        return "map 3 runs past the region or is followed by more than zeros";
    }
    return "";
}

// A random change of the kind a painter makes: a rectangle of one tile (down to a single
// cell), a row copied over another, or a whole new map.
void Edit(Grid& g, std::mt19937& rng) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    const int kind = pick(3);
    if (kind == 0) {
        const int x = pick(256), y = pick(256), w = 1 + pick(64), h = 1 + pick(64);
        const uint8_t tile = static_cast<uint8_t>(pick(128));
        for (int yy = y; yy < std::min(256, y + h); ++yy) {
            std::fill_n(&g[static_cast<std::size_t>(yy * 256 + x)], std::min(w, 256 - x), tile);
        }
    } else if (kind == 1) {
        std::memcpy(&g[static_cast<std::size_t>(pick(256)) * 256],
                    &g[static_cast<std::size_t>(pick(256)) * 256], 256);
    } else {
        g = testsupport::RandomGrid(rng(), 1 + pick(60), pick(90), 1 + pick(30));
    }
}

// Random maps, often with their last rows repeating earlier ones, count their free bytes
// right. Stores of random edits to them: every map decodes back, the free count moves by
// the size change, the layout holds, and nothing before the stored map's data or past the
// region changes. A store that does not fit changes no byte at all.
TEST(StoreProperties, RandomEditSequencesKeepTheLayoutAndLoseNothing) {
    int stored = 0;
    int refused = 0;
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        std::mt19937 rng(seed);
        Grid maps[4];
        testsupport::RomBuilder b;
        for (int m = 0; m < 4; ++m) {
            maps[m] = testsupport::RandomGrid(rng(), 20 + static_cast<int>(rng() % 60), 50, 8);
            b.Map(m, maps[m]);
        }
        const int free = static_cast<int>(rng() % 400);
        auto rom = b.FreeBytes(free).Build();
        ASSERT_TRUE(rom) << "seed " << seed;
        ASSERT_EQ(worldmap::CountFreeBytes(*rom), free) << "seed " << seed;
        const uint32_t firstStart = b.MapStart(0);

        for (int step = 0; step < 20; ++step) {
            const int m = static_cast<int>(rng() % 4);
            Grid edited = maps[m];
            Edit(edited, rng);
            const int freeBefore = worldmap::CountFreeBytes(*rom);
            const std::vector<uint8_t> before(rom->RomBytes, rom->RomBytes + RomFileSize);
            const auto report = worldmap::StoreWorldMapReport(*rom, m, edited.data(), freeBefore);
            SCOPED_TRACE(::testing::Message()
                         << "seed " << seed << " step " << step << " map " << m);
            if (report.status != worldmap::StoreStatus::Stored) {
                ASSERT_EQ(report.status, worldmap::StoreStatus::DoesNotFit);
                ASSERT_GT(report.newSize, freeBefore + report.oldSize);
                ASSERT_EQ(std::memcmp(rom->RomBytes, before.data(), RomFileSize), 0);
                ++refused;
                continue;
            }
            ++stored;
            maps[m] = edited;
            ASSERT_EQ(worldmap::CountFreeBytes(*rom),
                      freeBefore - (report.newSize - report.oldSize));
            ASSERT_EQ(LayoutProblem(*rom, firstStart), "");
            ASSERT_TRUE(worldmap::CheckLayout(*rom).empty());
            Grid g(testsupport::GridCells);
            for (int k = 0; k < 4; ++k) {
                worldmap::DecodeWorldMap(*rom, k, g.data());
                ASSERT_EQ(g, maps[k]) << "map " << k;
            }
            const uint32_t tables = Region + 0x200 * static_cast<uint32_t>(m);
            const uint32_t data = Region + before[tables] + 256u * before[tables + 1];
            ASSERT_EQ(std::memcmp(rom->RomBytes, before.data(), tables), 0);
            ASSERT_EQ(std::memcmp(rom->RomBytes + 0xD810, &before[0xD810], data - 0xD810), 0);
            ASSERT_EQ(std::memcmp(rom->RomBytes + RowDataEnd, &before[RowDataEnd],
                                  RomFileSize - RowDataEnd),
                      0);
        }
    }
    // The sequences must exercise both outcomes to mean anything.
    EXPECT_GT(stored, 300);
    EXPECT_GT(refused, 20);
}

} // namespace
