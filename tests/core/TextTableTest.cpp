#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "tests/support/RomBuilder.h"
#include "text/EnemyData.h"
#include "text/TextTable.h"

namespace {

std::unique_ptr<CRomImage> TableRom() {
    auto rom = std::make_unique<CRomImage>();
    text::BuildTextTable(*rom);
    return rom;
}

std::vector<std::string> Decode(CRomImage& rom, std::initializer_list<uint8_t> bytes, int count,
                                uint32_t at = 0x3D475) {
    std::size_t i = 0;
    for (uint8_t b : bytes) {
        rom.RomBytes[at + i++] = b;
    }
    return text::DecodeNames(rom, at, count);
}

TEST(TextTable, EveryListedEntry) {
    auto rom = TableRom();
    const char* const pairs =
        "Th an ar as at ea ed en er es gh ha he in is it ld le me ne on or ou ow re st th to "
        "us ve d_ e_ f_ g_ o_ s_ t_ _a _b _c _I _d _f _h _m _o _p _s _t _w _y";
    for (int b = 0x29; b <= 0x5B; ++b) {
        std::string want(pairs + 3 * (b - 0x29), 2);
        std::replace(want.begin(), want.end(), '_', ' ');
        EXPECT_EQ(text::TextOf(*rom, static_cast<uint8_t>(b)), want) << std::hex << b;
    }
    const std::pair<int, const char*> others[] = {
        {0x76, "I'"}, {0x7A, "'d"}, {0x7B, "'l"}, {0x7C, "'r"}, {0x7D, "'s"}, {0x7E, "'t"},
        {0x7F, "'v"}, {0xBE, "'"},  {0xBF, "'"},  {0xC0, ","},  {0xC1, "."},  {0xC2, "-"},
        {0xC4, "!"},  {0xC5, "?"},  {0xC6, "%"},  {0xC7, "/"},  {0xC8, ":"},  {0xCD, "il"},
        {0xCE, "li"}, {0xCF, "ll"}, {0xD1, "li"}, {0xD2, "ll"}, {0xD3, "l"},  {0xC3, ".."},
        {0xC9, ".."}, {0xCA, "\""}, {0xCB, "\""}, {0xD0, "i"},  {0xD4, "il"}, {0xFF, " "},
    };
    for (auto [b, want] : others) {
        EXPECT_EQ(text::TextOf(*rom, static_cast<uint8_t>(b)), want) << std::hex << b;
    }
    // A one-character slot keeps its terminator; the three full stops of 0xC9 keep two.
    EXPECT_EQ(rom->TextTable[0xC0][1], 0);
    EXPECT_EQ(std::memcmp(rom->TextTable[0xC9], "..", 2), 0);
    for (int i = 0; i < 26; ++i) {
        EXPECT_EQ(text::TextOf(*rom, static_cast<uint8_t>(0x8A + i)),
                  std::string(1, static_cast<char>('A' + i)));
        EXPECT_EQ(text::TextOf(*rom, static_cast<uint8_t>(0xA4 + i)),
                  std::string(1, static_cast<char>('a' + i)));
    }
}

TEST(TextTable, EmptyEntriesNumber123) {
    auto rom = TableRom();
    int empty = 0;
    for (int b = 0; b < 256; ++b) {
        if (rom->TextTable[b][0] == 0) {
            EXPECT_EQ(rom->TextTable[b][1], 0) << b;
            ++empty;
        }
    }
    EXPECT_EQ(empty, 123);
    for (int b : {0x00, 0x28, 0x5C, 0x75, 0x77, 0x79, 0x80, 0x89, 0xCC, 0xD5, 0xFE}) {
        EXPECT_EQ(text::TextOf(*rom, static_cast<uint8_t>(b)), "") << b;
    }
}

TEST(NameDecoding, PairsEmptyBytesAndEmptyNames) {
    auto rom = TableRom();
    EXPECT_EQ(Decode(*rom, {0x90, 0xB2, 0xA5, 0xAF, 0x36, 0x00}, 1),
              std::vector<std::string>{"Goblin"});
    EXPECT_EQ(Decode(*rom, {0x9D, 0x35, 0x01, 0x8A, 0x00}, 1), std::vector<std::string>{"TheA"});
    EXPECT_EQ(Decode(*rom, {0x00, 0x8A, 0x00}, 2), (std::vector<std::string>{"", "A"}));
    EXPECT_TRUE(Decode(*rom, {0x8A, 0x00}, 0).empty());
    EXPECT_TRUE(Decode(*rom, {0x8A, 0x00}, -3).empty());
}

TEST(NameDecoding, NameRunningIntoTheEndOfTheRomEndsThere) {
    auto rom = TableRom();
    const uint32_t at = RomFileSize - 2;
    auto names = Decode(*rom, {0x8A, 0x8B}, 3, at);
    EXPECT_EQ(names, (std::vector<std::string>{"AB", "", ""}));
}

TEST(EnemyData, FieldsFollowTheRecordGoldAndExpTables) {
    auto rom = testsupport::RomBuilder()
                   .EnemyName(0, "Goblin")
                   .EnemyName(213, "Last one")
                   .EnemyRecord(
                       0, {0xFF, 0x34, 0x12, 0x0A, 0x00, 0xFF, 1, 2, 3, 0x10, 0xAB, 4, 5, 6, 7, 8})
                   .Gold(0, 10000)
                   .Exp(1, 0x0102)
                   .EnemyRecord(213, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})
                   .Gold(213, 65535)
                   .Exp(213, 7)
                   .Build();
    ASSERT_TRUE(rom);
    const auto fields = text::EnemyFieldTexts(*rom, 0);
    const std::pair<int, const char*> want[] = {
        {1007, "255"}, {1002, "4660"}, {1008, "A"},  {1009, "0"},     {1010, "FF"}, {1011, "1"},
        {1012, "2"},   {1013, "3"},    {1014, "16"}, {1017, "AB"},    {1018, "4"},  {1019, "5"},
        {1020, "6"},   {1021, "7"},    {1022, "8"},  {1023, "10000"}, {1024, "0"},
    };
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(fields[i].controlId, want[i].first);
        EXPECT_EQ(fields[i].text, want[i].second) << want[i].first;
    }
    EXPECT_EQ(rom->RomBytes[0x21D94], 0x02);
    EXPECT_EQ(text::ReadEnemy(*rom, 1).exp, 0x0102);
    const auto enemies = text::ReadEnemies(*rom);
    ASSERT_EQ(enemies.size(), 214u);
    EXPECT_EQ(enemies[0].name, "Goblin");
    EXPECT_EQ(enemies[1].name, "");
    EXPECT_EQ(enemies[213].name, "Last one");
    EXPECT_EQ(enemies[213].record[15], 16);
    EXPECT_EQ(enemies[213].gold, 65535);
    EXPECT_EQ(enemies[213].exp, 7);
}

} // namespace
