#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "tests/support/RomBuilder.h"
#include "worldmap/MapLayout.h"
#include "worldmap/WorldMap.h"

using testsupport::Grid;
using testsupport::RandomGrid;
using testsupport::RomBuilder;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Row(std::initializer_list<std::pair<int, int>> runs) {
    Bytes row;
    for (auto [tile, count] : runs) {
        row.insert(row.end(), static_cast<std::size_t>(count), static_cast<uint8_t>(tile));
    }
    return row;
}

Grid Decode(const CRomImage& rom, int mapId) {
    Grid g(testsupport::GridCells);
    worldmap::DecodeWorldMap(rom, mapId, g.data());
    return g;
}

void SetRow(Grid& g, int y, uint8_t tile) {
    std::memset(&g[static_cast<std::size_t>(y) * 256], tile, 256);
}

// Row y: tile y % 120 in its left half, 120 + y / 120 in its right half. 256 distinct rows
// of 4 bytes each.
Grid SplitGrid() {
    Grid g(testsupport::GridCells);
    for (std::size_t y = 0; y < 256; ++y) {
        std::memset(&g[y * 256], static_cast<int>(y % 120), 128);
        std::memset(&g[y * 256 + 128], static_cast<int>(120 + y / 120), 128);
    }
    return g;
}

TEST(RowCoder, RunsLiteralsAndTheSentinel) {
    const std::pair<Bytes, Bytes> cases[] = {
        {Row({{5, 256}}), {0x85, 0x00}},
        {Row({{0, 256}}), {0x80, 0x00}},
        {Row({{0, 255}, {3, 1}}), {0x80, 0xFF, 0x03}},
        {Row({{7, 255}, {0, 1}}), {0x87, 0xFF, 0x00}},
        {Row({{0, 1}, {1, 2}, {0, 253}}), {0x00, 0x81, 0x02, 0x80, 0xFD}},
        {Row({{127, 1}, {126, 1}, {0, 254}}), {0x7F, 0x7E, 0x80, 0xFE}},
    };
    for (const auto& [row, coded] : cases) {
        uint8_t out[256];
        EXPECT_EQ(Bytes(out, out + worldmap::EncodeRow(row.data(), out)), coded);
    }
}

// Rows 3, 7 and 9 become equal to row 100 (and 228): all share row 3's copy, stored 4th.
TEST(RowCoder, DuplicateRowsShareTheFirstEqualRowsPointer) {
    Grid g = testsupport::StripedGrid(0);
    for (int y : {3, 7, 9}) {
        SetRow(g, y, 100);
    }
    Bytes out(worldmap::MaxEncodedSize);
    uint16_t p[256];
    EXPECT_EQ(worldmap::EncodeWorldMap(g.data(), 0x800, out.data(), p), 2 * 128);
    EXPECT_EQ(p[3], 0x800 + 6);
    EXPECT_EQ(p[4], 0x800 + 8);
    for (int y : {7, 9, 100, 228}) {
        EXPECT_EQ(p[y], p[3]) << y;
    }
}

// A run of length 0 is 256 tiles, and a row ends at its 256th tile even inside a run. Row 2
// is map 3's only stored row, so the free count starts after its second length byte.
TEST(Decoding, RunsLengthZeroAndOverlongRows) {
    const uint32_t last = 0x13410 - 102;
    auto rom = RomBuilder()
                   .FreeBytes(100)
                   .Poke(0x13000, {0x85, 0x00})
                   .Poke(0x13010, {0x80, 0x01, 0x8A, 0xFF})
                   .Poke(last, {0x82, 200, 0x83, 100})
                   .Word(0xD010, 0x13000 - 0xD010)
                   .Word(0xD012, 0x13010 - 0xD010)
                   .Word(0xD014, last - 0xD010)
                   .Build();
    const Grid g = Decode(*rom, 0);
    EXPECT_EQ(Bytes(g.begin(), g.begin() + 256), Row({{5, 256}}));
    EXPECT_EQ(Bytes(g.begin() + 256, g.begin() + 512), Row({{0, 1}, {10, 255}}));
    EXPECT_EQ(Bytes(g.begin() + 512, g.begin() + 768), Row({{2, 200}, {3, 56}}));
    EXPECT_EQ(worldmap::CountFreeBytes(*rom), 98);
}

struct StoreCase {
    std::unique_ptr<CRomImage> rom;
    Bytes before;
    bool Unchanged() const { return std::memcmp(rom->RomBytes, before.data(), RomFileSize) == 0; }
};

StoreCase Built(const RomBuilder& b) {
    StoreCase c{b.Build(), {}};
    c.before.assign(c.rom->RomBytes, c.rom->RomBytes + RomFileSize);
    return c;
}

// The maps after the stored one move by the size change, byte for byte. Growing moves the
// free bytes up with them; shrinking leaves nothing but zeros after the data.
TEST(Store, FollowingMapsMoveByTheSizeChange) {
    for (int delta : {10, -10}) {
        RomBuilder b;
        b.Map(0, RandomGrid(3)).Map(1, SplitGrid()).Map(2, RandomGrid(4)).Map(3, RandomGrid(5));
        b.FreeBytes(50).Poke(0x13410 - 30, {1, 2, 3, 4, 5});
        StoreCase c = Built(b);
        Grid g = SplitGrid();
        for (int y = 0; y < 10; ++y) {
            if (delta > 0) {
                g[static_cast<std::size_t>(y) * 256] = 119; // 4 bytes to 5
            } else if (y < 5) {
                SetRow(g, y, static_cast<uint8_t>(y)); // 4 bytes to 2
            }
        }
        ASSERT_TRUE(worldmap::StoreWorldMap(*c.rom, 1, g.data(), 50)) << delta;
        const uint32_t next = b.MapStart(2);
        const uint8_t* now = c.rom->RomBytes;
        if (delta > 0) {
            EXPECT_EQ(std::memcmp(now + next + 10, &c.before[next], 0x13400 - next), 0);
        } else {
            EXPECT_EQ(std::memcmp(now + next - 10, &c.before[next], b.DataEnd() - next), 0);
            EXPECT_TRUE(std::all_of(now + b.DataEnd() - 10, now + 0x13410,
                                    [](uint8_t v) { return v == 0; }));
        }
        EXPECT_EQ(worldmap::CountFreeBytes(*c.rom), 50 - delta);
        EXPECT_EQ(Decode(*c.rom, 1), g);
    }
}

TEST(Store, FitTestTakesEveryFreeByteAndNotOneMore) {
    Grid g = SplitGrid();
    g[17 * 256] = 121; // one 4-byte row becomes 5 bytes
    g[18 * 256] = 121;
    g[18 * 256 + 1] = 0; // and one becomes 6 bytes: 3 more in all
    for (int free : {3, 2}) {
        StoreCase c =
            Built(RomBuilder().Map(1, SplitGrid()).Map(2, RandomGrid(11)).FreeBytes(free));
        const auto report = worldmap::StoreWorldMapReport(*c.rom, 1, g.data(), free);
        EXPECT_EQ(report.newSize - report.oldSize, 3);
        if (free == 3) {
            EXPECT_EQ(report.status, worldmap::StoreStatus::Stored);
            EXPECT_EQ(worldmap::CountFreeBytes(*c.rom), 0);
            EXPECT_EQ(Decode(*c.rom, 2), RandomGrid(11));
        } else {
            EXPECT_EQ(report.status, worldmap::StoreStatus::DoesNotFit);
            EXPECT_TRUE(c.Unchanged());
        }
    }
}

// The old size is what the map takes in the image, not what the editor would code it to.
TEST(Store, UnchangedMapIsRecodedTheEditorsWay) {
    const Grid g = RandomGrid(12, 200); // stored with runs of at most 100, so longer
    StoreCase c = Built(RomBuilder().Map(2, g).Coding({100, true}).FreeBytes(10));
    ASSERT_TRUE(worldmap::StoreWorldMap(*c.rom, 2, Decode(*c.rom, 2).data(), 10));
    EXPECT_GT(worldmap::CountFreeBytes(*c.rom), 10);
    EXPECT_EQ(Decode(*c.rom, 2), g);
    EXPECT_EQ(Decode(*c.rom, 3), testsupport::UniformGrid(0));
}

TEST(Store, RefusesStaleFreeCountsTilesAbove127AndNegativeIds) {
    StoreCase c = Built(RomBuilder().Map(1, RandomGrid(18)).FreeBytes(100));
    Grid g = RandomGrid(19);
    EXPECT_EQ(worldmap::StoreWorldMapReport(*c.rom, 1, g.data(), 101).status,
              worldmap::StoreStatus::BadLayout);
    EXPECT_FALSE(worldmap::StoreWorldMap(*c.rom, -1, g.data(), 100));
    EXPECT_TRUE(worldmap::StoreWorldMap(*c.rom, 4, g.data(), 100)); // no such map: nothing to do
    g[12345] = 128;
    EXPECT_EQ(worldmap::StoreWorldMapReport(*c.rom, 1, g.data(), 100).status,
              worldmap::StoreStatus::BadTile);
    EXPECT_TRUE(c.Unchanged());
    EXPECT_TRUE(worldmap::CheckLayout(*c.rom).empty());
}

// Each broken region is refused for the map named, with the image left as it was, and the
// layout check says what is wrong.
TEST(Store, RefusesLayoutsItCannotRewriteSafely) {
    RomBuilder b;
    b.Map(0, RandomGrid(14)).Map(1, RandomGrid(15)).Map(2, RandomGrid(16)).Map(3, RandomGrid(17));
    const auto image = b.FreeBytes(300).Build();
    auto rel = [](uint32_t at) { return static_cast<uint16_t>(at - 0xD010); };
    uint16_t last = 0; // map 3's last stored row
    for (uint32_t at = 0xD610; at < 0xD810; at += 2) {
        last = std::max(last, image->ReadWord(at));
    }
    const struct {
        const char* what;
        int mapId;
        std::function<void(RomBuilder&)> breakIt;
    } cases[] = {
        {"row 0 of map 2 in the tables", 1, [](RomBuilder& r) { r.Word(0xD410, 0x100); }},
        {"row 0 of map 0 past the region", 0, [](RomBuilder& r) { r.Word(0xD010, 0x6400); }},
        {"a pointer of map 3 into map 2", 2,
         [&](RomBuilder& r) { r.Word(0xD610 + 20, rel(b.MapStart(2))); }},
        {"a pointer of map 2 into the free bytes", 0,
         [&](RomBuilder& r) { r.Word(0xD410 + 20, rel(b.DataEnd() + 5)); }},
        {"a row of map 0 running into map 1", 1,
         [&](RomBuilder& r) { r.Word(0xD010 + 10, rel(b.MapStart(1) - 1)); }},
        {"a row of map 0 in the tables", 2, [](RomBuilder& r) { r.Word(0xD010 + 10, 0x100); }},
        {"maps out of order", 3, [&](RomBuilder& r) { r.Word(0xD210, rel(b.MapStart(2) + 1)); }},
        {"map 0 ends before it starts", 0,
         [&](RomBuilder& r) { r.Word(0xD210, rel(b.MapStart(0) - 1)); }},
        {"map 3 ends past the region", 3, [](RomBuilder& r) { r.Word(0xD610 + 20, 0x6400 - 1); }},
        // Map 3's last stored row becomes a run of 255 and a literal; a row starting one
        // byte earlier reads that run's first byte as a length and runs on past it.
        {"a row of map 3 running into the free bytes", 0,
         [&](RomBuilder& r) {
             r.Poke(0xD010 + last - 1u, {0x85, 0x90, 0xFF, 0x05}).Word(0xD610 + 10, last - 1);
         }},
    };
    for (const auto& [name, mapId, breakIt] : cases) {
        RomBuilder broken = b;
        breakIt(broken);
        StoreCase c = Built(broken);
        EXPECT_FALSE(worldmap::CheckLayout(*c.rom).empty()) << name;
        const Grid g = testsupport::UniformGrid(1);
        EXPECT_FALSE(
            worldmap::StoreWorldMap(*c.rom, mapId, g.data(), worldmap::CountFreeBytes(*c.rom)))
            << name;
        EXPECT_TRUE(c.Unchanged()) << name;
    }
}

} // namespace
