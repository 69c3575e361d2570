#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "tests/support/MapGrids.h"
#include "tests/support/RomBuilder.h"
#include "worldmap/MapLayout.h"
#include "worldmap/WorldMap.h"

using namespace testsupport;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Row(std::initializer_list<std::pair<int, int>> runs) {
    Bytes row;
    for (auto [tile, count] : runs) {
        row.insert(row.end(), static_cast<std::size_t>(count), static_cast<uint8_t>(tile));
    }
    return row;
}

// Coding: runs, literals and a whole row's run as length 0; equal rows share the first
// one's copy. Decoding: a row ends at its 256th tile even inside a run, and map 3's only
// stored row (also map 0's last row here) ends the data after its second length byte.
TEST(RowCode, RunsLiteralsTheSentinelSharedRowsAndOverlongRows) {
    const std::pair<Bytes, Bytes> cases[] = {
        {Row({{5, 256}}), {0x85, 0x00}},
        {Row({{0, 255}, {3, 1}}), {0x80, 0xFF, 0x03}},
        {Row({{0, 1}, {1, 2}, {0, 253}}), {0x00, 0x81, 0x02, 0x80, 0xFD}},
        {Row({{127, 1}, {126, 1}, {0, 254}}), {0x7F, 0x7E, 0x80, 0xFE}},
    };
    for (const auto& [row, coded] : cases) {
        uint8_t out[256];
        EXPECT_EQ(Bytes(out, out + worldmap::EncodeRow(
                                       std::span<const uint8_t, 256>(row.data(), 256), out)),
                  coded);
    }
    // Rows 3, 7 and 9 become equal to row 100 (and 228): all share row 3's copy, stored 4th.
    Grid g = StripedGrid(0);
    for (std::size_t y : {3, 7, 9}) {
        std::fill_n(&g[y * 256], 256, 100);
    }
    Bytes out(worldmap::MaxEncodedSize);
    uint16_t p[256];
    EXPECT_EQ(worldmap::EncodeWorldMap(g, 0x800, out.data(), p), 2 * 128);
    EXPECT_EQ(p[4], 0x800 + 8);
    for (int y : {3, 7, 9, 100, 228}) {
        EXPECT_EQ(p[y], 0x800 + 6) << y;
    }

    auto rom = RomBuilder()
                   .FreeBytes(100)
                   .Poke(0x13010, {0x80, 0x01, 0x8A, 0xFF})
                   .Poke(0x13410 - 102, {0x82, 200, 0x83, 100})
                   .Word(0xD010, 0x13010 - 0xD010)
                   .Word(0xD010 + 510, 0x13410 - 102 - 0xD010)
                   .Build();
    const Grid d = Decode(*rom, 0);
    EXPECT_EQ(Bytes(d.begin(), d.begin() + 256), Row({{0, 1}, {10, 255}}));
    EXPECT_EQ(Bytes(d.end() - 256, d.end()), Row({{2, 200}, {3, 56}}));
    EXPECT_EQ(worldmap::CountFreeBytes(*rom), 98);
}

// Map 1, one stored row of 2 bytes, gains a row of 3: 3 more bytes fit 3 free, not 2. A
// store leaves the image our own builder lays out for the maps it holds then.
TEST(Store, TheFitTestTakesEveryFreeByteAndNotOneMore) {
    Grid g{};
    g[0] = 127;
    for (int free : {3, 2}) {
        RomBuilder b;
        b.Map(2, RandomGrid(11));
        auto rom = RomBuilder(b).FreeBytes(free).Build();
        const auto report = worldmap::StoreWorldMapReport(*rom, 1, g);
        EXPECT_EQ(report.newSize - report.oldSize, 3);
        EXPECT_EQ(report.status,
                  free == 3 ? worldmap::StoreStatus::Stored : worldmap::StoreStatus::DoesNotFit);
        const auto want = free == 3 ? b.Map(1, g).FreeBytes(0).Build() : b.FreeBytes(free).Build();
        EXPECT_EQ(Image(*rom), Image(*want));
    }
}

// The old size is what the map takes in the image, not what the editor would code it to:
// storing unchanged a map coded with runs of at most 100 frees bytes.
TEST(Store, UnchangedMapIsRecodedTheEditorsWay) {
    const Grid g = RandomGrid(12, 200);
    auto rom = RomBuilder().Map(2, g).Coding({100, true}).FreeBytes(10).Build();
    ASSERT_TRUE(worldmap::StoreWorldMap(*rom, 2, Decode(*rom, 2), 10));
    EXPECT_GT(worldmap::CountFreeBytes(*rom), 10);
    EXPECT_EQ(Decode(*rom, 2), g);
}

// Each broken region (a pointer at `at` set to file offset `to`, which may get bytes of its
// own) is refused for the map named, with the image left as it was, and the layout check
// says what is wrong.
TEST(Store, RefusesLayoutsItCannotRewriteSafely) {
    RomBuilder b;
    b.Map(0, RandomGrid(14)).Map(1, RandomGrid(15)).Map(2, RandomGrid(16)).Map(3, RandomGrid(17));
    const auto image = b.FreeBytes(300).Build();
    uint32_t last = 0; // map 3's last stored row
    for (uint32_t at = 0xD610; at < 0xD810; at += 2) {
        last = std::max(last, 0xD010u + image->ReadWord(at));
    }
    const std::tuple<const char*, int, uint32_t, uint32_t, Bytes> cases[] = {
        {"row 0 of map 2 in the tables", 1, 0xD410, 0xD110, {}},
        {"row 0 of map 0 past the region", 0, 0xD010, 0x13410, {}},
        {"a pointer of map 3 into map 2", 2, 0xD610 + 20, b.MapStart(2), {}},
        {"a pointer of map 2 into the free bytes", 0, 0xD410 + 20, 0x13410 - 295, {}},
        {"a row of map 0 running into map 1", 1, 0xD010 + 10, b.MapStart(1) - 1, {}},
        {"a row of map 0 in the tables", 2, 0xD010 + 10, 0xD110, {}},
        {"maps out of order", 3, 0xD210, b.MapStart(2) + 1, {}},
        {"map 0 ends before it starts", 0, 0xD210, b.MapStart(0) - 1, {}},
        {"map 3 ends past the region", 3, 0xD610 + 20, 0x1340F, {}},
        // Map 3's last stored row becomes a run of 255 and a literal; a row starting one
        // byte earlier reads that run's first byte as a length and runs on past it.
        {"a row of map 3 into the free bytes", 0, 0xD610 + 10, last - 1, {0x85, 0x90, 0xFF, 0x05}},
    };
    const Grid g = testsupport::Filled(1);
    for (const auto& [what, mapId, at, to, there] : cases) {
        auto rom =
            RomBuilder(b).Word(at, static_cast<uint16_t>(to - 0xD010)).Poke(to, there).Build();
        const Bytes before = Image(*rom);
        EXPECT_FALSE(worldmap::CheckLayout(*rom).empty()) << what;
        EXPECT_FALSE(worldmap::StoreWorldMap(*rom, mapId, g, worldmap::CountFreeBytes(*rom)))
            << what;
        EXPECT_EQ(Image(*rom), before) << what;
    }
}

// A painter's change: a rectangle of one tile (down to one cell) or a whole new map.
void Edit(Grid& g, std::mt19937& rng) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    const int x = pick(256), y = pick(256);
    if (pick(3) > 0) {
        const int w = std::min(1 + pick(64), 256 - x), h = 1 + pick(16);
        const uint8_t tile = static_cast<uint8_t>(pick(128));
        for (int yy = y; yy < std::min(256, y + h); ++yy) {
            std::fill_n(g.begin() + yy * 256 + x, w, tile);
        }
    } else {
        g = RandomGrid(rng(), 1 + x % 60, y % 90, 1 + (x + y) % 30);
    }
}

// Random maps count their free bytes right. A store of a random edit to a random map is
// refused for a stale free count, a tile above 127 or a negative id; its dry run reports
// what the store then reports and writes nothing; otherwise the store is either
// refused because it does not fit, leaving every byte, or stored: then every map decodes
// back, the free count moves by the size change, and the image is byte for byte the one our
// own builder lays out for the maps and free bytes now (maps back to back from the same
// start, each pointer inside its own map's data, zeros after map 3's data).
TEST(StoreProperties, RandomEditSequencesKeepTheLayoutAndLoseNothing) {
    int outcomes[2] = {0, 0}; // refused, stored: both must occur to mean anything
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        std::mt19937 rng(seed);
        Grid maps[4];
        RomBuilder b;
        for (int m = 0; m < 4; ++m) {
            b.Map(m, maps[m] = RandomGrid(rng(), 20 + 15 * m, 50, 8));
        }
        int free = static_cast<int>(rng() % 400);
        auto rom = b.FreeBytes(free).Build();
        ASSERT_TRUE(rom);
        ASSERT_EQ(worldmap::CountFreeBytes(*rom), free);
        for (int step = 0; step < 20; ++step) {
            SCOPED_TRACE(::testing::Message() << "step " << step);
            const int m = static_cast<int>(rng() % 4);
            Grid edited = maps[m];
            Edit(edited, rng);
            Grid bad = edited;
            bad[static_cast<std::size_t>(step)] = 128;
            const Bytes before = Image(*rom);
            ASSERT_FALSE(worldmap::StoreWorldMap(*rom, m, edited, free + 1));
            ASSERT_EQ(worldmap::StoreWorldMapReport(*rom, m, bad).status,
                      worldmap::StoreStatus::BadTile);
            ASSERT_FALSE(worldmap::StoreWorldMap(*rom, -1, edited, free));
            ASSERT_EQ(worldmap::MeasureStore(*rom, m, bad).status, worldmap::StoreStatus::BadTile);
            const auto measured = worldmap::MeasureStore(*rom, m, edited);
            ASSERT_EQ(Image(*rom), before);
            const auto report = worldmap::StoreWorldMapReport(*rom, m, edited);
            ASSERT_EQ(
                std::tuple(measured.status, measured.newSize, measured.oldSize, measured.available),
                std::tuple(report.status, report.newSize, report.oldSize, report.available));
            const int delta = report.newSize - report.oldSize;
            ++outcomes[report.status == worldmap::StoreStatus::Stored];
            if (report.status != worldmap::StoreStatus::Stored) {
                ASSERT_EQ(report.status, worldmap::StoreStatus::DoesNotFit);
                ASSERT_GT(delta, free);
                ASSERT_EQ(Image(*rom), before);
                continue;
            }
            free -= delta;
            b.Map(m, maps[m] = edited);
            ASSERT_EQ(worldmap::CountFreeBytes(*rom), free);
            ASSERT_EQ(Image(*rom), Image(*b.FreeBytes(free).Build()));
            ASSERT_TRUE(worldmap::CheckLayout(*rom).empty());
            for (int k = 0; k < 4; ++k) {
                ASSERT_EQ(Decode(*rom, k), maps[k]) << "map " << k;
            }
        }
    }
    EXPECT_GT(outcomes[0], 200);
    EXPECT_GT(outcomes[1], 250);
}

} // namespace
