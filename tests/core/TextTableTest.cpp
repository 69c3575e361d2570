#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "text/TextTable.h"

namespace {

std::unique_ptr<CRomImage> TableRom() {
    auto rom = std::make_unique<CRomImage>();
    text::BuildTextTable(*rom);
    return rom;
}

// Every slot of the table: the listed entries as written down here, all others empty.
// A slot holds two bytes, so a one-character entry keeps its terminator.
TEST(TextTable, EverySlotHoldsItsEntryAndNothingElse) {
    std::map<int, std::string> want;
    const std::string pairs = "Th an ar as at ea ed en er es gh ha he in is it ld le me ne on or "
                              "ou ow re st th to us ve d_ e_ f_ g_ o_ s_ t_ _a _b _c _I _d _f _h "
                              "_m _o _p _s _t _w _y";
    for (int b = 0x29; b <= 0x5B; ++b) {
        std::string pair = pairs.substr(3 * static_cast<std::size_t>(b - 0x29), 2);
        std::replace(pair.begin(), pair.end(), '_', ' ');
        want[b] = pair;
    }
    for (int i = 0; i < 26; ++i) {
        want[0x8A + i] = std::string(1, static_cast<char>('A' + i));
        want[0xA4 + i] = std::string(1, static_cast<char>('a' + i));
    }
    want.insert({{0x76, "I'"}, {0x7A, "'d"}, {0x7B, "'l"}, {0x7C, "'r"}, {0x7D, "'s"},
                 {0x7E, "'t"}, {0x7F, "'v"}, {0xBE, "'"},  {0xBF, "'"},  {0xC0, ","},
                 {0xC1, "."},  {0xC2, "-"},  {0xC3, ".."}, {0xC4, "!"},  {0xC5, "?"},
                 {0xC6, "%"},  {0xC7, "/"},  {0xC8, ":"},  {0xC9, ".."}, {0xCA, "\""},
                 {0xCB, "\""}, {0xCD, "il"}, {0xCE, "li"}, {0xCF, "ll"}, {0xD0, "i"},
                 {0xD1, "li"}, {0xD2, "ll"}, {0xD3, "l"},  {0xD4, "il"}, {0xFF, " "}});
    ASSERT_EQ(want.size(), 256u - 123u);
    auto rom = TableRom();
    for (int b = 0; b < 256; ++b) {
        const std::string entry = want.count(b) ? want[b] : "";
        EXPECT_EQ(std::string(rom->TextTable[b], 2), (entry + std::string(2, '\0')).substr(0, 2))
            << std::hex << b;
        EXPECT_EQ(text::TextOf(*rom, static_cast<uint8_t>(b)), entry) << std::hex << b;
    }
}

// Names in general are checked through the name list; here the end of the image.
TEST(NameDecoding, ANameRunningIntoTheEndOfTheRomEndsThereAndSoDoTheOnesAfterIt) {
    auto rom = TableRom();
    rom->RomBytes[RomFileSize - 2] = 0x8A;
    rom->RomBytes[RomFileSize - 1] = 0x8B;
    EXPECT_EQ(text::DecodeNames(*rom, RomFileSize - 2, 3),
              (std::vector<std::string>{"AB", "", ""}));
}

} // namespace
