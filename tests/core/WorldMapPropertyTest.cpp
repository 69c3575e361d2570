#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
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
        if (rom.RomBytes[at] < 0x80) {
            tiles += 1;
            at += 1;
        } else {
            tiles += rom.RomBytes[at + 1] == 0 ? 256 : rom.RomBytes[at + 1];
            at += 2;
        }
    }
    return at;
}

// The layout every store must leave: the maps back to back in order from a start that
// never moves, each map's pointers inside its own data, the row with its largest pointer
// ending exactly where the next map starts, and nothing but zeros after map 3's data.
::testing::AssertionResult LayoutHolds(const CRomImage& rom, uint32_t firstStart) {
    uint32_t start[5];
    for (int m = 0; m < 4; ++m) {
        start[m] = Region + Pointer(rom, m, 0);
    }
    if (start[0] != firstStart) {
        return ::testing::AssertionFailure() << "map 0 moved to " << std::hex << start[0];
    }
    for (int m = 0; m < 4; ++m) {
        uint16_t largest = 0;
        for (int r = 0; r < 256; ++r) {
            largest = std::max(largest, Pointer(rom, m, r));
        }
        const uint32_t end = RowEnd(rom, Region + largest);
        start[m + 1] = m < 3 ? start[m + 1] : end;
        if (end != start[m + 1]) {
            return ::testing::AssertionFailure() << "map " << m << " ends at " << std::hex << end
                                                 << ", the next starts at " << start[m + 1];
        }
        for (int r = 0; r < 256; ++r) {
            const uint32_t at = Region + Pointer(rom, m, r);
            if (at < start[m] || at >= start[m + 1]) {
                return ::testing::AssertionFailure() << "map " << m << " row " << r << " outside";
            }
        }
    }
    if (start[4] > RowDataEnd) {
        return ::testing::AssertionFailure() << "data runs past the region";
    }
    for (uint32_t at = start[4]; at < RowDataEnd; ++at) {
        if (rom.RomBytes[at] != 0) {
            return ::testing::AssertionFailure() << "free byte " << std::hex << at << " not zero";
        }
    }
    return ::testing::AssertionSuccess();
}

// A random change of the kind a painter makes: a rectangle of one tile, a row copied over
// another, single cells, or a whole new map.
void Edit(Grid& g, std::mt19937& rng) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    switch (pick(4)) {
    case 0: {
        const int x = pick(256), y = pick(256), w = 1 + pick(64), h = 1 + pick(64);
        const uint8_t tile = static_cast<uint8_t>(pick(128));
        for (int yy = y; yy < std::min(256, y + h); ++yy) {
            for (int xx = x; xx < std::min(256, x + w); ++xx) {
                g[static_cast<std::size_t>(yy * 256 + xx)] = tile;
            }
        }
        break;
    }
    case 1:
        std::memcpy(&g[static_cast<std::size_t>(pick(256)) * 256],
                    &g[static_cast<std::size_t>(pick(256)) * 256], 256);
        break;
    case 2:
        for (int i = 0; i < 1 + pick(40); ++i) {
            g[static_cast<std::size_t>(pick(testsupport::GridCells))] =
                static_cast<uint8_t>(pick(128));
        }
        break;
    default:
        g = testsupport::RandomGrid(rng(), 1 + pick(60), pick(90), 1 + pick(30));
        break;
    }
}

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
        b.FreeBytes(static_cast<int>(rng() % 400));
        auto rom = b.Build();
        ASSERT_TRUE(rom) << "seed " << seed;
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
            ASSERT_TRUE(LayoutHolds(*rom, firstStart));
            ASSERT_TRUE(worldmap::CheckLayout(*rom).empty());
            Grid g(testsupport::GridCells);
            for (int k = 0; k < 4; ++k) {
                worldmap::DecodeWorldMap(*rom, k, g.data());
                ASSERT_EQ(g, maps[k]) << "map " << k;
            }
            // Nothing outside the region changes.
            ASSERT_EQ(std::memcmp(rom->RomBytes, before.data(), Region), 0);
            ASSERT_EQ(std::memcmp(rom->RomBytes + RowDataEnd, before.data() + RowDataEnd,
                                  RomFileSize - RowDataEnd),
                      0);
        }
    }
    // The sequences must exercise both outcomes to mean anything.
    EXPECT_GT(stored, 300);
    EXPECT_GT(refused, 20);
}

// The coder as the format describes it: one step per column and a sentinel after the last.
std::vector<uint8_t> StepwiseCode(const uint8_t* row) {
    std::vector<uint8_t> out;
    int t = 0;
    int n = 0;
    for (int x = 0; x <= 256; ++x) {
        const int v = x < 256 ? row[x] : (t == 0 ? 1 : 0);
        if (v == t) {
            if (++n == 256) {
                out.push_back(static_cast<uint8_t>(t + 0x80));
                out.push_back(0);
                t = 0;
                n = 0;
            }
            continue;
        }
        if (n >= 2) {
            out.push_back(static_cast<uint8_t>(t + 0x80));
            out.push_back(static_cast<uint8_t>(n));
        } else if (n == 1) {
            out.push_back(static_cast<uint8_t>(t));
        }
        t = v;
        n = 1;
    }
    return out;
}

TEST(StoreProperties, RowCoderMatchesTheStepwiseAlgorithm) {
    std::mt19937 rng(99);
    uint8_t out[256];
    for (int i = 0; i < 20000; ++i) {
        // Few tile kinds and long runs as often as short ones, so runs of every length
        // and rows of one tile come up.
        uint8_t row[256];
        const uint32_t kinds = 1 + rng() % (i % 3 == 0 ? 2 : 128);
        const uint32_t maxRun = 1 + rng() % 300;
        for (int x = 0; x < 256;) {
            const uint8_t tile = static_cast<uint8_t>(rng() % kinds);
            for (uint32_t n = 1 + rng() % maxRun; n > 0 && x < 256; --n) {
                row[x++] = tile;
            }
        }
        const int length = worldmap::EncodeRow(row, out);
        ASSERT_EQ(std::vector<uint8_t>(out, out + length), StepwiseCode(row)) << "row " << i;
    }
}

} // namespace
