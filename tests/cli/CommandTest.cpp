// The tool as users run it: exit codes, messages, and files left alone on failure.
#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <tuple>

#include "CliTestSupport.h"
#include "cli/GridCsv.h"
#include "cli/Tmx.h"
#include "gfx/StandardPalette.h"
#include "gfx/TileRenderer.h"

namespace {

using namespace clitest;

constexpr auto npos = std::string::npos;

QJsonDocument Json(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text));
}

class CliCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(RunCli({"demo", rom_}).code, 0);
        ASSERT_EQ(ReadBytes(rom_), BytesOf(DemoRom()));
    }

    // Runs a command that must fail with `code`, one line on stderr, and the ROM as it was.
    RunResult Refused(const std::vector<std::string>& args, int code) {
        const Bytes before = ReadBytes(rom_);
        RunResult r = RunCli(args, dir_ / "");
        EXPECT_EQ(r.code, code) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(ReadBytes(rom_), before);
        return r;
    }

    TempDir dir_;
    std::string rom_ = dir_ / "rom.nes";
};

std::string FreeBytesNote(const CRomImage& rom) {
    return "free bytes: " + std::to_string(worldmap::CountFreeBytes(rom));
}

TEST_F(CliCommand, InfoReportsTheLayoutAndABrokenRegionStopsImports) {
    const RunResult r = RunCli({"info", rom_, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const QJsonObject info = Json(r.out).object();
    const int freeBytes = worldmap::CountFreeBytes(DemoRom());
    EXPECT_EQ(info["free_bytes"].toInt(), freeBytes);
    EXPECT_TRUE(info["layout_ok"].toBool());
    EXPECT_TRUE(info["problems"].toArray().isEmpty());
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
    const RunResult text = RunCli({"info", rom_});
    EXPECT_NE(text.out.find("Free bytes: " + std::to_string(freeBytes)), npos);
    EXPECT_NE(text.out.find("Layout: OK"), npos);

    WriteBytes(rom_, Bytes(RomFileSize, 0)); // every row pointer 0: outside the row data
    const RunResult broken = RunCli({"info", rom_, "--json"});
    EXPECT_EQ(broken.code, 3);
    EXPECT_NE(broken.out.find("\"layout_ok\": false"), npos);
    WriteText(dir_ / "sea.csv", cli::WriteGridCsv(Grid(worldmap::GridSize, 0).data()));
    EXPECT_NE(Refused({"import", rom_, "0", "sea.csv"}, 3).err.find("region is broken"), npos);
}

TEST_F(CliCommand, ExportThenImportLeavesEveryMapAsItWas) {
    for (const char* format : {"csv", "tmx"}) {
        for (int m = 0; m < 4; ++m) {
            const std::string file = dir_ / ("map" + std::to_string(m) + "." + format);
            ASSERT_EQ(RunCli({"export", rom_, std::to_string(m), file}).code, 0);
            const RunResult r = RunCli({"import", rom_, std::to_string(m), file});
            ASSERT_EQ(r.code, 0) << r.err;
            EXPECT_NE(r.out.find(FreeBytesNote(DemoRom())), npos);
        }
    }
    EXPECT_EQ(ReadBytes(rom_), BytesOf(DemoRom()));
}

TEST_F(CliCommand, ImportOfAnEditedMapStoresWhatTheCoreStores) {
    Grid edited = Decode(DemoRom(), 2);
    for (int x = 0; x < 256; x += 3) {
        edited[100 * 256 + x] = 7; // a line of towns
    }
    auto expected = std::make_unique<CRomImage>(DemoRom());
    ASSERT_TRUE(
        worldmap::StoreWorldMap(*expected, 2, edited.data(), worldmap::CountFreeBytes(*expected)));
    WriteText(dir_ / "e.csv", cli::WriteGridCsv(edited.data()));
    WriteText(dir_ / "e.tmx", cli::WriteTmx(edited.data(), "e.png", "Standard World Map"));
    for (const char* file : {"e.csv", "e.tmx"}) {
        WriteBytes(rom_, BytesOf(DemoRom()));
        const RunResult r = RunCli({"import", rom_, "standard", dir_ / file});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(ReadBytes(rom_), BytesOf(*expected)) << file;
        EXPECT_NE(r.out.find(FreeBytesNote(*expected)), npos);
    }
}

TEST_F(CliCommand, AMapThatDoesNotFitIsRefusedWithWhatItNeeds) {
    testsupport::RomBuilder builder; // four one-tile maps: a region nearly all free
    const auto rom = builder.Build();
    WriteBytes(rom_, BytesOf(*rom));
    const Grid noisy = NoiseGrid(5);
    WriteText(dir_ / "noisy.csv", cli::WriteGridCsv(noisy.data()));
    Bytes coded(worldmap::MaxEncodedSize);
    uint16_t pointers[256];
    const int needed = worldmap::EncodeWorldMap(noisy.data(), 0, coded.data(), pointers);
    const auto available =
        worldmap::CountFreeBytes(*rom) + builder.MapStart(2) - builder.MapStart(1);
    EXPECT_EQ(Refused({"import", rom_, "1", "noisy.csv"}, 3).err,
              "atlasforge-cli: noisy.csv: Water World Map needs " + std::to_string(needed) +
                  " bytes but only " + std::to_string(available) + " are available\n");
}

TEST_F(CliCommand, ErrorsExitWithTheirCodeAndOneLineNamingTheFile) {
    WriteText(dir_ / "bad.csv", "1,2,3\n");
    WriteText(dir_ / "bad.tmx", "<map width=\"256\" height=\"256\"><tileset firstgid=\"1\"/>");
    WriteBytes(dir_ / "bad.ips", {'P', 'A', 'T', 'C', 'H', 0, 0});
    WriteBytes(dir_ / "short.pal", Bytes(100, 0));
    WriteBytes(dir_ / "small.nes", Bytes(1000, 0));
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"import", rom_, "0", "bad.csv"},
         4,
         "atlasforge-cli: bad.csv: line 1, column 6: the line has 3 of 256 numbers\n"},
        {{"import", rom_, "0", "bad.tmx"}, 4, "bad.tmx: line 1"},
        {{"patch", rom_, "bad.ips"}, 4, "bad.ips: offset 5"},
        {{"tiles", rom_, "0", "t.png", "--palette", "short.pal"}, 4, "short.pal"},
        {{"info", "small.nes"}, 4, "small.nes"},
        {{"info", "missing.nes"}, 2, "missing.nes"},
        {{"import", rom_, "0", "missing.csv"}, 2, "missing.csv"},
        {{"export", rom_, "0", "no/such/folder/x.csv"}, 2, "x.csv"},
        {{}, 1, ""},
        {{"paint", rom_}, 1, "paint"},
        {{"export", rom_, "4", "x.csv"}, 1, ""},
        {{"export", rom_, "0", "x.bmp"}, 1, ""},
        {{"info", rom_, "--verbose"}, 1, "--verbose"},
        {{"info"}, 1, ""},
    };
    for (const auto& [args, code, text] : cases) {
        EXPECT_NE(Refused(args, code).err.find(text), npos) << text;
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ / "t.png"));
    EXPECT_EQ(RunCli({"--help"}).code, 0);
    for (const char* command :
         {"info", "export", "import", "tiles", "enemies", "diff", "patch", "demo"}) {
        const RunResult help = RunCli({command, "--help"});
        EXPECT_EQ(help.code, 0);
        EXPECT_EQ(help.out.rfind(std::string("Usage: atlasforge-cli ") + command, 0), 0u);
    }
}

TEST_F(CliCommand, PicturesAreDrawnWithTheMapsOwnTilesAndTheChosenPalette) {
    ASSERT_EQ(RunCli({"tiles", rom_, "underwater", "t.png"}, dir_ / "").code, 0);
    const RunResult noted = RunCli({"export", rom_, "3", "m.png"}, dir_ / "");
    ASSERT_EQ(noted.code, 0);
    EXPECT_NE(noted.err.find("built-in standard palette"), npos);

    auto rom = std::make_unique<CRomImage>(DemoRom());
    gfx::SetColourTable(*rom, gfx::StandardPalette().data(), gfx::StandardPalette().size());
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(*rom, 3, *tiles);
    const auto colour = [&](int tile, int pixel) {
        const uint32_t c = (*tiles)[tile][pixel];
        return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    };
    const QImage sheet(QString::fromStdString(dir_ / "t.png"));
    ASSERT_EQ(sheet.size(), QSize(256, 128));
    for (int t : {0, 17, 64, 127}) {
        for (int p : {0, 37, 255}) {
            EXPECT_EQ(sheet.pixel(t % 16 * 16 + p % 16, t / 16 * 16 + p / 16), colour(t, p));
        }
    }
    const QImage map(QString::fromStdString(dir_ / "m.png"));
    ASSERT_EQ(map.size(), QSize(4096, 4096));
    const Grid grid = Decode(DemoRom(), 3);
    for (int cell : {0, 1000, 40000, 65535}) {
        EXPECT_EQ(map.pixel(cell % 256 * 16 + 5, cell / 256 * 16 + 9),
                  colour(grid[cell], 9 * 16 + 5));
    }

    Bytes red(192, 0);
    for (std::size_t i = 0; i < red.size(); i += 3) {
        red[i] = 200;
    }
    WriteBytes(dir_ / "palette.pal", red); // found in the working folder, used quietly
    EXPECT_EQ(RunCli({"tiles", rom_, "0", "r.png"}, dir_ / "").err, "");
    EXPECT_EQ(QImage(QString::fromStdString(dir_ / "r.png")).pixel(3, 3), qRgb(200, 0, 0));
}

TEST_F(CliCommand, EnemiesAsCsvAndJson) {
    const RunResult csv = RunCli({"enemies", rom_});
    ASSERT_EQ(csv.code, 0);
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')),
              "index,name,back_attack,hp,byte3,byte4,byte5,byte6,byte7,byte8,attack_power,byte10,"
              "byte11,byte12,byte13,byte14,byte15,gold,exp");
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 215);
    EXPECT_NE(csv.out.find("\n0,Goblin,1,28,"), npos);

    const QJsonArray list = Json(RunCli({"enemies", rom_, "--json"}).out).array();
    ASSERT_EQ(list.size(), 214);
    EXPECT_EQ(list[37].toObject()["name"].toString(), "Red Wolf");
    const QJsonObject last = list[213].toObject();
    EXPECT_EQ(last["index"].toInt(), 213);
    EXPECT_EQ(last["record"].toArray().size(), 16);
    EXPECT_EQ(last["gold"].toInt(), DemoRom().ReadWord(0x61C68 + 2 * 213));
    EXPECT_EQ(last["exp"].toInt(), DemoRom().ReadWord(0x21D92 + 2 * 213));
}

TEST_F(CliCommand, DiffAndPatchReproduceTheEditedFile) {
    Bytes edited = ReadBytes(rom_);
    edited[0x60010] = 0x99;
    edited.resize(400000);
    WriteBytes(dir_ / "edited.nes", edited);
    ASSERT_EQ(RunCli({"diff", rom_, dir_ / "edited.nes", dir_ / "p.ips"}).code, 0);
    ASSERT_EQ(RunCli({"patch", rom_, dir_ / "p.ips", dir_ / "out.nes"}).code, 0);
    EXPECT_EQ(ReadBytes(dir_ / "out.nes"), edited);
    ASSERT_EQ(RunCli({"patch", rom_, dir_ / "p.ips"}).code, 0); // in place
    EXPECT_EQ(ReadBytes(rom_), edited);
}

} // namespace
