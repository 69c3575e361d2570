// The tool as users run it: exit codes, messages, files left alone on failure, and maps
// that round-trip through CSV, TMX and the Tiled map editor itself.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>
#include <zstd.h>

#include "demo/DemoRom.h"
#include "edit/GridOps.h"
#include "formats/Bps.h"
#include "formats/GridCsv.h"
#include "formats/Tmx.h"
#include "gfx/StandardPalette.h"
#include "gfx/TileRenderer.h"
#include "tests/support/MapGrids.h"
#include "tests/support/RomBuilder.h"
#include "worldmap/WorldMap.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::Decode;
using testsupport::Grid;
using testsupport::Image;

constexpr auto npos = std::string::npos;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
Bytes ReadBytes(const std::string& path) {
    const std::string text = ReadText(path);
    return {text.begin(), text.end()};
}
template <class Data> void Write(const std::string& path, const Data& data) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
}

QJsonDocument Json(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text));
}

// The demo image, built once.
const CRomImage& DemoRom() {
    static const std::unique_ptr<CRomImage> rom = [] {
        auto made = std::make_unique<CRomImage>();
        demo::BuildDemoRom(*made);
        return made;
    }();
    return *rom;
}

struct RunResult {
    int code = -1;
    std::string out, err;
};

// Each test works in a fresh folder of its own, removed afterwards, holding the demo as
// "rom.nes". The tool's demo is the one built here: the same every time.
class CliCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::current_path(dir_);
        ASSERT_EQ(Run({"demo", "rom.nes"}).code, 0);
        ASSERT_EQ(ReadBytes("rom.nes"), Image(DemoRom()));
    }
    void TearDown() override {
        std::filesystem::current_path(home_);
        std::filesystem::remove_all(dir_);
    }

    // Runs the built tool here. Test arguments hold no quote marks.
    static RunResult Run(const std::vector<std::string>& args) {
        std::string command = "'" ATLASFORGE_CLI "'";
        for (const std::string& a : args) {
            command += " '" + a + "'";
        }
        const int status = std::system((command + " >.out 2>.err").c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(".out"), ReadText(".err")};
    }
    // Runs a command that must fail with `code`, one line on stderr, and the ROM as it was.
    static RunResult Refused(const std::vector<std::string>& args, int code) {
        const Bytes before = ReadBytes("rom.nes");
        RunResult r = Run(args);
        EXPECT_EQ(r.code, code) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(ReadBytes("rom.nes"), before);
        return r;
    }
    // Imports `file` into `map`, which must leave the ROM as `rom` and report its free bytes.
    static void Imports(const std::string& map, const std::string& file, const CRomImage& rom) {
        const RunResult r = Run({"import", "rom.nes", map, file});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find("free bytes: " + std::to_string(worldmap::CountFreeBytes(rom))), npos);
        EXPECT_EQ(ReadBytes("rom.nes"), Image(rom)) << file;
    }

    const std::filesystem::path home_ = std::filesystem::current_path();
    std::string dir_ = [] {
        std::string name = std::filesystem::temp_directory_path() / "atlasforge-cli-XXXXXX";
        return std::string(::mkdtemp(name.data()));
    }();
};

TEST_F(CliCommand, InfoReportsTheLayoutAndABrokenRegionStopsImports) {
    const QJsonObject info = Json(Run({"info", "rom.nes", "--json"}).out).object();
    const int freeBytes = worldmap::CountFreeBytes(DemoRom());
    EXPECT_EQ(info["free_bytes"].toInt(), freeBytes);
    EXPECT_TRUE(info["layout_ok"].toBool() && info["problems"].toArray().isEmpty());
    const QJsonArray maps = info["maps"].toArray();
    ASSERT_EQ(maps.size(), 4);
    EXPECT_EQ(maps[0].toObject()["name"].toString(), "Floating World Map");
    int end = 0xD810; // each map starts where the one before ends
    for (const auto& map : maps) {
        EXPECT_EQ(map.toObject()["start"].toInt(), end);
        end = map.toObject()["end"].toInt();
        EXPECT_EQ(map.toObject()["size"].toInt(), end - map.toObject()["start"].toInt());
    }
    EXPECT_EQ(end, 0x13410 - freeBytes);
    const std::string text = Run({"info", "rom.nes"}).out;
    EXPECT_NE(text.find("Free bytes: " + std::to_string(freeBytes) + "\nLayout: OK\n"), npos);

    Write("rom.nes", Bytes(RomFileSize, 0)); // every row pointer 0: outside the row data
    EXPECT_NE(Refused({"info", "rom.nes", "--json"}, 3).out.find("\"layout_ok\": false"), npos);
    Write("sea.csv", formats::WriteGridCsv(Grid{}));
    EXPECT_NE(Refused({"import", "rom.nes", "0", "sea.csv"}, 3).err.find("region is broken"), npos);
}

// Unchanged maps come back as they were; an edited one, from CSV or TMX, is stored just as
// the core's store stores it.
TEST_F(CliCommand, ImportStoresWhatTheCoreStores) {
    for (const std::string format : {".csv", ".tmx"}) {
        for (const std::string m : {"0", "1", "2", "3"}) {
            ASSERT_EQ(Run({"export", "rom.nes", m, m + format}).code, 0);
            Imports(m, m + format, DemoRom());
        }
    }
    const std::set<Grid> maps = {Decode(DemoRom(), 0), Decode(DemoRom(), 1), Decode(DemoRom(), 2),
                                 Decode(DemoRom(), 3)};
    EXPECT_EQ(maps.size(), 4u); // the demo's maps differ

    Grid edited = Decode(DemoRom(), 2);
    for (int x = 0; x < 256; x += 3) {
        edited[100 * 256 + x] = 7; // a line of towns
    }
    auto expected = std::make_unique<CRomImage>(DemoRom());
    ASSERT_TRUE(worldmap::StoreWorldMap(*expected, 2, edited, worldmap::CountFreeBytes(*expected)));
    Write("e.csv", formats::WriteGridCsv(edited));
    Imports("standard", "e.csv", *expected);
    Write("rom.nes", Image(DemoRom()));
    Write("e.tmx", formats::WriteTmx(edited, "e.png", "Standard World Map"));
    Imports("standard", "e.tmx", *expected);
}

TEST_F(CliCommand, AMapThatDoesNotFitIsRefusedWithWhatItNeeds) {
    testsupport::RomBuilder builder; // four one-tile maps: a region nearly all free
    const auto rom = builder.Build();
    Write("rom.nes", Image(*rom));
    const Grid noisy = testsupport::RandomGrid(5, 1, 0, 128); // no runs, no repeated rows
    Write("noisy.csv", formats::WriteGridCsv(noisy));
    Bytes coded(worldmap::MaxEncodedSize);
    uint16_t pointers[256];
    const int needed = worldmap::EncodeWorldMap(noisy, 0, coded.data(), pointers);
    const auto available =
        worldmap::CountFreeBytes(*rom) + builder.MapStart(2) - builder.MapStart(1);
    EXPECT_EQ(Refused({"import", "rom.nes", "1", "noisy.csv"}, 3).err,
              "atlasforge-cli: noisy.csv: Water World Map needs " + std::to_string(needed) +
                  " bytes but only " + std::to_string(available) + " are available\n");
}

// A sequence of operations gives the grid that the same grid operations give, stored as the
// core stores it.
TEST_F(CliCommand, EditAppliesItsOperationsInOrderAsTheGridOperationsDo) {
    Write("block.csv", std::string("1,2,3\r\n4,5,6\n7,8,9\n10,11,12\n"));
    const RunResult r =
        Run({"edit", "rom.nes", "standard", "rect", "20,12,10,10,5", "set", "15,11,7", "fill",
             "0,0,3", "replace", "5,9", "paste", "block.csv", "254,253", "set", "255,255,0"});
    ASSERT_EQ(r.code, 0) << r.err;

    Grid grid = Decode(DemoRom(), 2);
    edit::FillRect(grid, {{20, 12}, {10, 10}}, 5);
    edit::SetCell(grid, {15, 11}, 7);
    edit::FloodFill(grid, {0, 0}, 3);
    edit::ReplaceTile(grid, 5, 9);
    edit::Paste(grid, {3, 4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}, {254, 253});
    edit::SetCell(grid, {255, 255}, 0);
    auto expected = std::make_unique<CRomImage>(DemoRom());
    const worldmap::StoreReport report =
        worldmap::StoreWorldMapReport(*expected, 2, grid);
    ASSERT_EQ(report.status, worldmap::StoreStatus::Stored);
    auto stored = std::make_unique<CRomImage>();
    std::memcpy(stored->RomBytes, ReadBytes("rom.nes").data(), RomFileSize);
    EXPECT_EQ(Decode(*stored, 2), grid);
    EXPECT_EQ(Image(*stored), Image(*expected));
    EXPECT_EQ(r.out, "Stored Standard World Map (" + std::to_string(report.newSize) +
                         " bytes); free bytes: " +
                         std::to_string(worldmap::CountFreeBytes(*expected)) + "\n");
}

// --dry-run measures the map with every check the store makes and writes nothing, on edit
// and on import; a map that would not fit exits 3 all the same.
TEST_F(CliCommand, DryRunPrintsWhatTheMapNeedsAndWritesNothing) {
    const auto numbers = [](const worldmap::StoreReport& report) {
        return "needs " + std::to_string(report.newSize) + " bytes, room " +
               std::to_string(report.available) + " bytes";
    };
    Grid grid = Decode(DemoRom(), 1);
    edit::FillRect(grid, {{0, 0}, {99, 99}}, 4);
    const RunResult edited = Run({"edit", "rom.nes", "--dry-run", "water", "rect", "0,0,99,99,4"});
    EXPECT_EQ(edited.code, 0) << edited.err;
    EXPECT_NE(edited.out.find(numbers(worldmap::MeasureStore(DemoRom(), 1, grid))), npos)
        << edited.out;
    EXPECT_EQ(std::count(edited.out.begin(), edited.out.end(), '\n'), 1);
    EXPECT_EQ(ReadBytes("rom.nes"), Image(DemoRom()));

    testsupport::RomBuilder builder; // four one-tile maps: a region nearly all free
    const auto rom = builder.Build();
    Write("rom.nes", Image(*rom));
    const Grid noisy = testsupport::RandomGrid(5, 1, 0, 128);
    Write("noisy.csv", formats::WriteGridCsv(noisy));
    const worldmap::StoreReport tooBig = worldmap::MeasureStore(*rom, 1, noisy);
    ASSERT_EQ(tooBig.status, worldmap::StoreStatus::DoesNotFit);
    EXPECT_NE(
        Refused({"import", "rom.nes", "1", "noisy.csv", "--dry-run"}, 3).out.find(numbers(tooBig)),
        npos);
    Write("plain.csv", formats::WriteGridCsv(testsupport::StripedGrid(3)));
    const RunResult fits = Run({"import", "--dry-run", "rom.nes", "1", "plain.csv"});
    EXPECT_EQ(fits.code, 0) << fits.err;
    EXPECT_NE(fits.out.find(numbers(worldmap::MeasureStore(*rom, 1, testsupport::StripedGrid(3)))),
              npos);
    EXPECT_EQ(ReadBytes("rom.nes"), Image(*rom));
}

// A noisy block pasted over a whole map cannot fit: both numbers, and the ROM as it was.
TEST_F(CliCommand, AnEditThatDoesNotFitIsRefusedWithWhatItNeeds) {
    testsupport::RomBuilder builder;
    const auto rom = builder.Build();
    Write("rom.nes", Image(*rom));
    const Grid noisy = testsupport::RandomGrid(5, 1, 0, 128);
    Write("noisy.csv", formats::WriteGridCsv(noisy));
    const worldmap::StoreReport report = worldmap::MeasureStore(*rom, 0, noisy);
    EXPECT_EQ(Refused({"edit", "rom.nes", "0", "paste", "noisy.csv", "0,0"}, 3).err,
              "atlasforge-cli: rom.nes: Floating World Map needs " +
                  std::to_string(report.newSize) + " bytes but only " +
                  std::to_string(report.available) + " are available\n");
}

TEST_F(CliCommand, EditRefusesBadOperationsAndPasteFilesNamingThem) {
    Write("ragged.csv", std::string("1,2\n3\n"));
    Write("tile.csv", std::string("1,200\n"));
    Write("empty.csv", std::string());
    const std::pair<std::vector<std::string>, std::string> usage[] = {
        {{"paint", "1,2,3"}, "paint: unknown operation"},
        {{"set", "1,2"}, "set 1,2: set takes X,Y,T, 3 numbers, not 2"},
        {{"set", "1,2,3,4"}, "set 1,2,3,4: set takes X,Y,T"},
        {{"set", "256,0,5"}, "set 256,0,5: X 256 is outside 0 to 255"},
        {{"set", "-1,0,5"}, "set -1,0,5: X -1 is outside 0 to 255"},
        {{"rect", "0,0,1,1,128"}, "rect 0,0,1,1,128: T 128 is outside 0 to 127"},
        {{"fill", "0,y,1"}, "fill 0,y,1: Y y is not a number"},
        {{"replace", "1,,2"}, "replace 1,,2: replace takes A,B"},
        {{"replace", "99999999999,2"}, "replace 99999999999,2: A 99999999999 is outside"},
        {{"set", "1,1,1", "fill"}, "fill: fill needs X,Y,T"},
        {{"paste", "ragged.csv"}, "paste: paste needs FILE X,Y"},
        {{"paste", "ragged.csv", "0,300"}, "paste ragged.csv 0,300: Y 300 is outside 0 to 255"},
    };
    for (const auto& [ops, text] : usage) {
        std::vector<std::string> args = {"edit", "rom.nes", "0"};
        args.insert(args.end(), ops.begin(), ops.end());
        EXPECT_NE(Refused(args, 1).err.find(text), npos) << text;
    }
    const std::tuple<std::string, int, std::string> files[] = {
        {"missing.csv", 2, "missing.csv: cannot be read"},
        {"ragged.csv", 4, "ragged.csv: line 2, column 2: the line has 1 of 2 numbers"},
        {"tile.csv", 4, "tile.csv: line 1, column 3: tile 200 is outside 0 to 127"},
        {"empty.csv", 4, "empty.csv: line 1, column 1: the file holds no tile numbers"},
    };
    for (const auto& [file, code, text] : files) {
        EXPECT_NE(Refused({"edit", "rom.nes", "0", "set", "0,0,1", "paste", file, "0,0"}, code)
                      .err.find(text),
                  npos)
            << text;
    }
    EXPECT_NE(Refused({"edit", "rom.nes", "0"}, 1).err.find("too few arguments"), npos);
}

// Our export of an all-0 map with its layer's <data> replaced and `tilesets` added after ours.
std::string TmxWith(const std::string& data, const std::string& tilesets = "") {
    std::string tmx = formats::WriteTmx(Grid{}, "t.png", "a");
    const auto from = tmx.find("<data"), to = tmx.find("</data>") + 7;
    tmx.replace(from, to - from, data);
    return tmx.insert(tmx.find("<layer"), tilesets);
}

TEST_F(CliCommand, ErrorsExitWithTheirCodeAndOneLineNamingTheFile) {
    Write("bad.csv", std::string("1,2,3\n"));
    Write("short.tmx", TmxWith("<data encoding=\"base64\">" +
                               QByteArray(262143, 1).toBase64().toStdString() + "</data>"));
    std::string gids = "134";
    for (int i = 1; i < worldmap::GridSize; ++i) {
        gids += ",1";
    }
    Write("other.tmx", TmxWith("<data encoding=\"csv\">" + gids + "</data>",
                               "<tileset firstgid=\"129\" name=\"other\"/>"));
    Write("far.ips", std::string("PATCH\xFF\xFF\xFF\0\2abEOF"));
    Write("bad.tmx", std::string("<map width=\"256\" height=\"256\"><tileset firstgid=\"1\"/>"));
    Write("bad.ips", std::string("PATCH\0\0", 7));
    Write("junk.bps", std::string("BPS!"));
    Bytes other;
    ASSERT_TRUE(formats::MakeBps(Bytes(100, 1), Bytes(100, 2), other).Ok());
    Write("other.bps", other);
    Write("short.pal", Bytes(100, 0));
    Write("small.nes", Bytes(1000, 0));
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"import", "rom.nes", "0", "bad.csv"},
         4,
         "atlasforge-cli: bad.csv: line 1, column 6: the line has 3 of 256 numbers\n"},
        {{"import", "rom.nes", "0", "bad.tmx"}, 4, "bad.tmx: line 1"},
        {{"patch", "rom.nes", "bad.ips"}, 4, "bad.ips: offset 5"},
        {{"patch", "rom.nes", "far.ips", "far.nes"}, 4, "far.ips: offset 5"},
        {{"patch", "rom.nes", "junk.bps", "far.nes"}, 4, "junk.bps: not a patch"},
        {{"patch", "rom.nes", "other.bps", "far.nes"},
         4,
         "other.bps: this patch is for another ROM"},
        {{"diff", "rom.nes", "rom.nes", "p.xdelta"},
         1,
         "p.xdelta: the patch's name must end in .ips or .bps"},
        {{"import", "rom.nes", "0", "short.tmx"}, 4, "262143 bytes"},
        {{"import", "rom.nes", "0", "other.tmx"},
         4,
         "cell x 0, y 0: gid 134 belongs to the tileset other"},
        {{"tiles", "rom.nes", "0", "t.png", "--palette", "short.pal"}, 4, "short.pal"},
        {{"info", "small.nes"}, 4, "small.nes"},
        {{"info", "missing.nes"}, 2, "missing.nes"},
        {{"import", "rom.nes", "0", "missing.csv"}, 2, "missing.csv"},
        {{"export", "rom.nes", "0", "no/such/folder/x.csv"}, 2, "x.csv"},
        {{}, 1, ""},
        {{"paint", "rom.nes"}, 1, "paint"},
        {{"export", "rom.nes", "4", "x.csv"}, 1, ""},
        {{"export", "rom.nes", "0", "x.bmp"}, 1, ""},
        {{"info", "rom.nes", "--verbose"}, 1, "--verbose"},
        {{"info"}, 1, ""},
        // Endless or huge inputs are refused, not read into memory whole.
        {{"edit", "rom.nes", "0", "paste", "/dev/zero", "0,0"}, 4, "/dev/zero: larger than"},
        {{"patch", "rom.nes", "/dev/zero", "z.nes"}, 4, "/dev/zero: larger than"},
        // Words from the command line are quoted clipped, so the error stays one short line.
        {{std::string(300, 'x')}, 1, std::string(40, 'x') + "..."},
        {{"edit", "rom.nes", std::string(300, 'y'), "set", "1,1,1"},
         1,
         std::string(40, 'y') + "..."},
        {{"info", "rom.nes", "--" + std::string(300, 'z')}, 1, std::string(38, 'z') + "..."},
    };
    for (const auto& [args, code, text] : cases) {
        const std::string err = Refused(args, code).err;
        EXPECT_NE(err.find(text), npos) << text;
        EXPECT_LT(err.size(), 200u) << err;
    }
    EXPECT_FALSE(std::filesystem::exists("t.png"));
    EXPECT_FALSE(std::filesystem::exists("far.nes"));
    EXPECT_FALSE(std::filesystem::exists("p.xdelta"));
    for (const std::string command :
         {"", "info", "export", "import", "edit", "tiles", "enemies", "diff", "patch", "demo"}) {
        const RunResult help = command.empty() ? Run({"--help"}) : Run({command, "--help"});
        EXPECT_EQ(std::pair(help.code, help.out.rfind("Usage: atlasforge-cli " + command, 0)),
                  std::pair(0, std::size_t{0}));
    }
}

TEST_F(CliCommand, PicturesAreDrawnWithTheMapsOwnTilesAndTheChosenPalette) {
    ASSERT_EQ(Run({"tiles", "rom.nes", "underwater", "t.png"}).code, 0);
    EXPECT_NE(Run({"export", "rom.nes", "3", "m.png"}).err.find("built-in standard palette"), npos);

    const auto& palette = gfx::StandardPalette(); // the same as palette.pal in the tree
    EXPECT_EQ(ReadBytes(ATLASFORGE_SOURCE_DIR "/palette.pal"),
              Bytes(palette.begin(), palette.end()));
    auto rom = std::make_unique<CRomImage>(DemoRom());
    gfx::SetColourTable(*rom, palette.data(), palette.size());
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(*rom, 3, *tiles);
    const auto colour = [&](int tile, int pixel) {
        const uint32_t c = (*tiles)[tile][pixel];
        return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    };
    const QImage sheet("t.png"), map("m.png");
    ASSERT_EQ(std::pair(sheet.size(), map.size()), std::pair(QSize(256, 128), QSize(4096, 4096)));
    for (int t : {0, 17, 64, 127}) {
        for (int p : {0, 37, 255}) {
            EXPECT_EQ(sheet.pixel(t % 16 * 16 + p % 16, t / 16 * 16 + p / 16), colour(t, p));
        }
    }
    const Grid grid = Decode(DemoRom(), 3);
    for (int cell : {0, 1000, 40000, 65535}) {
        EXPECT_EQ(map.pixel(cell % 256 * 16 + 5, cell / 256 * 16 + 9),
                  colour(grid[cell], 9 * 16 + 5));
    }
    // A palette.pal in the working folder is used quietly: here every colour is grey.
    Write("palette.pal", Bytes(192, 80));
    EXPECT_EQ(Run({"tiles", "rom.nes", "0", "r.png"}).err, "");
    EXPECT_EQ(QImage("r.png").pixel(3, 3), qRgb(80, 80, 80));
}

TEST_F(CliCommand, EnemiesAsCsvAndJson) {
    const std::string csv = Run({"enemies", "rom.nes"}).out;
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "index,name,back_attack,hp,byte3,byte4,byte5,byte6,byte7,byte8,attack_power,byte10,"
              "byte11,byte12,byte13,byte14,byte15,gold,exp");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 215);
    EXPECT_NE(csv.find("\n0,Goblin,1,28,"), npos);

    const QJsonArray list = Json(Run({"enemies", "rom.nes", "--json"}).out).array();
    ASSERT_EQ(list.size(), 214);
    EXPECT_EQ(list[37].toObject()["name"].toString(), "Red Wolf");
    const QJsonObject last = list[213].toObject();
    EXPECT_EQ(std::tuple(last["index"].toInt(), last["record"].toArray().size(),
                         last["gold"].toInt(), last["exp"].toInt()),
              std::tuple(213, 16, DemoRom().ReadWord(0x61C68 + 2 * 213),
                         DemoRom().ReadWord(0x21D92 + 2 * 213)));
}

// What enemies prints imports back as it is; edited, exactly the edited values reach the
// ROM, and --dry-run lists them and writes nothing.
TEST_F(CliCommand, EnemiesImportWhatTheyPrintAndExactlyTheEditedValues) {
    Write("all.csv", Run({"enemies", "rom.nes"}).out);
    Write("all.json", Run({"enemies", "rom.nes", "--json"}).out);
    for (const std::string file : {"all.csv", "all.json"}) {
        EXPECT_EQ(Run({"enemies", "rom.nes", "--import", file, "--dry-run"}).out,
                  "Dry run: nothing to change in rom.nes\n");
        EXPECT_EQ(Run({"enemies", "rom.nes", "--import", file}).out,
                  "Nothing to change in rom.nes\n");
    }
    EXPECT_EQ(ReadBytes("rom.nes"), Image(DemoRom()));

    const std::string csv = ReadText("all.csv");
    Write("some.csv", csv.substr(0, csv.find('\n')) +
                          "\r\n37,Red Wolf,0,504,97,214,75,192,53,170,41,0,122,123,124,125,126,"
                          "1375,570\r\n0,Goblin,1,300,1,1,1,1,1,1,4,0,11,12,13,14,15,5,43\r\n");
    std::string json = ReadText("all.json");
    json.replace(json.find("[0, 147, 59,"), 3, "[7,").replace(json.find("3786}"), 4, "0");
    Write("all.json", json);
    const RunResult dry = Run({"enemies", "rom.nes", "--import", "some.csv", "--dry-run"});
    EXPECT_EQ(dry.out, "37 Red Wolf gold 1374 -> 1375\n0 Goblin hp 28 -> 300\n"
                       "Dry run: would change 2 values of 2 enemies in rom.nes; nothing written\n");
    EXPECT_EQ(ReadBytes("rom.nes"), Image(DemoRom()));
    EXPECT_EQ(Run({"enemies", "rom.nes", "--import", "all.json"}).out,
              "Changed 2 values of 1 enemy in rom.nes\n");
    EXPECT_EQ(Run({"enemies", "rom.nes", "--import", "some.csv"}).out,
              "Changed 2 values of 2 enemies in rom.nes\n");
    Bytes want = Image(DemoRom());
    want[0x60010 + 16 * 213] = 7; // record byte 0
    want[0x21D92 + 2 * 213] = want[0x21D92 + 2 * 213 + 1] = 0;
    want[0x61C68 + 2 * 37] = 1375 & 0xFF; // 1374 + 1 leaves the high byte
    want[0x60010 + 1] = 300 & 0xFF;       // hp, low byte first
    want[0x60010 + 2] = 300 >> 8;
    EXPECT_EQ(ReadBytes("rom.nes"), want);
}

TEST_F(CliCommand, EnemyImportRefusesBadFilesAndOptionsWritingNothing) {
    std::string csv = Run({"enemies", "rom.nes"}).out;
    csv.replace(csv.find("\n0,Goblin,1,28,"), 15, "\n0,Goblin,1,99,"); // good, but not stored
    Write("bad.csv", csv.replace(csv.rfind(",3786"), 5, ",99999"));
    std::string json = Run({"enemies", "rom.nes", "--json"}).out;
    Write("bad.json", json.replace(json.find("\"Goblin\""), 8, "\"Gobbo\""));
    Write("all.txt", std::string("index\n"));
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"bad.csv"}, 4, "atlasforge-cli: bad.csv: line 215, column 78: exp 99999 is outside"},
        {{"bad.json"}, 4, "bad.json: line 2, column 24: name 'Gobbo' is not enemy 0's name"},
        {{"missing.csv"}, 2, "missing.csv"},
        {{"all.txt"}, 1, "all.txt: the input must end in .csv or .json"},
        {{"bad.csv", "--json"}, 1, "--json does not go with --import"},
        {{"--dry-run"}, 1, "--dry-run goes only with --import FILE"},
    };
    for (const auto& [words, code, text] : cases) {
        std::vector<std::string> args = {"enemies", "rom.nes"};
        if (words[0] != "--dry-run") {
            args.push_back("--import");
        }
        args.insert(args.end(), words.begin(), words.end());
        EXPECT_NE(Refused(args, code).err.find(text), npos) << text;
    }
}

TEST_F(CliCommand, DiffWritesTheFormatItsNameSaysAndPatchTellsItByItsBytes) {
    Bytes edited = Image(DemoRom());
    edited[0x60010] = 0x99;
    edited.resize(400000);
    Write("edited.nes", edited);
    for (const std::string patch : {"p.ips", "p.BPS"}) {
        ASSERT_EQ(Run({"diff", "rom.nes", "edited.nes", patch}).code, 0);
        ASSERT_EQ(Run({"patch", "rom.nes", patch, "out.nes"}).code, 0);
        EXPECT_EQ(ReadBytes("out.nes"), edited);
    }
    EXPECT_EQ(ReadText("p.ips").substr(0, 5), "PATCH");
    EXPECT_EQ(ReadText("p.BPS").substr(0, 4), "BPS1");
    std::filesystem::rename("p.BPS", "bps-named.ips");
    ASSERT_EQ(Run({"patch", "rom.nes", "bps-named.ips", "out2.nes"}).code, 0);
    EXPECT_EQ(ReadBytes("out2.nes"), edited);

    ASSERT_EQ(Run({"patch", "rom.nes", "p.ips"}).code, 0); // in place
    EXPECT_EQ(ReadBytes("rom.nes"), edited);
    const auto written = std::filesystem::last_write_time("rom.nes");
    EXPECT_NE(Refused({"patch", "rom.nes", "bps-named.ips"}, 4).err.find("already applied"), npos);
    EXPECT_EQ(std::filesystem::last_write_time("rom.nes"), written);
}

// Our export of `grid` with its layer in base64 compressed by zstd.
std::string ZstdTmx(const Grid& grid) {
    std::vector<uint32_t> gids(grid.begin(), grid.end());
    for (uint32_t& gid : gids) {
        gid += 1; // little-endian, as the format stores it, on this machine
    }
    std::string packed(gids.size() * 4, '\0');
    std::memcpy(packed.data(), gids.data(), packed.size());
    std::string coded(ZSTD_compressBound(packed.size()), '\0');
    coded.resize(ZSTD_compress(coded.data(), coded.size(), packed.data(), packed.size(), 3));
    std::string tmx = formats::WriteTmx(grid, "m-tileset.png", "a");
    const auto from = tmx.find("<data"), to = tmx.find("</data>") + 7;
    return tmx.replace(from, to - from,
                       "<data encoding=\"base64\" compression=\"zstd\">" +
                           QByteArray::fromStdString(coded).toBase64().toStdString() + "</data>");
}

// Tiled itself, headless, with its settings kept in the test's folder: it reads every map we
// export cell for cell, and the TMX it writes imports to the bytes it came from.
TEST_F(CliCommand, TiledReadsEveryMapWeExportAndWhatItWritesImports) {
    if (std::system("command -v tiled >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "the Tiled map editor (Debian package tiled) is not installed";
    }
    const auto tiled = [](const std::string& format, const std::string& out) {
        return std::system(("HOME=\"$PWD\" XDG_CONFIG_HOME=\"$PWD\" QT_QPA_PLATFORM=offscreen "
                            "timeout 120 tiled --export-map " +
                            format + " m.tmx " + out + " >/dev/null 2>&1")
                               .c_str()) == 0;
    };
    for (const std::string m : {"0", "1", "2", "3"}) {
        ASSERT_EQ(Run({"export", "rom.nes", m, "m.tmx"}).code, 0);
        ASSERT_TRUE(tiled("json", "m.json")) << m;
        const QJsonObject map = Json(ReadText("m.json")).object();
        const QJsonObject tileset = map["tilesets"].toArray()[0].toObject();
        EXPECT_EQ(std::tuple(map["tilewidth"].toInt(), tileset["tilecount"].toInt(),
                             tileset["image"].toString().toStdString()),
                  std::tuple(16, 128, std::string("m-tileset.png")));
        std::vector<int> cells;
        for (const auto& gid : map["layers"].toArray()[0].toObject()["data"].toArray()) {
            cells.push_back(gid.toInt() - 1);
        }
        const Grid grid = Decode(DemoRom(), std::stoi(m));
        EXPECT_EQ(cells, std::vector<int>(grid.begin(), grid.end())) << m;
        ASSERT_TRUE(tiled("tmx", "t.tmx")) << m;
        Imports(m, "t.tmx", DemoRom());
        // Tiled writes a layer in the compression it read it in: zstd here.
        Write("m.tmx", ZstdTmx(grid));
        ASSERT_TRUE(tiled("tmx", "z.tmx")) << m;
        EXPECT_NE(ReadText("z.tmx").find("compression=\"zstd\""), npos);
        Imports(m, "z.tmx", DemoRom());
    }
}

} // namespace
