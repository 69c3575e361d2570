// The tool as users run it: exit codes, messages, and files left alone on failure.
#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <set>

#include "CliTestSupport.h"
#include "cli/GridCsv.h"
#include "gfx/StandardPalette.h"
#include "gfx/TileRenderer.h"
#include "worldmap/WorldMap.h"

namespace {

using namespace clitest;

class CliCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        rom_ = dir_ / "rom.nes";
        WriteBytes(rom_, Bytes(DemoRom().RomBytes, DemoRom().RomBytes + RomFileSize));
    }

    // Runs a command that must fail with `code` and leave the ROM as it was.
    RunResult Refused(const std::vector<std::string>& args, int code) {
        const Bytes before = ReadBytes(rom_);
        RunResult r = RunCli(args, dir_ / "");
        EXPECT_EQ(r.code, code) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(ReadBytes(rom_), before);
        return r;
    }

    TempDir dir_;
    std::string rom_;
};

TEST_F(CliCommand, DemoWritesTheDemoImage) {
    const RunResult r = RunCli({"demo", dir_ / "d.nes"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadBytes(dir_ / "d.nes"), ReadBytes(rom_));
}

TEST_F(CliCommand, InfoReportsEveryMapAndTheFreeBytes) {
    const RunResult r = RunCli({"info", rom_, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const QJsonObject info = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    const int freeBytes = worldmap::CountFreeBytes(DemoRom());
    EXPECT_EQ(info["free_bytes"].toInt(), freeBytes);
    EXPECT_TRUE(info["layout_ok"].toBool());
    EXPECT_TRUE(info["problems"].toArray().isEmpty());
    const QJsonArray maps = info["maps"].toArray();
    ASSERT_EQ(maps.size(), 4);
    EXPECT_EQ(maps[0].toObject()["name"].toString(), "Floating World Map");
    EXPECT_EQ(maps[0].toObject()["start"].toInt(), 0xD810);
    EXPECT_EQ(maps[3].toObject()["end"].toInt(), 0x13410 - freeBytes);
    for (int m = 0; m < 4; ++m) {
        const QJsonObject map = maps[m].toObject();
        EXPECT_EQ(map["size"].toInt(), map["end"].toInt() - map["start"].toInt());
        if (m > 0) {
            EXPECT_EQ(map["start"].toInt(), maps[m - 1].toObject()["end"].toInt());
        }
    }
    const RunResult text = RunCli({"info", rom_});
    EXPECT_NE(text.out.find("Free bytes: " + std::to_string(freeBytes)), std::string::npos);
    EXPECT_NE(text.out.find("Layout: OK"), std::string::npos);

    WriteBytes(rom_, Bytes(RomFileSize, 0)); // every row pointer 0: outside the row data
    const RunResult broken = RunCli({"info", rom_, "--json"});
    EXPECT_EQ(broken.code, 3);
    EXPECT_NE(broken.out.find("\"layout_ok\": false"), std::string::npos);
    WriteText(dir_ / "sea.csv", cli::WriteGridCsv(Grid(worldmap::GridSize, 0).data()));
    EXPECT_NE(Refused({"import", rom_, "0", dir_ / "sea.csv"}, 3).err.find("region is broken"),
              std::string::npos);
}

TEST_F(CliCommand, ExportThenImportLeavesEveryMapAsItWas) {
    for (const char* format : {"csv", "tmx"}) {
        for (int m = 0; m < 4; ++m) {
            const std::string file = dir_ / ("map" + std::to_string(m) + "." + format);
            ASSERT_EQ(RunCli({"export", rom_, std::to_string(m), file}).code, 0);
            const RunResult r = RunCli({"import", rom_, std::to_string(m), file});
            ASSERT_EQ(r.code, 0) << r.err;
            EXPECT_NE(
                r.out.find("free bytes: " + std::to_string(worldmap::CountFreeBytes(DemoRom()))),
                std::string::npos);
        }
    }
    EXPECT_EQ(ReadBytes(rom_), Bytes(DemoRom().RomBytes, DemoRom().RomBytes + RomFileSize));
}

TEST_F(CliCommand, ImportStoresWhatTheCoreStores) {
    Grid edited = Decode(DemoRom(), 2);
    for (int x = 0; x < 256; x += 3) {
        edited[100 * 256 + x] = 7; // a line of towns
    }
    WriteText(dir_ / "edited.csv", cli::WriteGridCsv(edited.data()));
    auto expected = CopyOf(DemoRom());
    ASSERT_TRUE(
        worldmap::StoreWorldMap(*expected, 2, edited.data(), worldmap::CountFreeBytes(*expected)));

    const RunResult r = RunCli({"import", rom_, "standard", dir_ / "edited.csv"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadBytes(rom_), Bytes(expected->RomBytes, expected->RomBytes + RomFileSize));
    EXPECT_NE(r.out.find("free bytes: " + std::to_string(worldmap::CountFreeBytes(*expected))),
              std::string::npos);
}

TEST_F(CliCommand, AMapThatDoesNotFitIsRefusedWithWhatItNeeds) {
    // Uniform maps leave the region nearly empty; a noisy map needs far more than it has.
    const std::array<Grid, 4> maps = {Grid(worldmap::GridSize, 0), Grid(worldmap::GridSize, 1),
                                      Grid(worldmap::GridSize, 2), Grid(worldmap::GridSize, 3)};
    auto rom = RomWithMaps(maps);
    WriteBytes(rom_, Bytes(rom->RomBytes, rom->RomBytes + RomFileSize));
    const Grid noisy = NoiseGrid(5);
    WriteText(dir_ / "noisy.csv", cli::WriteGridCsv(noisy.data()));
    std::vector<uint8_t> coded(worldmap::MaxEncodedSize);
    uint16_t pointers[256];
    const int needed = worldmap::EncodeWorldMap(noisy.data(), 0, coded.data(), pointers);
    const int available = worldmap::CountFreeBytes(*rom) + 2;

    const RunResult r = Refused({"import", rom_, "1", "noisy.csv"}, 3);
    EXPECT_EQ(r.err, "atlasforge-cli: noisy.csv: Water World Map needs " + std::to_string(needed) +
                         " bytes but only " + std::to_string(available) + " are available\n");
}

TEST_F(CliCommand, BadInputIsRefusedAndNamesWhereItIs) {
    WriteText(dir_ / "bad.csv", "1,2,3\n");
    EXPECT_EQ(Refused({"import", rom_, "0", "bad.csv"}, 4).err,
              "atlasforge-cli: bad.csv: line 1, column 6: the line has 3 of 256 numbers\n");
    WriteText(dir_ / "bad.tmx", "<map width=\"256\" height=\"256\"><tileset firstgid=\"1\"/>");
    EXPECT_NE(Refused({"import", rom_, "0", "bad.tmx"}, 4).err.find("bad.tmx: line 1"),
              std::string::npos);
    WriteBytes(dir_ / "bad.ips", {'P', 'A', 'T', 'C', 'H', 0, 0});
    EXPECT_NE(Refused({"patch", rom_, "bad.ips"}, 4).err.find("bad.ips: offset 5"),
              std::string::npos);
    WriteBytes(dir_ / "short.pal", Bytes(100, 0));
    Refused({"tiles", rom_, "0", "t.png", "--palette", "short.pal"}, 4);
    WriteBytes(dir_ / "small.nes", Bytes(1000, 0));
    Refused({"info", "small.nes"}, 4);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "t.png"));
}

TEST_F(CliCommand, UsageAndFileErrors) {
    Refused({}, 1);
    Refused({"paint", rom_}, 1);
    Refused({"export", rom_, "4", "x.csv"}, 1);
    Refused({"export", rom_, "0", "x.bmp"}, 1);
    Refused({"info", rom_, "--verbose"}, 1);
    Refused({"info"}, 1);
    Refused({"info", dir_ / "missing.nes"}, 2);
    Refused({"import", rom_, "0", "missing.csv"}, 2);
    Refused({"export", rom_, "0", dir_ / "no/such/folder/x.csv"}, 2);
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
    EXPECT_NE(noted.err.find("built-in standard palette"), std::string::npos);

    auto rom = CopyOf(DemoRom());
    const auto& standard = gfx::StandardPalette();
    gfx::SetColourTable(*rom, standard.data(), standard.size());
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(*rom, 3, *tiles);
    const auto colour = [](uint32_t c) {
        return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    };

    const QImage sheet(QString::fromStdString(dir_ / "t.png"));
    ASSERT_EQ(sheet.size(), QSize(256, 128));
    for (int t : {0, 17, 64, 127}) {
        for (int p : {0, 37, 255}) {
            EXPECT_EQ(sheet.pixel(t % 16 * 16 + p % 16, t / 16 * 16 + p / 16),
                      colour((*tiles)[t][p]));
        }
    }
    const QImage map(QString::fromStdString(dir_ / "m.png"));
    ASSERT_EQ(map.size(), QSize(4096, 4096));
    const Grid grid = Decode(DemoRom(), 3);
    for (int cell : {0, 1000, 40000, 65535}) {
        const int x = cell % 256;
        const int y = cell / 256;
        EXPECT_EQ(map.pixel(x * 16 + 5, y * 16 + 9), colour((*tiles)[grid[cell]][9 * 16 + 5]));
    }

    Bytes red(192, 0);
    for (int i = 0; i < 64; ++i) {
        red[3 * i] = 200;
    }
    WriteBytes(dir_ / "palette.pal", red); // found in the working folder
    const RunResult quiet = RunCli({"tiles", rom_, "0", "r.png"}, dir_ / "");
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(QImage(QString::fromStdString(dir_ / "r.png")).pixel(3, 3), qRgb(200, 0, 0));
}

TEST_F(CliCommand, EnemiesAsCsvAndJson) {
    const RunResult csv = RunCli({"enemies", rom_});
    ASSERT_EQ(csv.code, 0);
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')),
              "index,name,back_attack,hp,byte3,byte4,byte5,byte6,byte7,byte8,attack_power,byte10,"
              "byte11,byte12,byte13,byte14,byte15,gold,exp");
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 215);
    EXPECT_NE(csv.out.find("\n0,Goblin,1,28,"), std::string::npos);

    const RunResult json = RunCli({"enemies", rom_, "--json"});
    const QJsonArray list = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).array();
    ASSERT_EQ(list.size(), 214);
    std::set<QString> names;
    for (const auto& enemy : list) {
        names.insert(enemy.toObject()["name"].toString());
    }
    EXPECT_EQ(names.size(), 214u); // distinct, none empty
    EXPECT_EQ(names.count(""), 0u);
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
