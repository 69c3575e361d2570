// The tool as users run it: exit codes, messages, files left alone on failure, and maps
// that round-trip through CSV, TMX and the Tiled map editor itself.
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <numeric>
#include <tuple>

#include "demo/DemoRom.h"
#include "edit/GridOps.h"
#include "formats/GridCsv.h"
#include "formats/Tmx.h"
#include "gfx/StandardPalette.h"
#include "gfx/TileRenderer.h"
#include "rom/FileLock.h"
#include "tests/support/MapGrids.h"
#include "tests/support/RomBuilder.h"
#include "tests/support/TmxForms.h"
#include "worldmap/WorldMap.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::Decode;
using testsupport::Grid;
using testsupport::Image;

constexpr auto npos = std::string::npos;

using testsupport::ReadBytes;
using testsupport::ReadText;
const auto Write = [](const std::string& path, const auto& data) {
    testsupport::WriteFile(path, data);
};

const auto Json = [](const std::string& text) { return QJsonDocument::fromJson(text.c_str()); };

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
        // Only the palettes a test puts in place: none from the user running it.
        ::setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
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
    // Runs a command that must fail with `code`, one line on stderr that `says` something,
    // and the ROM as it was.
    static RunResult Refused(const std::vector<std::string>& args, int code,
                             const std::string& says = "") {
        const Bytes before = ReadBytes("rom.nes");
        RunResult r = Run(args);
        EXPECT_EQ(r.code, code) << r.err;
        EXPECT_NE(r.err.find(says), npos) << says;
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
    Refused({"import", "rom.nes", "0", "sea.csv"}, 3, "region is broken");
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
    const worldmap::StoreReport report = worldmap::StoreWorldMapReport(*expected, 2, grid);
    ASSERT_EQ(report.status, worldmap::StoreStatus::Stored);
    EXPECT_EQ(ReadBytes("rom.nes"), Image(*expected));
    EXPECT_EQ(r.out, "Stored Standard World Map (" + std::to_string(report.newSize) +
                         " bytes); free bytes: " +
                         std::to_string(worldmap::CountFreeBytes(*expected)) + "\n");
}

// --dry-run measures the map with every check the store makes and writes nothing, on edit
// and on import. A map that does not fit, dry or not, imported or edited, exits 3 with
// both numbers and the ROM as it was.
TEST_F(CliCommand, DryRunAndMapsThatDoNotFitWriteNothing) {
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
    const Grid noisy = testsupport::RandomGrid(5, 1, 0, 128); // no runs, no repeated rows
    Write("noisy.csv", formats::WriteGridCsv(noisy));
    const auto tooBig = [&](int mapId, const std::string& source) {
        const worldmap::StoreReport report = worldmap::MeasureStore(*rom, mapId, noisy);
        EXPECT_EQ(report.status, worldmap::StoreStatus::DoesNotFit);
        return "atlasforge-cli: " + source + ": " + worldmap::MapName(mapId) + " needs " +
               std::to_string(report.newSize) + " bytes but only " +
               std::to_string(report.available) + " are available\n";
    };
    EXPECT_EQ(Refused({"import", "rom.nes", "1", "noisy.csv"}, 3).err, tooBig(1, "noisy.csv"));
    EXPECT_EQ(Refused({"edit", "rom.nes", "0", "paste", "noisy.csv", "0,0"}, 3).err,
              tooBig(0, "rom.nes"));
    EXPECT_NE(Refused({"import", "rom.nes", "1", "noisy.csv", "--dry-run"}, 3)
                  .out.find(numbers(worldmap::MeasureStore(*rom, 1, noisy))),
              npos);
    EXPECT_EQ(ReadBytes("rom.nes"), Image(*rom));
}

TEST_F(CliCommand, EditRefusesBadOperationsAndPasteFilesNamingThem) {
    Write("ragged.csv", std::string("1,2\n3\n"));
    const std::pair<std::vector<std::string>, std::string> usage[] = {
        {{"paint", "1,2,3"}, "paint: unknown operation"},
        {{"set", "1,2"}, "set 1,2: set takes X,Y,T, 3 numbers, not 2"},
        {{"set", "256,0,5"}, "set 256,0,5: X 256 is outside 0 to 255"},
        {{"set", "-1,0,5"}, "set -1,0,5: X -1 is outside 0 to 255"},
        {{"rect", "0,0,1,1,128"}, "rect 0,0,1,1,128: T 128 is outside 0 to 127"},
        {{"fill", "0,y,1"}, "fill 0,y,1: Y y is not a number"},
        {{"replace", "99999999999,2"}, "replace 99999999999,2: A 99999999999 is outside"},
        {{"set", "1,1,1", "fill"}, "fill: fill needs X,Y,T"},
        {{"paste", "ragged.csv"}, "paste: paste needs FILE X,Y"},
        {{"paste", "ragged.csv", "0,300"}, "paste ragged.csv 0,300: Y 300 is outside 0 to 255"},
    };
    for (const auto& [ops, text] : usage) {
        std::vector<std::string> args = {"edit", "rom.nes", "0"};
        args.insert(args.end(), ops.begin(), ops.end());
        Refused(args, 1, text);
    }
    Refused({"edit", "rom.nes", "0", "set", "0,0,1", "paste", "missing.csv", "0,0"}, 2,
            "missing.csv: cannot be read");
    Refused({"edit", "rom.nes", "0", "set", "0,0,1", "paste", "ragged.csv", "0,0"}, 4,
            "ragged.csv: line 2, column 2: the line has 1 of 2 numbers");
    Refused({"edit", "rom.nes", "0"}, 1, "too few arguments");
}

TEST_F(CliCommand, ErrorsExitWithTheirCodeAndOneLineNamingTheFile) {
    Write("bad.csv", std::string("1,2,3\n"));
    Write("bad\n.csv", std::string("1,2,3\n"));
    Write("bad.ips", std::string("PATCH\0\0", 7));
    Write("junk.bps", std::string("BPS!"));
    Write("short.pal", Bytes(191, 0));
    Write("small.nes", Bytes(1000, 0));
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"import", "rom.nes", "0", "bad.csv"},
         4,
         "atlasforge-cli: bad.csv: line 1, column 6: the line has 3 of 256 numbers\n"},
        // A file's name is shown as any input is: a line break in it keeps to the one line.
        {{"import", "rom.nes", "0", "bad\n.csv"}, 4, ": bad\\x0A.csv: line 1, column 6"},
        {{"patch", "rom.nes", "no\n.ips"}, 2, ": no\\x0A.ips: cannot be read"},
        {{"import", "rom.nes", "0", "no\n.txt"}, 1, ": no\\x0A.txt: the input must end"},
        {{"patch", "rom.nes", "bad.ips"}, 4, "bad.ips: offset 5"},
        {{"patch", "rom.nes", "junk.bps", "far.nes"}, 4, "junk.bps: not a patch"},
        {{"diff", "rom.nes", "rom.nes", "p.xdelta"},
         1,
         "p.xdelta: the patch's name must end in .ips or .bps"},
        {{"tiles", "rom.nes", "0", "t.png", "--palette", "short.pal"},
         4,
         "short.pal: a palette needs 192 bytes (64 colours of red, green, blue); this one has 191"},
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
        {{"enemies", "rom.nes", "--import", "all.txt"}, 1, "all.txt: the input must end in .csv"},
        {{"enemies", "rom.nes", "--import", "a.csv", "--json"}, 1, "--json does not go with"},
        {{"enemies", "rom.nes", "--dry-run"}, 1, "--dry-run goes only with --import FILE"},
        // Endless or huge inputs are refused, not read into memory whole.
        {{"edit", "rom.nes", "0", "paste", "/dev/zero", "0,0"},
         2,
         "/dev/zero: cannot be read: not a regular file (it is a character device)"},
        // Words from the command line are quoted clipped, so the error stays one short line.
        {{std::string(300, 'x')}, 1, std::string(40, 'x') + "..."},
        {{"edit", "rom.nes", std::string(300, 'y'), "set", "1,1,1"},
         1,
         std::string(40, 'y') + "..."},
        {{"info", "rom.nes", "--" + std::string(300, 'z')}, 1, std::string(38, 'z') + "..."},
    };
    for (const auto& [args, code, text] : cases) {
        EXPECT_LT(Refused(args, code, text).err.size(), 200u);
    }
    EXPECT_FALSE(std::filesystem::exists("t.png"));
    // A map and its tileset are written as a pair: a map that cannot be written (here a
    // folder in its place) leaves the tileset beside it as it was.
    Write("out-tileset.png", std::string("old"));
    Write("palette.pal", Bytes(192, 80));
    std::filesystem::create_directory("out.tmx");
    Refused({"export", "rom.nes", "0", "out.tmx"}, 2, "out.tmx: cannot be written");
    EXPECT_EQ(ReadText("out-tileset.png"), "old");
    EXPECT_FALSE(std::filesystem::exists("far.nes"));
    EXPECT_FALSE(std::filesystem::exists("p.xdelta"));
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
    // A palette.pal in the user's configuration folder is used quietly, and one in the
    // working folder before it: here every colour is grey.
    std::filesystem::create_directories("config/atlasforge");
    Write("config/atlasforge/palette.pal", Bytes(192, 40));
    EXPECT_EQ(Run({"tiles", "rom.nes", "0", "r.png"}).err, "");
    EXPECT_EQ(QImage("r.png").pixel(3, 3), qRgb(40, 40, 40));
    Write("palette.pal", Bytes(192, 80));
    EXPECT_EQ(Run({"tiles", "rom.nes", "0", "r.png"}).err, "");
    EXPECT_EQ(QImage("r.png").pixel(3, 3), qRgb(80, 80, 80));
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
    // A bad value late in the file stores nothing, not even the good rows before it.
    std::string bad = csv;
    bad.replace(bad.find("\n0,Goblin,1,28,"), 15, "\n0,Goblin,1,99,");
    Write("bad.csv", bad.replace(bad.rfind(",3786"), 5, ",99999"));
    Refused({"enemies", "rom.nes", "--import", "bad.csv"}, 4,
            "atlasforge-cli: bad.csv: line 215, column 78: exp 99999 is outside");
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
    Refused({"patch", "rom.nes", "bps-named.ips"}, 4, "already applied");
    EXPECT_EQ(std::filesystem::last_write_time("rom.nes"), written);
}

// Our export of `grid` with its layer in base64 compressed by zstd.
std::string ZstdTmx(const Grid& grid) {
    namespace tmx = testsupport::tmx;
    std::string text = formats::WriteTmx(grid, "m-tileset.png", "a");
    const auto from = text.find("<data"), to = text.find("</data>") + 7;
    return text.replace(from, to - from, tmx::Data(tmx::GidsOf(grid), tmx::Form::Zstd));
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

// A sheet written by tiles imports back as nothing to do, leaving the file untouched; an
// edited one (tile 70's pixel (0, 0) in another of its colours) is what both maps of the
// set then draw, and the other one is named; a dry run writes nothing.
TEST_F(CliCommand, TileSheetsImportBackAsTheCoreImportsThem) {
    ASSERT_EQ(Run({"tiles", "rom.nes", "water", "s.png"}).code, 0);
    const auto written = std::filesystem::last_write_time("rom.nes");
    EXPECT_EQ(Run({"tiles", "rom.nes", "1", "--import", "s.png"}).out.rfind("Tiles unchanged", 0),
              0u);
    EXPECT_EQ(std::filesystem::last_write_time("rom.nes"), written);
    QImage edited = QImage("s.png").convertToFormat(QImage::Format_RGB32);
    int other = 1;
    while (edited.pixel(96 + other % 16, 64 + other / 16) == edited.pixel(96, 64)) {
        ++other;
    }
    edited.setPixel(96, 64, edited.pixel(96 + other % 16, 64 + other / 16));
    ASSERT_TRUE(edited.save("e.png"));
    const RunResult dry = Run({"tiles", "rom.nes", "1", "--import", "e.png", "--dry-run"});
    EXPECT_EQ(ReadBytes("rom.nes"), Image(DemoRom()));
    const RunResult done = Run({"tiles", "rom.nes", "1", "--import", "e.png"});
    ASSERT_EQ(Run({"tiles", "rom.nes", "standard", "after.png"}).code, 0);
    EXPECT_EQ(QImage("after.png").convertToFormat(QImage::Format_RGB32), edited);
    EXPECT_EQ(dry.out.rfind("Would change tiles: 70\n", 0), 0u) << dry.out;
    EXPECT_EQ(done.out.rfind("Changed tiles: 70\n", 0), 0u) << done.out;
    EXPECT_NE(done.out.find("Also changed the look of: Standard World Map\nStored the tiles of "
                            "the Water World Map in rom.nes\n"),
              npos);
}

// Shared tile t's quarter k shows pattern 64k + t, and every set's own tiles pattern 1:
// no pattern is free. Sub-palette 0 of set 0 is NES colours 0 to 3.
TEST_F(CliCommand, TileImportErrorsAndTheUsageTable) {
    std::vector<uint8_t> quarters(0x400, 1);
    std::iota(quarters.begin(), quarters.begin() + 256, 0);
    Write(
        "rom.nes",
        Image(*testsupport::RomBuilder().Poke(0x10, quarters).Poke(0x1650, {0, 1, 2, 3}).Build()));
    ASSERT_EQ(Run({"tiles", "rom.nes", "0", "f.png"}).code, 0);
    QImage sheet = QImage("f.png").convertToFormat(QImage::Format_RGB32);
    const auto& palette = gfx::StandardPalette();
    sheet.setPixel(0, 64, qRgb(palette[3], palette[4], palette[5])); // tile 64, value 1
    ASSERT_TRUE(sheet.save("needs.png"));
    sheet.setPixel(1, 64, qRgb(1, 2, 3));
    ASSERT_TRUE(sheet.save("bad.png") && sheet.copy(0, 0, 256, 127).save("short.png"));
    // Tile 64's pixel (0, 1) in its own colour, but transparent; the sheet cut short.
    QImage clear = QImage("f.png").convertToFormat(QImage::Format_ARGB32);
    clear.setPixel(0, 65, clear.pixel(0, 65) & 0xFFFFFFu);
    ASSERT_TRUE(clear.save("clear.png"));
    const auto whole = ReadBytes("f.png");
    Write("cut.png", std::vector<uint8_t>(whole.begin(), whole.end() - 20));
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--import", "needs.png"},
         "3 needs.png: tile 64 needs a pattern of its own and none is free"},
        {{"--import", "bad.png"},
         "4 bad.png: tile 64: pixel (1, 0) (sheet pixel (1, 64)) is #010203"},
        {{"--import", "short.png"},
         "4 short.png: the picture is 256 x 127 pixels; a tile sheet is 256 x 128"},
        {{"--import", "rom.nes"}, "4 rom.nes: not a PNG picture"},
        {{"--import", "clear.png"},
         "4 clear.png: tile 64: pixel (0, 1) (sheet pixel (0, 65)) is #535353 (not opaque)"},
        {{"--import", "cut.png"}, "4 cut.png: the PNG is cut short or damaged"},
        {{"--import", "none.png"}, "2 none.png: cannot be read"},
        {{"--dry-run"}, "1 --dry-run goes only with --import"},
        {{"--usage", "x.png"}, "1 give one of OUT.png, --import SHEET.png or --usage"},
    };
    for (const auto& [options, says] : cases) {
        std::vector<std::string> args{"tiles", "rom.nes", "0"};
        args.insert(args.end(), options.begin(), options.end());
        Refused(args, says[0] - '0', says.substr(2));
    }
    const std::string usage = Run({"tiles", "rom.nes", "floating", "--usage"}).out;
    EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 129);
    EXPECT_EQ(usage.rfind("tile,sub_palette,pattern_tl,pattern_tr,pattern_bl,pattern_br,sharers_tl,"
                          "sharers_tr,sharers_bl,sharers_br,cells_map0,cells_map1,cells_map2,"
                          "cells_map3\n0,0,0,64,128,192,0,0,0,0,65536,65536,65536,65536\n1,0,1,65,"
                          "129,193,192,0,0,0,0,0,0,0\n",
                          0),
              0u)
        << usage.substr(0, 300);
    EXPECT_NE(usage.find("\n64,0,1,1,1,1,192,192,192,192,0,0,0,0\n"), npos);
}

// Any file named on the command line that is a FIFO is refused at once, as it would
// otherwise be waited on for ever (the tests' time limit catches a hang).
TEST_F(CliCommand, FifosAreRefusedAtOnceWhateverTheFileIsFor) {
    for (const char* name : {"f.nes", "f.csv", "f.tmx", "f.png", "f.ips", "f.pal", "f.json"}) {
        ASSERT_EQ(::mkfifo(name, 0600), 0);
    }
    const std::vector<std::string> cases[] = {
        {"info", "f.nes"},
        {"edit", "f.nes", "0", "set", "1,1,1"},
        {"import", "rom.nes", "0", "f.csv"},
        {"import", "rom.nes", "0", "f.tmx"},
        {"edit", "rom.nes", "0", "paste", "f.csv", "0,0"},
        {"tiles", "rom.nes", "0", "--import", "f.png"},
        {"patch", "rom.nes", "f.ips", "o.nes"},
        {"diff", "f.nes", "rom.nes", "d.ips"},
        {"export", "rom.nes", "0", "m.png", "--palette", "f.pal"},
        {"enemies", "rom.nes", "--import", "f.json"},
    };
    for (const auto& args : cases) {
        Refused(args, 2, ": cannot be read: not a regular file (it is a FIFO)");
    }
    // One that is only looked for is passed over: the search goes on to the built-in one.
    ASSERT_EQ(::mkfifo("palette.pal", 0600), 0);
    EXPECT_EQ(Run({"export", "rom.nes", "0", "m.png"}).code, 0);
    EXPECT_FALSE(std::filesystem::exists("o.nes"));
}

// In map `m` of the demo, a cell of row 0 (its x, and a tile) that takes its left
// neighbour's tile: a change that always fits.
std::pair<int, int> FittingChange(int m) {
    const Grid grid = Decode(DemoRom(), m);
    int x = 1;
    while (grid[static_cast<std::size_t>(x)] == grid[static_cast<std::size_t>(x - 1)]) {
        ++x;
    }
    return {x, grid[static_cast<std::size_t>(x - 1)]};
}

// Two commands that rewrite one ROM at once: both changes are kept, or one command is
// refused naming the lock and the file holds the other's change; never a lost "Stored".
TEST_F(CliCommand, TwoWritersAtOnceLoseNoChange) {
    const std::pair<int, int> changes[] = {FittingChange(0), FittingChange(1)};
    const auto edit = [&](int m) {
        const std::string n = std::to_string(m);
        return "('" ATLASFORGE_CLI "' edit rom.nes " + n + " set " +
               std::to_string(changes[m].first) + ",0," + std::to_string(changes[m].second) +
               " >o" + n + " 2>e" + n + "; echo $? >c" + n + ")";
    };
    const std::string both = edit(0) + " & " + edit(1) + " & wait";
    for (int trial = 0; trial < 20; ++trial) {
        Write("rom.nes", Image(DemoRom()));
        ASSERT_EQ(std::system(both.c_str()), 0);
        auto now = std::make_unique<CRomImage>();
        ASSERT_TRUE(now->LoadRomFile("rom.nes", RomSizeRule::Exact));
        for (int m = 0; m < 2; ++m) {
            const std::string n = std::to_string(m);
            const int code = std::stoi(ReadText("c" + n));
            const bool kept =
                Decode(*now, m)[static_cast<std::size_t>(changes[m].first)] == changes[m].second;
            EXPECT_EQ(kept, code == 0) << trial << " " << m << ReadText("e" + n);
            EXPECT_TRUE(code == 0 || (code == 2 && ReadText("e" + n).find("advisory lock") != npos))
                << code << ReadText("e" + n);
        }
    }
    // A writer that keeps the lock past the wait: the command gives up and writes nothing.
    FileLock held;
    ASSERT_EQ(held.Acquire("rom.nes"), FileLock::Status::Held);
    Refused({"edit", "rom.nes", "0", "set", "1,1,1"}, 2,
            "atlasforge-cli: rom.nes: another program is writing it (it holds the advisory lock "
            "on the file for more than 2 s); nothing was written\n");
    EXPECT_EQ(Run({"edit", "rom.nes", "--dry-run", "0", "set", "1,1,1"}).code, 0);
}

// A ROM with a second name is still replaced by a rename, and the tool warns that the
// other name keeps the old bytes.
TEST_F(CliCommand, OtherNamesOfARewrittenRomAreNamedInAWarning) {
    std::filesystem::create_hard_link("rom.nes", "twin.nes");
    const auto [x, tile] = FittingChange(0);
    const RunResult r =
        Run({"edit", "rom.nes", "0", "set", std::to_string(x) + ",0," + std::to_string(tile)});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "atlasforge-cli: warning: rom.nes: its 1 other name (hard link) still "
                     "holds the old bytes; only this name has the new ones\n");
    EXPECT_EQ(ReadBytes("twin.nes"), Image(DemoRom()));
    EXPECT_NE(ReadBytes("rom.nes"), Image(DemoRom()));
    EXPECT_EQ(Run({"edit", "rom.nes", "0", "set", "1,1,2"}).err, "");
}
