// Against the Tiled map editor itself, run headless: it must read what we export, and what
// it writes must import.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>

#include "CliTestSupport.h"

namespace {

using namespace clitest;

// `tiled --export-map FORMAT in out`, on the offscreen platform, with its settings kept in
// a folder of its own rather than the user's.
bool TiledConvert(const std::string& format, const std::string& in, const std::string& out) {
    static const TempDir home;
    const std::string command = "HOME='" + home / "" + "' XDG_CONFIG_HOME='" + home / "" +
                                "' QT_QPA_PLATFORM=offscreen timeout 120 tiled --export-map " +
                                format + " '" + in + "' '" + out + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

TEST(WithTiled, ReadsEveryMapWeExportAndWhatItWritesImports) {
    if (std::system("command -v tiled >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "the Tiled map editor (Debian package tiled) is not installed";
    }
    TempDir dir;
    const std::string rom = dir / "rom.nes";
    WriteBytes(rom, BytesOf(DemoRom()));
    for (int m = 0; m < 4; ++m) {
        const std::string name = "map" + std::to_string(m);
        ASSERT_EQ(RunCli({"export", rom, std::to_string(m), dir / (name + ".tmx")}).code, 0);
        ASSERT_TRUE(TiledConvert("json", dir / (name + ".tmx"), dir / "map.json")) << name;
        const QJsonObject map =
            QJsonDocument::fromJson(QByteArray::fromStdString(ReadText(dir / "map.json"))).object();
        EXPECT_EQ(map["width"].toInt(), 256);
        EXPECT_EQ(map["tilewidth"].toInt(), 16);
        const QJsonObject tileset = map["tilesets"].toArray()[0].toObject();
        EXPECT_EQ(tileset["tilecount"].toInt(), 128);
        EXPECT_EQ(tileset["image"].toString().toStdString(), name + "-tileset.png");
        const QJsonArray data = map["layers"].toArray()[0].toObject()["data"].toArray();
        ASSERT_EQ(data.size(), 65536);
        const Grid grid = Decode(DemoRom(), m);
        int differing = 0;
        for (int i = 0; i < 65536; ++i) {
            differing += data[i].toInt() != grid[static_cast<std::size_t>(i)] + 1;
        }
        EXPECT_EQ(differing, 0) << name;

        // Tiled's own TMX of the map must import to exactly the bytes it came from.
        ASSERT_TRUE(TiledConvert("tmx", dir / (name + ".tmx"), dir / "tiled.tmx")) << name;
        const RunResult r = RunCli({"import", rom, std::to_string(m), dir / "tiled.tmx"});
        EXPECT_EQ(r.code, 0) << name << ": " << r.err;
        EXPECT_EQ(ReadBytes(rom), BytesOf(DemoRom())) << name;
    }
}

} // namespace
