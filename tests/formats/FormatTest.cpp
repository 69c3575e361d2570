// The formats on their own: grid CSV, Tiled's TMX and the editor's recovery file.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <tuple>
#include <zstd.h>

#include "formats/GridCsv.h"
#include "formats/Recovery.h"
#include "formats/Tmx.h"
#include "tests/support/RomBuilder.h"
#include "tests/support/TmxForms.h"
#include "worldmap/WorldMap.h"

namespace {

using namespace testsupport::tmx;
using testsupport::Grid;

const auto npos = std::string::npos;
const formats::Fault BadData = formats::Fault::BadData;

TEST(GridCsv, WritesLinesOfNumbersAndReadsThemBackInLooserForms) {
    const Grid grid = testsupport::RandomGrid(1, 1, 0, 128); // every tile, no runs
    // Written: LF line ends and a final newline. Also read: a byte order mark, spaces and tabs
    // around numbers, CRLF, no final newline, and blank lines at the end.
    std::string strict, loose = "\xEF\xBB\xBF";
    for (int i = 0; i < worldmap::GridSize; ++i) {
        const std::string n = std::to_string(grid[static_cast<std::size_t>(i)]);
        strict += n + (i % 256 == 255 ? "\n" : ",");
        loose += (i % 256 ? " ,\t" : " ") + n + (i % 256 < 255 || i == 65535 ? " " : " \r\n");
    }
    EXPECT_EQ(formats::WriteGridCsv(grid), strict);
    for (const std::string& form : {strict, loose, strict + "\n \r\n"}) {
        Grid back{};
        const formats::Result result = formats::ParseGridCsv(form, "map.csv", back);
        ASSERT_TRUE(result.Ok()) << result.message;
        EXPECT_EQ(back, grid);
    }
}

TEST(GridCsv, NamesTheLineAndColumnOfBadData) {
    const std::string good = formats::WriteGridCsv(testsupport::Filled(7));
    const std::string row = good.substr(0, 511);      // each line is 512 bytes with its LF
    const auto third = [&](const std::string& line) { // the good map with its third line replaced
        return std::string(good).replace(1024, 511, line);
    };
    const std::string at = "map.csv: line 3, column ";
    const std::pair<std::string, std::string> cases[] = {
        {third("7,128" + row.substr(3)), at + "3: tile 128 is outside 0 to 127 (cell x 1, y 2)"},
        {third("7,-1" + row.substr(3)), at + "3: tile -1 is outside 0 to 127 (cell x 1, y 2)"},
        {third("7,x" + row.substr(3)), at + "3: not a number (cell x 1, y 2)"},
        {third("7,,7" + row.substr(5)), at + "3: a number is missing (cell x 1, y 2)"},
        {third("7 7" + row.substr(3)), at + "3: not a number (cell x 0, y 2)"},
        {third("7,7"), at + "4: the line has 2 of 256 numbers"},
        {third(row + ",7"), at + "512: the line has more than 256 numbers"},
        {good.substr(0, 255 * 512),
         "map.csv: line 256, column 1: the file ends after 255 of 256 lines"},
        {good + row + "\n", "map.csv: line 257, column 1: more than 256 lines"},
        {"", "map.csv: line 1, column 1: the file ends after 0 of 256 lines"},
    };
    // A refused file leaves the caller's grid as it was, though its first lines were good.
    const Grid before = testsupport::Filled(9);
    for (const auto& [text, message] : cases) {
        Grid grid = before;
        const formats::Result result = formats::ParseGridCsv(text, "map.csv", grid);
        EXPECT_EQ(std::pair(result.fault, result.message), std::pair(BadData, message));
        EXPECT_EQ(grid, before);
    }
}

TEST(GridCsv, ReadsBlocksInTheSameLooseFormsAndNamesBadData) {
    const auto blockOf = [](const std::string& text) {
        edit::Block block;
        const formats::Result result = formats::ParseBlockCsv(text, "b.csv", block);
        EXPECT_TRUE(result.Ok()) << result.message;
        return std::tuple(block.width, block.height, block.tiles);
    };
    using Tiles = std::vector<uint8_t>;
    EXPECT_EQ(blockOf("1,2,3\n4,5,6\n"), std::tuple(3, 2, Tiles{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(blockOf("\xEF\xBB\xBF 1 ,\t2\r\n3,4"), std::tuple(2, 2, Tiles{1, 2, 3, 4}));
    EXPECT_EQ(blockOf("127\n\n \r\n"), std::tuple(1, 1, Tiles{127}));
    const Grid whole = testsupport::RandomGrid(2, 1, 0, 128);
    EXPECT_EQ(blockOf(formats::WriteGridCsv(whole)),
              std::tuple(256, 256, Tiles(whole.begin(), whole.end())));

    std::string wide = "1", tall = "1\n";
    for (int i = 0; i < 256; ++i) {
        wide += ",1";
        tall += "1\n";
    }
    const std::pair<std::string, std::string> cases[] = {
        {"1,2\n3\n", "line 2, column 2: the line has 1 of 2 numbers"},
        {"1,2\n3,4,5\n", "line 2, column 4: the line has more than 2 numbers"},
        {"1\n\n2\n", "line 2, column 1: a number is missing (cell x 0, y 1)"},
        {"", "line 1, column 1: the file holds no tile numbers"},
        {" \r\n\n", "line 1, column 1: the file holds no tile numbers"},
        {wide, "line 1, column 512: the line has more than 256 numbers"},
        {tall, "line 257, column 1: more than 256 lines"},
    };
    for (const auto& [text, message] : cases) {
        edit::Block block{1, 1, {5}}; // what the caller held stays
        const formats::Result result = formats::ParseBlockCsv(text, "b.csv", block);
        EXPECT_EQ(std::pair(result.fault, result.message), std::pair(BadData, "b.csv: " + message));
        EXPECT_EQ(std::tuple(block.width, block.height, block.tiles), std::tuple(1, 1, Tiles{5}));
    }
}

TEST(Tmx, ReadsWhatWeWriteAndEveryEncodingThroughTheTilesetsFirstGid) {
    const Grid grid = testsupport::RandomGrid(4, 1, 0, 128);
    const std::string ours = formats::WriteTmx(grid, "sheet & co.png", "Water World Map");
    EXPECT_NE(ours.find("<image source=\"sheet &amp; co.png\" width=\"256\" height=\"128\"/>"),
              npos);
    // The others hold tiles of our tileset at first gid 200, beside a second one no cell uses.
    const std::string tilesets = "<tileset firstgid=\"200\" source=\"t.tsx\"/>\n"
                                 "<tileset firstgid=\"328\" source=\"u.tsx\"/>\n";
    std::vector<std::string> texts{ours};
    for (int form = 0; form < FormCount; ++form) {
        texts.push_back(Map(Data(GidsOf(grid, 200), static_cast<Form>(form)), tilesets));
    }
    for (const std::string& text : texts) {
        Grid back{};
        const formats::Result result = formats::ParseTmx(text, "map.tmx", back);
        ASSERT_TRUE(result.Ok()) << result.message;
        EXPECT_EQ(back, grid);
    }
}

TEST(Tmx, RefusesCellsItCannotStore) {
    // Cell (3, 2) is on line 8: the <data> tag is on line 5 and row 0 follows it.
    const auto withCell = [](uint32_t gid, uint32_t others = 1) {
        Gids gids(worldmap::GridSize, others);
        gids[2 * 256 + 3] = gid;
        return gids;
    };
    const std::string at = "map.tmx: line 8, column 7: cell x 3, y 2: ";
    const std::pair<std::string, std::string> cells[] = {
        {Map(CsvData(withCell(0))), at + "the cell is empty"},
        {Map(CsvData(withCell(0x80000001u))), at + "the tile is flipped or rotated"},
        {Map(CsvData(withCell(0x20000001u))), at + "the tile is flipped or rotated"},
        {Map(CsvData(withCell(129))), at + "tile 128 is outside 0 to 127"},
        {Map(Base64Data(Packed(withCell(0)))), "map.tmx: line 5: cell x 3, y 2: the cell is empty"},
        // Only the map's first tileset holds our tiles; a cell of any other is refused.
        {Map(CsvData(withCell(134)),
             "<tileset firstgid=\"1\"/><tileset firstgid=\"129\" source=\"u.tsx\"/>\n"),
         at + "gid 134 belongs to the tileset u.tsx (firstgid 129), not to the map's first "
              "tileset (firstgid 1)"},
        {Map(CsvData(withCell(134)), "<tileset firstgid=\"1\"/><tileset firstgid=\"129\" name=\"" +
                                         std::string(60, 'n') + "\"/>\n"),
         at + "gid 134 belongs to the tileset " + std::string(40, 'n') +
             "... (firstgid 129), not to the map's first tileset (firstgid 1)"},
        {Map(CsvData(withCell(1, 2)), "<tileset firstgid=\"2\"/><tileset firstgid=\"1\"/>\n"),
         at + "gid 1 belongs to the tileset with firstgid 1, not to the map's first tileset "
              "(firstgid 2)"},
    };
    // The cells before the bad one were good: the caller's grid is still left as it was.
    const Grid before = testsupport::Filled(9);
    Grid grid = before;
    for (const auto& [text, message] : cells) {
        const formats::Result result = formats::ParseTmx(text, "map.tmx", grid);
        EXPECT_EQ(std::pair(result.fault, result.message), std::pair(BadData, message));
        EXPECT_EQ(grid, before);
    }
}

// A binary layer is four bytes a cell: a few bytes short or over, in any compression, is bad
// data naming where the data starts and what it held.
TEST(Tmx, BinaryDataOfTheWrongLengthIsRefused) {
    const std::string packed = Packed(Gids(worldmap::GridSize, 1));
    for (const std::string compression : {"", "zlib", "gzip", "zstd"}) {
        const std::string attribute =
            compression.empty() ? "" : " compression=\"" + compression + "\"";
        const std::string at =
            "map.tmx: line 5, column " +
            std::to_string(std::string("<data encoding=\"base64\">").size() + attribute.size()) +
            ": the layer's data holds ";
        for (int change : {-1, -2, -3, -4, 1, 4}) {
            const std::string raw =
                change < 0 ? packed.substr(0, packed.size() - static_cast<std::size_t>(-change))
                           : packed + std::string(static_cast<std::size_t>(change), '\1');
            const std::string message =
                change < 0 ? at + std::to_string(raw.size()) +
                                 " bytes, not 262144 (4 for each of 65536 cells)"
                           : at + "more than 262144 bytes (4 for each of 65536 cells)";
            Grid grid{};
            const formats::Result result = formats::ParseTmx(
                Map(Base64Data(Compressed(raw, compression), compression)), "map.tmx", grid);
            EXPECT_EQ(std::pair(result.fault, result.message), std::pair(BadData, message));
        }
    }
}

// As the zstd command line compresses a stream of unknown size: one frame with no content
// size, whose window is 2^windowLog bytes.
std::string ZstdStream(const std::string& raw, int windowLog) {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, windowLog);
    std::string out(ZSTD_compressBound(raw.size()) + 64, '\0');
    ZSTD_outBuffer output{out.data(), out.size(), 0};
    ZSTD_inBuffer input{raw.data(), raw.size(), 0};
    ZSTD_compressStream2(context, &output, &input, ZSTD_e_continue);
    ZSTD_inBuffer none{nullptr, 0, 0};
    while (ZSTD_compressStream2(context, &output, &none, ZSTD_e_end) != 0) {
    }
    ZSTD_freeCCtx(context);
    return out.substr(0, output.pos);
}

// Windows up to 8 MiB are read (the command line's default is 2 MiB); a larger one is
// refused naming its size.
TEST(Tmx, ZstdWindowsUpTo8MiBAreRead) {
    const Grid grid = testsupport::RandomGrid(6, 1, 0, 128);
    for (int windowLog : {21, 23, 24}) {
        Grid back{};
        const formats::Result result = formats::ParseTmx(
            Map(Base64Data(ZstdStream(Packed(GidsOf(grid)), windowLog), "zstd")), "map.tmx", back);
        EXPECT_EQ(result.message, windowLog < 24
                                      ? ""
                                      : "map.tmx: line 5, column 43: the layer's zstd data asks "
                                        "for a window of 16 MiB, more than the 8 MiB this reader "
                                        "allows");
        EXPECT_EQ(back, windowLog < 24 ? grid : Grid{});
    }
}

// Malformed maps are refused. Every refusal names a line, and stays one short line whatever
// the input holds: quoted
// pieces are cut at 40 bytes, Qt's own messages too, and control characters (a line break
// in the XML declaration, or one given by a character reference) are shown as \xNN.
TEST(Tmx, RefusesMalformedMapsInOneShortLine) {
    const std::string many(1000, '7'), word(1000, 'x'), cut = std::string(40, 'x') + "...";
    const Gids gids(worldmap::GridSize, 1);
    Gids second = gids;
    second[0] = 200;
    const std::string packed = Packed(gids);
    std::string wide = Map(CsvData(gids)), infinite = wide;
    wide.replace(wide.find("width=\"256\""), 11, "width=\"255\"");
    infinite.replace(infinite.find("infinite=\"0\""), 12, "infinite=\"1\"");
    const std::pair<std::string, std::string> cases[] = {
        {"<map width=\"256\" height=\"256\">", "not well-formed XML"}, // cut short
        {"<tileset/>", "not a Tiled map"},
        {wide, "the map is 255 x 256 cells"},
        {infinite, "an infinite map cannot be imported"},
        {Map(CsvData(gids), ""), "belongs to no tileset"},
        {Map(CsvData(Gids(100, 1))), "the layer holds 100 cells, not 65536"},
        {Map(Base64Data(packed.substr(0, 1000))), "the layer's data holds 1000 bytes"},
        {Map(Base64Data(packed.substr(0, 5000), "zlib")), "zlib data is malformed"},
        {Map(Base64Data(Compressed(packed, "zlib"), "zstd")), "zstd data is malformed"},
        {Map(Base64Data(packed.substr(0, 5000), "zstd")), "zstd data is malformed"},
        {Map(Base64Data(packed, "lzma")), "compression \"lzma\" is not supported"},
        {Map("<data encoding=\"csv\">1,2,x</data>\n"), "not a number"},
        {Map(""), "the first tile layer has no <data>"},
        {Map("<data encoding=\"csv\">" + many + "</data>\n"), std::string(40, '7') + "..."},
        {Map("<data encoding=\"" + word + "\">1</data>\n"), cut},
        {Map("<data encoding=\"base64\" compression=\"" + word + "\">AAAA</data>\n"), cut},
        {Map("<data><" + word + "/></data>\n"), cut},
        {"<" + word + "/>", cut},
        {Map("<data encoding=\"csv\">&" + word + ";</data>\n"), cut},
        {"<" + word + ":map/>", cut},
        // An encoding's name Qt does not quote: its message is cut whole, between characters.
        {"<?xml version=\"1.0\" encoding=\"\xC3\xA9" + word + "\"?><map/>", "x..."},
        {"<?xml version=\"1.0\" encoding=\")U\r\n{TF-8\"?>\n<map/>", ")U\\x0D"},
        {Map("<data encoding=\"csv&#10;\">1</data>\n"), "unknown data encoding \"csv\\x0A\""},
        {Map("<data encoding=\"base64\" compression=\"&#13;z\">AAAA</data>\n"),
         "compression \"\\x0Dz\""},
        {Map(CsvData(second), Tileset + "<tileset firstgid=\"129\" name=\"a&#10;b\"/>\n"),
         "belongs to the tileset a\\x0Ab (firstgid 129)"},
        {"<map width=\"256\" height=\"256\">\n" + Tileset + "\n</map>\n",
         "map.tmx: line 4: the map has no tile layer"},
    };
    Grid grid{};
    for (const auto& [text, shown] : cases) {
        const formats::Result result = formats::ParseTmx(text, "map.tmx", grid);
        EXPECT_EQ(result.fault, BadData);
        EXPECT_EQ(result.message.rfind("map.tmx: line ", 0), 0u) << result.message;
        EXPECT_EQ(result.message.find_first_of("\r\n"), npos) << result.message;
        EXPECT_LT(result.message.size(), 180u) << result.message;
        EXPECT_NE(result.message.find(shown), npos) << result.message;
    }
    // A clipped piece is at most 40 bytes as shown: escapes and UTF-8 characters stay whole.
    EXPECT_EQ(formats::Clip(std::string(39, 'a') + "\xC3\xA9"), std::string(39, 'a') + "...");
    EXPECT_EQ(formats::Clip(std::string(50, '\n')).size(), 43u);
    EXPECT_EQ(formats::Clip("ab\x01"), "ab\\x01");
}

// ----- The recovery file: what it holds, that nothing damaged is taken for it, where it
// lives, and that setting one aside never loses a file -----

using Bytes = std::vector<uint8_t>;

formats::Recovery Sample(bool withGrid, std::size_t tail) {
    formats::Recovery r;
    r.RomPath = "/home/u/game \xC3\xA9.nes";
    r.Stamp = {RomFileSize + tail, 1765000000123456789, 0xDEADBEEF};
    r.EditedMs = 1765000000123;
    r.Image.resize(RomFileSize + tail);
    for (std::size_t i = 0; i < r.Image.size(); ++i) {
        r.Image[i] = static_cast<uint8_t>(i * 7 + i / 251);
    }
    if (withGrid) {
        r.MapId = 3;
        r.Grid.assign(worldmap::GridSize, 0);
        for (std::size_t i = 0; i < r.Grid.size(); ++i) {
            r.Grid[i] = static_cast<uint8_t>((i * 13) & 0x7F);
        }
    }
    return r;
}

bool Same(const formats::Recovery& a, const formats::Recovery& b) {
    const auto fields = [](const formats::Recovery& r) {
        return std::tie(r.RomPath, r.Stamp, r.EditedMs, r.Image, r.MapId, r.Grid);
    };
    return fields(a) == fields(b);
}

TEST(Recovery, HoldsEverythingExactlyAndRefusesAnyDamageOrFieldOutOfRange) {
    for (const auto& [withGrid, tail] :
         {std::pair{true, std::size_t{0}}, {false, std::size_t{5}}}) {
        const formats::Recovery sample = Sample(withGrid, tail);
        const Bytes bytes = formats::EncodeRecovery(sample);
        formats::Recovery back;
        ASSERT_TRUE(formats::DecodeRecovery(bytes, back).Ok());
        EXPECT_TRUE(Same(back, sample));

        // Cut anywhere, or any byte changed (the checksum too), and it is refused with the
        // caller's copy untouched.
        const formats::Recovery untouched = Sample(!withGrid, 3);
        for (std::size_t at : {std::size_t{0}, std::size_t{8}, std::size_t{12}, std::size_t{40},
                               bytes.size() / 2, bytes.size() - 5, bytes.size() - 1}) {
            SCOPED_TRACE(at);
            formats::Recovery out = untouched;
            Bytes flipped = bytes;
            flipped[at] ^= 0x10;
            EXPECT_EQ(formats::DecodeRecovery(flipped, out).fault, formats::Fault::BadData);
            EXPECT_EQ(formats::DecodeRecovery(Bytes(bytes.begin(), bytes.begin() + at), out).fault,
                      formats::Fault::BadData);
            EXPECT_TRUE(Same(out, untouched));
        }
    }
    // Fields out of range are refused even with a good checksum.
    formats::Recovery shortImage = Sample(false, 0), noPath = shortImage, out;
    shortImage.Image.resize(RomFileSize - 1);
    noPath.RomPath.clear();
    EXPECT_FALSE(formats::DecodeRecovery(formats::EncodeRecovery(shortImage), out).Ok());
    EXPECT_FALSE(formats::DecodeRecovery(formats::EncodeRecovery(noPath), out).Ok());
}

TEST(Recovery, LivesInTheUsersStateFolderOnePerPathAndIsSetAsideNeverLost) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString();
    const QByteArray oldState = qgetenv("XDG_STATE_HOME"), oldHome = qgetenv("HOME");
    setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
    EXPECT_EQ(formats::RecoveryFolder(), root + "/state/atlasforge/recovery");
    setenv("XDG_STATE_HOME", "relative", 1); // ignored, as the base directory rules say
    setenv("HOME", root.c_str(), 1);
    EXPECT_EQ(formats::RecoveryFolder(), root + "/.local/state/atlasforge/recovery");
    qputenv("HOME", oldHome), qputenv("XDG_STATE_HOME", oldState); // empty is unset to it

    const std::string folder = root + "/a/b/recovery";
    const std::string file = formats::RecoveryFileFor(folder, "/x/game.nes");
    EXPECT_EQ(file, formats::RecoveryFileFor(folder, "/x/game.nes"));
    EXPECT_NE(file, formats::RecoveryFileFor(folder, "/y/game.nes"));
    ASSERT_TRUE(formats::MakeRecoveryFolder(folder).Ok());
    EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);

    const formats::Recovery sample = Sample(true, 0);
    ASSERT_TRUE(formats::WriteRecovery(file, sample).Ok());
    formats::Recovery back;
    ASSERT_TRUE(formats::ReadRecovery(file, back).Ok());
    EXPECT_TRUE(Same(back, sample));

    // Set aside twice within one second: two names, both files kept whole.
    std::string error;
    const auto first = formats::SetRecoveryAside(file, error);
    ASSERT_TRUE(formats::WriteRecovery(file, Sample(false, 0)).Ok());
    const auto second = formats::SetRecoveryAside(file, error);
    ASSERT_TRUE(first && second) << error;
    EXPECT_NE(*first, *second);
    EXPECT_EQ(first->rfind(file + ".stale-", 0), 0u);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(file)));
    ASSERT_TRUE(formats::ReadRecovery(*first, back).Ok());
    EXPECT_TRUE(Same(back, sample));
    ASSERT_TRUE(formats::ReadRecovery(*second, back).Ok());
    EXPECT_EQ(back.MapId, -1);

    EXPECT_FALSE(formats::ReadRecovery(folder, back).Ok()); // not a regular file
    EXPECT_EQ(formats::ReadRecovery(folder + "/none", back).fault, formats::Fault::File);
}

} // namespace
