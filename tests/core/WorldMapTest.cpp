#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/support/RomBuilder.h"
#include "worldmap/MapLayout.h"
#include "worldmap/WorldMap.h"

using testsupport::Grid;
using testsupport::RomBuilder;

namespace {

std::vector<uint8_t> CodeRow(const std::vector<uint8_t>& row) {
    uint8_t out[256];
    return {out, out + worldmap::EncodeRow(row.data(), out)};
}

std::vector<uint8_t> Row(std::initializer_list<std::pair<int, int>> runs) {
    std::vector<uint8_t> row;
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

uint16_t Pointer(const CRomImage& rom, int mapId, int row) {
    return rom.ReadWord(0xD010 + 0x200 * static_cast<uint32_t>(mapId) +
                        2 * static_cast<uint32_t>(row));
}

// Row y: tile y % 120 in its left half, 120 + y / 120 in its right half. 256 distinct rows
// of 4 bytes each.
Grid SplitGrid() {
    Grid g(testsupport::GridCells);
    for (int y = 0; y < 256; ++y) {
        std::memset(&g[static_cast<std::size_t>(y) * 256], y % 120, 128);
        std::memset(&g[static_cast<std::size_t>(y) * 256 + 128], 120 + y / 120, 128);
    }
    return g;
}

void SetRow(Grid& g, int y, uint8_t tile) {
    std::memset(&g[static_cast<std::size_t>(y) * 256], tile, 256);
}

TEST(RowCoder, RunsLiteralsAndTheSentinel) {
    EXPECT_EQ(CodeRow(Row({{5, 256}})), (std::vector<uint8_t>{0x85, 0x00}));
    EXPECT_EQ(CodeRow(Row({{0, 256}})), (std::vector<uint8_t>{0x80, 0x00}));
    EXPECT_EQ(CodeRow(Row({{0, 255}, {3, 1}})), (std::vector<uint8_t>{0x80, 0xFF, 0x03}));
    EXPECT_EQ(CodeRow(Row({{7, 255}, {0, 1}})), (std::vector<uint8_t>{0x87, 0xFF, 0x00}));
    EXPECT_EQ(CodeRow(Row({{0, 1}, {1, 2}, {0, 253}})),
              (std::vector<uint8_t>{0x00, 0x81, 0x02, 0x80, 0xFD}));

    std::vector<uint8_t> alternating(256);
    for (int x = 0; x < 256; ++x) {
        alternating[static_cast<std::size_t>(x)] = static_cast<uint8_t>(x % 2 == 0 ? 0 : 127);
    }
    EXPECT_EQ(CodeRow(alternating), alternating);
}

TEST(RowCoder, DuplicateRowsShareTheFirstEqualRowsPointer) {
    Grid g = testsupport::UniformGrid(9);
    std::vector<uint8_t> out(worldmap::MaxEncodedSize);
    uint16_t pointers[256];
    EXPECT_EQ(worldmap::EncodeWorldMap(g.data(), 0x1234, out.data(), pointers), 2);
    for (uint16_t p : pointers) {
        EXPECT_EQ(p, 0x1234);
    }

    g = testsupport::StripedGrid(0);
    SetRow(g, 3, 100);
    SetRow(g, 7, 100);
    SetRow(g, 9, 100);
    worldmap::EncodeWorldMap(g.data(), 0x800, out.data(), pointers);
    EXPECT_EQ(pointers[3], 0x800 + 6);
    EXPECT_EQ(pointers[7], pointers[3]);
    EXPECT_EQ(pointers[9], pointers[3]);
    EXPECT_EQ(pointers[4], 0x800 + 8);
}

TEST(Decoding, RunsLengthZeroAndOverlongRows) {
    RomBuilder b;
    b.Poke(0x13000, {0x85, 0x00})
        .Poke(0x13010, {0x80, 0x01, 0x8A, 0xFF})
        .Poke(0x13020, {0x82, 200, 0x83, 100, 0x7F})
        .Word(0xD010, 0x13000 - 0xD010)
        .Word(0xD012, 0x13010 - 0xD010)
        .Word(0xD014, 0x13020 - 0xD010);
    auto rom = b.Build();
    ASSERT_TRUE(rom);
    Grid g = Decode(*rom, 0);
    EXPECT_EQ(std::vector<uint8_t>(g.begin(), g.begin() + 256), Row({{5, 256}}));
    EXPECT_EQ(std::vector<uint8_t>(g.begin() + 256, g.begin() + 512), Row({{0, 1}, {10, 255}}));
    EXPECT_EQ(std::vector<uint8_t>(g.begin() + 512, g.begin() + 768), Row({{2, 200}, {3, 56}}));
}

TEST(FreeBytes, MeasuredFromTheRowStoredLast) {
    // Map 3's rows repeat earlier ones, so its last stored row is not row 255.
    Grid g = testsupport::StripedGrid(40);
    for (int free : {0, 1, 777}) {
        auto rom = RomBuilder().Map(3, g).FreeBytes(free).Build();
        ASSERT_TRUE(rom);
        EXPECT_EQ(worldmap::CountFreeBytes(*rom), free);
        EXPECT_EQ(Pointer(*rom, 3, 255), Pointer(*rom, 3, 127));
    }

    // An overlong last row: the walk stops just after the second run's length byte.
    auto rom = RomBuilder().FreeBytes(100).Build();
    const uint32_t last = 0x13410 - 100 - 2; // map 3's single stored row
    rom->RomBytes[last] = 0x82;
    rom->RomBytes[last + 1] = 200;
    rom->RomBytes[last + 2] = 0x83;
    rom->RomBytes[last + 3] = 100;
    EXPECT_EQ(worldmap::CountFreeBytes(*rom), 98);
}

struct StoreCase {
    std::unique_ptr<CRomImage> rom;
    std::vector<uint8_t> before;
    uint32_t starts[4];
    uint32_t dataEnd;
};

StoreCase Built(RomBuilder& b) {
    StoreCase c;
    c.rom = b.Build();
    c.before.assign(c.rom->RomBytes, c.rom->RomBytes + RomFileSize);
    for (int m = 0; m < 4; ++m) {
        c.starts[m] = b.MapStart(m);
    }
    c.dataEnd = b.DataEnd();
    return c;
}

bool Unchanged(const StoreCase& c) {
    return std::memcmp(c.rom->RomBytes, c.before.data(), RomFileSize) == 0;
}

TEST(Store, ShrinkMovesTheFollowingMapsDownAndZeroesTheTail) {
    RomBuilder b;
    b.Map(0, testsupport::RandomGrid(3)).Map(1, SplitGrid()).Map(2, testsupport::RandomGrid(4));
    b.Map(3, testsupport::RandomGrid(5)).FreeBytes(50).FreeFill(0xEE);
    StoreCase c = Built(b);
    Grid g = SplitGrid();
    for (int y = 0; y < 5; ++y) {
        SetRow(g, y, static_cast<uint8_t>(y)); // 4 bytes to 2
    }
    ASSERT_TRUE(worldmap::StoreWorldMap(*c.rom, 1, g.data(), 50));
    const uint8_t* now = c.rom->RomBytes;
    EXPECT_EQ(std::memcmp(now + c.starts[2] - 10, &c.before[c.starts[2]], c.dataEnd - c.starts[2]),
              0);
    for (uint32_t at = c.dataEnd - 10; at < 0x13410; ++at) {
        ASSERT_EQ(now[at], 0) << std::hex << at;
    }
    for (uint32_t at = 0xD410; at < 0xD810; at += 2) {
        ASSERT_EQ(c.rom->ReadWord(at),
                  static_cast<uint16_t>(c.before[at] + 256 * c.before[at + 1] - 10));
    }
    EXPECT_EQ(std::memcmp(now, c.before.data(), 0xD210), 0);
    EXPECT_EQ(std::memcmp(now + 0xD810, &c.before[0xD810], c.starts[1] - 0xD810), 0);
    EXPECT_EQ(worldmap::CountFreeBytes(*c.rom), 60);
    EXPECT_EQ(Decode(*c.rom, 1), g);
    EXPECT_EQ(Decode(*c.rom, 3), testsupport::RandomGrid(5));
}

TEST(Store, GrowMovesTheFollowingMapsAndTheFreeBytesUp) {
    RomBuilder b;
    b.Map(0, SplitGrid()).Map(1, testsupport::RandomGrid(6)).Map(3, testsupport::RandomGrid(7));
    b.FreeBytes(40).Poke(0x13410 - 30, {1, 2, 3, 4, 5});
    StoreCase c = Built(b);
    Grid g = SplitGrid();
    for (int y = 0; y < 10; ++y) {
        g[static_cast<std::size_t>(y) * 256] = 119; // 4 bytes to 5
    }
    ASSERT_TRUE(worldmap::StoreWorldMap(*c.rom, 0, g.data(), 40));
    const uint8_t* now = c.rom->RomBytes;
    EXPECT_EQ(std::memcmp(now + c.starts[1] + 10, &c.before[c.starts[1]], 0x13400 - c.starts[1]),
              0);
    for (uint32_t at = 0xD210; at < 0xD810; at += 2) {
        ASSERT_EQ(c.rom->ReadWord(at),
                  static_cast<uint16_t>(c.before[at] + 256 * c.before[at + 1] + 10));
    }
    EXPECT_EQ(worldmap::CountFreeBytes(*c.rom), 30);
    EXPECT_EQ(Decode(*c.rom, 0), g);
    EXPECT_EQ(Decode(*c.rom, 3), testsupport::RandomGrid(7));
}

TEST(Store, MapThreeTouchesOnlyItsOwnTable) {
    RomBuilder b;
    b.Map(2, testsupport::RandomGrid(8)).Map(3, testsupport::RandomGrid(9)).FreeBytes(500);
    b.Poke(0x13410 - 20, {9, 8, 7});
    StoreCase c = Built(b);
    Grid g = testsupport::RandomGrid(10);
    ASSERT_TRUE(worldmap::StoreWorldMap(*c.rom, 3, g.data(), 500));
    EXPECT_EQ(std::memcmp(c.rom->RomBytes, c.before.data(), 0xD610), 0);
    EXPECT_EQ(std::memcmp(c.rom->RomBytes + 0xD810, &c.before[0xD810], c.starts[3] - 0xD810), 0);
    const int delta = 500 - worldmap::CountFreeBytes(*c.rom);
    EXPECT_NE(delta, 0);
    if (delta > 0) {
        EXPECT_EQ(std::memcmp(c.rom->RomBytes + 0x13410 - 20 + delta, &c.before[0x13410 - 20], 3),
                  0);
    }
    EXPECT_EQ(Decode(*c.rom, 3), g);
}

TEST(Store, FitTestTakesEveryFreeByteAndNotOneMore) {
    Grid g = SplitGrid();
    g[17 * 256] = 121; // one 4-byte row becomes 5 bytes
    g[18 * 256] = 121;
    g[18 * 256 + 1] = 0; // and one becomes 6 bytes: 3 more in all
    for (int free : {3, 2}) {
        RomBuilder b;
        b.Map(1, SplitGrid()).Map(2, testsupport::RandomGrid(11)).FreeBytes(free);
        StoreCase c = Built(b);
        const auto report = worldmap::StoreWorldMapReport(*c.rom, 1, g.data(), free);
        EXPECT_EQ(report.newSize - report.oldSize, 3);
        if (free == 3) {
            EXPECT_EQ(report.status, worldmap::StoreStatus::Stored);
            EXPECT_EQ(worldmap::CountFreeBytes(*c.rom), 0);
            EXPECT_EQ(Decode(*c.rom, 2), testsupport::RandomGrid(11));
        } else {
            EXPECT_EQ(report.status, worldmap::StoreStatus::DoesNotFit);
            EXPECT_TRUE(Unchanged(c));
        }
    }
}

TEST(Store, UnchangedMapIsRecodedTheEditorsWay) {
    // Stored with runs of at most 100 tiles, so the editor's coding is shorter.
    Grid g = testsupport::RandomGrid(12, 200);
    RomBuilder b;
    b.Map(2, g).Coding({100, true}).FreeBytes(10);
    StoreCase c = Built(b);
    Grid decoded = Decode(*c.rom, 2);
    ASSERT_EQ(decoded, g);
    ASSERT_TRUE(worldmap::StoreWorldMap(*c.rom, 2, decoded.data(), 10));
    EXPECT_GT(worldmap::CountFreeBytes(*c.rom), 10);
    EXPECT_EQ(Decode(*c.rom, 2), g);
    EXPECT_EQ(Decode(*c.rom, 3), testsupport::UniformGrid(0));
}

TEST(Store, IdsPastTheLastMapDoNothing) {
    RomBuilder b;
    StoreCase c = Built(b);
    Grid g = testsupport::RandomGrid(13);
    EXPECT_TRUE(worldmap::StoreWorldMap(*c.rom, 4, g.data(), worldmap::CountFreeBytes(*c.rom)));
    EXPECT_FALSE(worldmap::StoreWorldMap(*c.rom, -1, g.data(), worldmap::CountFreeBytes(*c.rom)));
    EXPECT_TRUE(Unchanged(c));
}

// Each broken region is refused for the map named, with the image left as it was, and the
// layout check says what is wrong.
TEST(Store, RefusesLayoutsItCannotRewriteSafely) {
    struct Broken {
        const char* what;
        int mapId;
        void (*breakIt)(CRomImage&, const RomBuilder&);
    };
    const Broken cases[] = {
        {"row 0 of map 2 in the tables", 1,
         [](CRomImage& r, const RomBuilder&) { r.WriteWord(0xD410, 0x100); }},
        {"row 0 of map 0 past the region", 0,
         [](CRomImage& r, const RomBuilder&) { r.WriteWord(0xD010, 0x6400); }},
        {"a pointer of map 3 into map 2", 2,
         [](CRomImage& r, const RomBuilder& b) {
             r.WriteWord(0xD610 + 20, static_cast<uint16_t>(b.MapStart(2) - 0xD010));
         }},
        {"a pointer of map 2 into the free bytes", 0,
         [](CRomImage& r, const RomBuilder& b) {
             r.WriteWord(0xD410 + 20, static_cast<uint16_t>(b.DataEnd() + 5 - 0xD010));
         }},
        {"a row of map 0 running into map 1", 1,
         [](CRomImage& r, const RomBuilder& b) {
             r.WriteWord(0xD010 + 10, static_cast<uint16_t>(b.MapStart(1) - 1 - 0xD010));
         }},
        {"a row of map 3 running into the free bytes", 0,
         [](CRomImage& r, const RomBuilder&) {
             // The last stored row is a run of 255 and a literal; a row starting one byte
             // earlier reads its first byte as a length and runs on past it.
             uint16_t last = 0;
             for (int row = 0; row < 256; ++row) {
                 last = std::max(last, r.ReadWord(0xD610 + 2 * static_cast<uint32_t>(row)));
             }
             const uint32_t at = 0xD010 + last;
             r.RomBytes[at - 1] = 0x85;
             r.RomBytes[at] = 0x90;
             r.RomBytes[at + 1] = 0xFF;
             r.RomBytes[at + 2] = 0x05;
             r.WriteWord(0xD610 + 10, static_cast<uint16_t>(last - 1));
         }},
        {"a row of map 0 in the tables", 2,
         [](CRomImage& r, const RomBuilder&) { r.WriteWord(0xD010 + 10, 0x100); }},
        {"maps out of order", 3,
         [](CRomImage& r, const RomBuilder&) { r.WriteWord(0xD210, r.ReadWord(0xD410) + 1); }},
        {"map 3 ends past the region", 3,
         [](CRomImage& r, const RomBuilder&) {
             for (uint32_t at = 0xD610; at < 0xD810; at += 2) {
                 r.WriteWord(at, 0x6400 - 1);
             }
         }},
        {"map 0 ends before it starts", 0,
         [](CRomImage& r, const RomBuilder&) { r.WriteWord(0xD210, r.ReadWord(0xD010) - 1); }},
    };
    for (const Broken& broken : cases) {
        RomBuilder b;
        b.Map(0, testsupport::RandomGrid(14)).Map(1, testsupport::RandomGrid(15));
        b.Map(2, testsupport::RandomGrid(16)).Map(3, testsupport::RandomGrid(17)).FreeBytes(300);
        StoreCase c = Built(b);
        broken.breakIt(*c.rom, b);
        c.before.assign(c.rom->RomBytes, c.rom->RomBytes + RomFileSize);
        EXPECT_FALSE(worldmap::CheckLayout(*c.rom).empty()) << broken.what;
        Grid g = testsupport::UniformGrid(1);
        EXPECT_FALSE(worldmap::StoreWorldMap(*c.rom, broken.mapId, g.data(),
                                             worldmap::CountFreeBytes(*c.rom)))
            << broken.what;
        EXPECT_TRUE(Unchanged(c)) << broken.what;
    }
}

TEST(Store, RefusesAStaleFreeCountAndTilesAbove127) {
    RomBuilder b;
    b.Map(1, testsupport::RandomGrid(18)).FreeBytes(100);
    StoreCase c = Built(b);
    Grid g = testsupport::RandomGrid(19);
    EXPECT_EQ(worldmap::StoreWorldMapReport(*c.rom, 1, g.data(), 101).status,
              worldmap::StoreStatus::BadLayout);
    g[12345] = 128;
    EXPECT_EQ(worldmap::StoreWorldMapReport(*c.rom, 1, g.data(), 100).status,
              worldmap::StoreStatus::BadTile);
    EXPECT_TRUE(Unchanged(c));
    EXPECT_TRUE(worldmap::CheckLayout(*c.rom).empty());
}

} // namespace
