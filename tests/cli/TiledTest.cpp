// Against the Tiled map editor itself, run headless: it must read what we export, and what
// it writes must import.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "CliTestSupport.h"
#include "worldmap/WorldMap.h"

namespace {

using namespace clitest;

bool HaveTiled() {
    return std::system("command -v tiled >/dev/null 2>&1") == 0;
}

// `tiled --export-map FORMAT in out`, on the offscreen platform, with its settings kept in
// a folder of its own rather than the user's.
bool TiledConvert(const std::string& format, const std::string& in, const std::string& out) {
    static const TempDir home;
    const std::string command = "HOME='" + home / "" + "' XDG_CONFIG_HOME='" + home / "" +
                                "' QT_QPA_PLATFORM=offscreen timeout 120 tiled --export-map " +
                                format + " '" + in + "' '" + out + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

QJsonObject ReadJson(const std::string& path) {
    const Bytes bytes = ReadBytes(path);
    return QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size())))
        .object();
}

class WithTiled : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTiled()) {
            GTEST_SKIP() << "the Tiled map editor (Debian package tiled) is not installed";
        }
        rom_ = dir_ / "rom.nes";
        WriteBytes(rom_, Bytes(DemoRom().RomBytes, DemoRom().RomBytes + RomFileSize));
    }
    TempDir dir_;
    std::string rom_;
};

TEST_F(WithTiled, ReadsEveryMapWeExportCellByCell) {
    for (int m = 0; m < 4; ++m) {
        const std::string tmx = dir_ / ("map" + std::to_string(m) + ".tmx");
        ASSERT_EQ(RunCli({"export", rom_, std::to_string(m), tmx}).code, 0);
        ASSERT_TRUE(TiledConvert("json", tmx, dir_ / "map.json")) << "map " << m;
        const QJsonObject map = ReadJson(dir_ / "map.json");
        EXPECT_EQ(map["width"].toInt(), 256);
        EXPECT_EQ(map["tilewidth"].toInt(), 16);
        const QJsonObject tileset = map["tilesets"].toArray()[0].toObject();
        EXPECT_EQ(tileset["firstgid"].toInt(), 1);
        EXPECT_EQ(tileset["tilecount"].toInt(), 128);
        EXPECT_EQ(tileset["image"].toString().toStdString(),
                  "map" + std::to_string(m) + "-tileset.png");
        const QJsonArray data = map["layers"].toArray()[0].toObject()["data"].toArray();
        ASSERT_EQ(data.size(), 65536);
        const Grid grid = Decode(DemoRom(), m);
        int differing = 0;
        for (int i = 0; i < 65536; ++i) {
            differing += data[i].toInt() != grid[static_cast<std::size_t>(i)] + 1;
        }
        EXPECT_EQ(differing, 0) << "map " << m;
    }
}

TEST_F(WithTiled, MapsTiledWritesImport) {
    // An edited grid goes out through our exporter, round the JSON format, and comes back
    // as Tiled's own TMX in CSV and in base64 with zlib and gzip.
    Grid edited = Decode(DemoRom(), 0);
    std::fill(edited.begin() + 300, edited.begin() + 800, static_cast<uint8_t>(65));
    auto rom = CopyOf(DemoRom());
    ASSERT_TRUE(worldmap::StoreWorldMap(*rom, 0, edited.data(), worldmap::CountFreeBytes(*rom)));
    WriteBytes(dir_ / "edited.nes", Bytes(rom->RomBytes, rom->RomBytes + RomFileSize));
    ASSERT_EQ(RunCli({"export", dir_ / "edited.nes", "0", dir_ / "ours.tmx"}).code, 0);
    ASSERT_TRUE(TiledConvert("json", dir_ / "ours.tmx", dir_ / "plain.json"));

    QJsonObject map = ReadJson(dir_ / "plain.json");
    QJsonArray layers = map["layers"].toArray();
    QJsonObject layer = layers[0].toObject();
    QByteArray raw;
    for (const auto& gid : layer["data"].toArray()) {
        for (int b = 0; b < 4; ++b) {
            raw.append(static_cast<char>((gid.toInt() >> (8 * b)) & 0xFF));
        }
    }
    layer["encoding"] = "base64";
    layer["compression"] = "zlib";
    layer["data"] = QString::fromLatin1(qCompress(raw).mid(4).toBase64()); // zlib stream
    layers[0] = layer;
    map["layers"] = layers;
    std::ofstream(dir_ / "zlib.json") << QJsonDocument(map).toJson().toStdString();

    ASSERT_TRUE(TiledConvert("tmx", dir_ / "plain.json", dir_ / "csv.tmx"));
    ASSERT_TRUE(TiledConvert("tmx", dir_ / "zlib.json", dir_ / "zlib.tmx"));
    const Bytes zlibTmx = ReadBytes(dir_ / "zlib.tmx");
    EXPECT_NE(std::string(zlibTmx.begin(), zlibTmx.end()).find("compression=\"zlib\""),
              std::string::npos);
    for (const char* name : {"csv.tmx", "zlib.tmx"}) {
        WriteBytes(rom_, Bytes(DemoRom().RomBytes, DemoRom().RomBytes + RomFileSize));
        const RunResult r = RunCli({"import", rom_, "0", dir_ / name});
        ASSERT_EQ(r.code, 0) << name << ": " << r.err;
        EXPECT_EQ(ReadBytes(rom_), ReadBytes(dir_ / "edited.nes")) << name;
    }
}

} // namespace
