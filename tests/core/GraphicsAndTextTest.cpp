#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "gfx/ColourTable.h"
#include "gfx/StandardPalette.h"
#include "gfx/TileRenderer.h"
#include "tests/support/RomBuilder.h"
#include "text/EnemyData.h"
#include "text/TextTable.h"

namespace {

// Three bytes red, green, blue as the table holds them.
uint32_t Rgb(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16;
}

// Records are red, green, blue and bytes past the 192nd are not used. Colours a short file
// does not hold in full, the record it cuts in two among them, come from the standard
// palette, as do all of them when the file cannot be opened (size -1) or read.
TEST(ColourTable, RecordsAreRedGreenBlueAndMissingOnesAreStandard) {
    const std::string path = "/tmp/atlasforge-pal-" + std::to_string(::getpid());
    auto rom = std::make_unique<CRomImage>();
    std::vector<uint8_t> bytes(200);
    std::iota(bytes.begin(), bytes.end(), 1);
    const uint8_t* standard = gfx::StandardPalette().data();
    ASSERT_NE(Rgb(&bytes[99]), Rgb(standard + 99));
    const std::pair<std::string, int> cases[] = {
        {path, 200}, {path, 100}, {path, 2}, {path + "-missing", -1}, {"/tmp", -1}};
    for (const auto& [file, size] : cases) {
        std::fill_n(rom->ColourTable, ColourCount, 0xDEADBEEFu);
        if (size >= 0) {
            ASSERT_TRUE(testsupport::WriteFile(path, bytes.data(), static_cast<std::size_t>(size)));
        }
        EXPECT_EQ(gfx::LoadColourTable(*rom, file), size >= 0) << file << " " << size;
        for (int i = 0; i < static_cast<int>(ColourCount); ++i) {
            const uint8_t* want = 3 * i + 3 <= size ? &bytes[3 * i] : standard + 3 * i;
            ASSERT_EQ(rom->ColourTable[i], Rgb(want)) << file << " " << size << " " << i;
        }
    }
    ::unlink(path.c_str());
}

// The folders come in order (a relative XDG_CONFIG_HOME is ignored, as the XDG rules say),
// and the first that holds a palette.pal as a regular file wins: the working folder's under
// its bare name; a folder or a pipe of that name is passed over without waiting.
TEST(ColourTable, PaletteIsLookedForInTheWorkingFolderThenTheUsersThenTheInstalledOne) {
    using Folders = std::vector<std::string>;
    EXPECT_EQ(gfx::PaletteFolders("/c", "/h", "/usr/bin"),
              (Folders{"", "/c/atlasforge", "/usr/share/atlasforge"}));
    EXPECT_EQ(gfx::PaletteFolders(nullptr, "/h", ""), (Folders{"", "/h/.config/atlasforge"}));
    EXPECT_EQ(gfx::PaletteFolders("rel", "/h", "/opt/af/bin"),
              (Folders{"", "/h/.config/atlasforge", "/opt/af/share/atlasforge"}));
    EXPECT_EQ(gfx::PaletteFolders("", nullptr, ""), Folders{""});

    namespace fs = std::filesystem;
    const fs::path root =
        fs::temp_directory_path() / ("atlasforge-find-" + std::to_string(::getpid()));
    const fs::path work = root / "work", user = root / "user", installed = root / "installed";
    for (const fs::path& folder : {work, user, installed}) {
        fs::create_directories(folder);
    }
    const fs::path oldCwd = fs::current_path();
    fs::current_path(work);
    const auto found = [&] { return gfx::FindPaletteFile({"", user, installed}); };
    // The one in `folder`, now a regular file.
    const auto put = [](const fs::path& folder) {
        fs::remove(folder / "palette.pal");
        EXPECT_TRUE(testsupport::WriteFile(folder / "palette.pal", std::vector<uint8_t>(192)));
        return (folder / "palette.pal").string();
    };
    EXPECT_EQ(found(), std::nullopt);
    const std::string installedOne = put(installed);
    EXPECT_EQ(found(), installedOne);
    fs::create_directory(user / "palette.pal");
    ASSERT_EQ(::mkfifo((work / "palette.pal").c_str(), 0600), 0);
    EXPECT_EQ(found(), installedOne);
    const std::string userOne = put(user);
    EXPECT_EQ(found(), userOne);
    put(work);
    EXPECT_EQ(found(), "palette.pal");
    fs::current_path(oldCwd);
    fs::remove_all(root);
}

// One pattern's 16 bytes: eight rows of the low plane, then eight of the high plane.
std::vector<uint8_t> Planes(uint8_t low, uint8_t high) {
    std::vector<uint8_t> p(16, high);
    std::fill_n(p.begin(), 8, low);
    return p;
}

// Tile 10, below 64 and so shared by every graphics set, takes its quarters from patterns
// 1 to 4 and sub-palette 3. Pattern 1 holds the pixel values 0, 1, 2, 3 across each row,
// patterns 2 to 4 are solid 1, 2, 3. Set 1 gives colour numbers of 64 and more, which show
// by their low six bits. Colour number n shows as 0x0n0n0n.
TEST(Tiles, PlanesQuartersSubPalettesAndGraphicsSets) {
    testsupport::RomBuilder b;
    b.Poke(0x14C10 + 16, Planes(0x55, 0x33)).Poke(0x14C10 + 32, Planes(0xFF, 0));
    b.Poke(0x14C10 + 48, Planes(0, 0xFF)).Poke(0x14C10 + 64, Planes(0xFF, 0xFF));
    b.Poke(0x10 + 10, {1}).Poke(0x50 + 10, {2}).Poke(0x90 + 10, {3}).Poke(0xD0 + 10, {4});
    b.Poke(0x410 + 10, {0x07}); // only the low two bits count
    b.Poke(0x165C, {12, 13, 14, 15}).Poke(0x166C, {0xFF, 0x41, 0x80, 0xC5});
    // Tile 70 is each set's own: pattern 5 in sets 0 and 1, pattern 200 with sub-palette 1
    // in set 2. Pattern 200 is each set's own too, solid 0, 1, 2; tile 3 shows it.
    b.Poke(0x116, {5}).Poke(0x216, {5}).Poke(0x316, {200}).Poke(0x4D6, {1}).Poke(0x13, {200});
    b.Poke(0x1651, {1}).Poke(0x1661, {11}).Poke(0x1676, {22}).Poke(0x14C60, Planes(0xFF, 0));
    b.Poke(0x14C10 + 3200 + 0x800, Planes(0xFF, 0)).Poke(0x14C10 + 3200 + 0x1000, Planes(0, 0xFF));
    for (uint32_t n = 0; n < ColourCount; ++n) {
        b.Colour(static_cast<int>(n), n * 0x010101u);
    }
    auto rom = b.Build();
    auto tiles = std::make_unique<std::array<gfx::MetatilePixels, 4>>();
    for (int m = 0; m < 4; ++m) {
        gfx::RenderMetatileSet(*rom, m, (*tiles)[static_cast<std::size_t>(m)]);
    }
    const uint32_t colours[2][4] = {{12, 13, 14, 15}, {0x3F, 0x01, 0x00, 0x05}};
    for (std::size_t set = 0; set < 2; ++set) {
        gfx::TilePixels want;
        for (std::size_t i = 0; i < want.size(); ++i) {
            const std::size_t quarter = i / 128 * 2 + i % 16 / 8;
            want[i] = colours[set][quarter > 0 ? quarter : i % 4] * 0x010101u;
        }
        EXPECT_EQ((*tiles)[set][10], want) << set;
    }
    const auto& t = *tiles;
    EXPECT_EQ(t[1], t[2]); // maps 1 and 2 share graphics set 1
    EXPECT_EQ(
        (std::vector<uint32_t>{t[0][70][0], t[1][70][0], t[3][70][0], t[0][3][0], t[1][3][0]}),
        (std::vector<uint32_t>{0x010101, 0x0B0B0B, 0x161616, 0, 0x0B0B0B}));
}

// A name running into the end of the image ends there, as do the ones after it. Its bytes
// are the first and last of each group of the text table and the empty ones around them.
TEST(Text, NamesEndAtTheEndOfTheImageAndTheTableHasEveryGroupInPlace) {
    auto rom = testsupport::RomBuilder().Build();
    const uint8_t name[] = {0x28, 0x29, 0x41, 0x5B, 0x5C, 0x76, 0x7A, 0x7F, 0x80, 0x89, 0x8A, 0xA3,
                            0xA4, 0xBD, 0xBE, 0xC3, 0xCB, 0xCC, 0xCD, 0xD4, 0xD5, 0xFE, 0xFF};
    std::copy(std::begin(name), std::end(name), rom->RomBytes + RomFileSize - sizeof name);
    EXPECT_EQ(text::DecodeNames(*rom, RomFileSize - sizeof name, 2),
              (std::vector<std::string>{"Thre yI''d'vAZaz'..\"ilil ", ""}));
}

// The encoder picks the longest slot, so decoding its bytes gives the text back; a character
// without a code fails the whole text.
TEST(Text, EncodedNamesDecodeBackAndUncodableCharactersFail) {
    auto rom = testsupport::RomBuilder().Build();
    text::BuildTextTable(*rom);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(text::EncodeText("The Elder Wyvern's I'd...", bytes));
    EXPECT_EQ(bytes.front(), 0x29); // "Th" in one byte
    bytes.push_back(0);
    std::copy(bytes.begin(), bytes.end(), rom->RomBytes + 0x100);
    EXPECT_EQ(text::DecodeNames(*rom, 0x100, 1).front(), "The Elder Wyvern's I'd...");
    EXPECT_FALSE(text::EncodeText("caf\xC3\xA9", bytes));
    EXPECT_FALSE(text::EncodeText("a#b", bytes));
}

// Values by meaning: hp is bytes 1 and 2 low first; back attack, attack power, gold and
// exp are decimal; every other record byte is upper-case hexadecimal.
TEST(Text, EnemyValuesAndTheirTextsInFieldOrder) {
    text::EnemyInfo e;
    for (std::size_t b = 0; b < e.record.size(); ++b) {
        e.record[b] = static_cast<uint8_t>(0xF0 + b);
    }
    e.record[1] = 0x34;
    e.record[2] = 0x12;
    e.gold = 65535;
    e.exp = 0;
    const auto texts = text::EnemyFieldTexts(e);
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.end()),
              (std::vector<std::string>{"240", "4660", "F3", "F4", "F5", "F6", "F7", "F8", "249",
                                        "FA", "FB", "FC", "FD", "FE", "FF", "65535", "0"}));
}

// Each field set by value lands in its own bytes (hp low byte first), and WriteEnemy puts
// record, gold and exp where ReadEnemy reads them, leaving the name and every other byte.
TEST(Text, EnemyFieldsSetByValueAndWrittenInPlace) {
    auto rom = testsupport::RomBuilder().EnemyName(5, "Imp").Build();
    text::EnemyInfo e = text::ReadEnemy(*rom, 5);
    for (int f = 0; f < text::EnemyFieldCount; ++f) {
        const auto field = static_cast<text::EnemyField>(f);
        text::SetEnemyField(e, field, text::EnemyFieldLargest(field) - f);
        EXPECT_EQ(text::EnemyFieldValue(e, field), text::EnemyFieldLargest(field) - f);
    }
    const std::array<uint8_t, 16> record = {255, 0xFE, 0xFF, 253, 252, 251, 250, 249,
                                            248, 247,  246,  245, 244, 243, 242, 241};
    EXPECT_EQ(e.record, record);
    std::vector<uint8_t> want = testsupport::Image(*rom);
    std::copy(record.begin(), record.end(), want.begin() + 0x60010 + 5 * 16);
    want[0x61C68 + 10] = 0xF0; // gold 65520
    want[0x61C68 + 11] = 0xFF;
    want[0x21D92 + 10] = 0xEF; // exp 65519
    want[0x21D92 + 11] = 0xFF;
    for (int index : {5, -1, text::EnemyCount}) {
        text::WriteEnemy(*rom, index, e);
    }
    EXPECT_EQ(testsupport::Image(*rom), want);
}

} // namespace
