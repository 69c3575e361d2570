#include <gtest/gtest.h>

#include <cstring>
#include <memory>

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

TEST(TextTable, EntriesThatAreEasyToGetWrong) {
    auto rom = TableRom();
    EXPECT_EQ(text::TextOf(*rom, 0x51), " I");
    EXPECT_EQ(text::TextOf(*rom, 0x29), "Th");
    EXPECT_EQ(text::TextOf(*rom, 0x5B), " y");
    EXPECT_EQ(text::TextOf(*rom, 0x76), "I'");
    EXPECT_EQ(text::TextOf(*rom, 0x8A), "A");
    EXPECT_EQ(text::TextOf(*rom, 0xA3), "Z");
    EXPECT_EQ(text::TextOf(*rom, 0xA4), "a");
    EXPECT_EQ(text::TextOf(*rom, 0xBD), "z");
    EXPECT_EQ(text::TextOf(*rom, 0xC3), "..");
    EXPECT_EQ(text::TextOf(*rom, 0xC9), "..");
    EXPECT_EQ(text::TextOf(*rom, 0xCA), "\"");
    EXPECT_EQ(text::TextOf(*rom, 0xCB), "\"");
    EXPECT_EQ(text::TextOf(*rom, 0xD0), "i");
    EXPECT_EQ(text::TextOf(*rom, 0xD4), "il");
    EXPECT_EQ(text::TextOf(*rom, 0xFF), " ");
    // A one-character slot keeps its terminator; a three-character entry keeps two.
    EXPECT_EQ(rom->TextTable[0xC0][1], 0);
    EXPECT_EQ(std::memcmp(rom->TextTable[0xC9], "..", 2), 0);
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

} // namespace
