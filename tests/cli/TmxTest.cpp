#include <gtest/gtest.h>

#include <QByteArray>
#include <zlib.h>

#include "CliTestSupport.h"
#include "cli/Tmx.h"
#include "worldmap/WorldMap.h"

namespace {

using namespace clitest;

cli::Outcome Parse(const std::string& text, Grid& grid) {
    grid.assign(worldmap::GridSize, 0xFF);
    return cli::ParseTmx(text, "map.tmx", grid.data());
}

// A map as Tiled writes it, with the given tilesets and one layer's <data> element.
std::string Map(const std::string& tilesets, const std::string& data) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<map version=\"1.8\" orientation=\"orthogonal\" width=\"256\" height=\"256\" "
           "tilewidth=\"16\" tileheight=\"16\" infinite=\"0\">\n" +
           tilesets + "<layer id=\"1\" name=\"a\" width=\"256\" height=\"256\">\n" + data +
           "</layer>\n</map>\n";
}

std::string Tileset(int firstGid) {
    return "<tileset firstgid=\"" + std::to_string(firstGid) + "\" source=\"t.tsx\"/>\n";
}

std::vector<uint32_t> Gids(const Grid& grid, uint32_t firstGid) {
    std::vector<uint32_t> gids;
    for (uint8_t t : grid) {
        gids.push_back(t + firstGid);
    }
    return gids;
}

std::string CsvData(const std::vector<uint32_t>& gids) {
    std::string text = "<data encoding=\"csv\">\n";
    for (std::size_t i = 0; i < gids.size(); ++i) {
        text += std::to_string(gids[i]) + (i + 1 == gids.size() ? "\n"
                                           : i % 256 == 255     ? ",\n"
                                                                : ",");
    }
    return text + "</data>\n";
}

QByteArray Packed(const std::vector<uint32_t>& gids) {
    QByteArray raw;
    for (uint32_t g : gids) {
        for (int b = 0; b < 4; ++b) {
            raw.append(static_cast<char>((g >> (8 * b)) & 0xFF));
        }
    }
    return raw;
}

QByteArray Deflate(const QByteArray& raw, bool gzip) {
    z_stream s{};
    deflateInit2(&s, 9, Z_DEFLATED, gzip ? 31 : 15, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&s, static_cast<uLong>(raw.size()))), 0);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    s.avail_in = static_cast<uInt>(raw.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(static_cast<qsizetype>(s.total_out));
    deflateEnd(&s);
    return out;
}

std::string Base64Data(const QByteArray& bytes, const std::string& compression) {
    return "<data encoding=\"base64\"" +
           (compression.empty() ? std::string() : " compression=\"" + compression + "\"") +
           ">\n   " + bytes.toBase64().toStdString() + "\n  </data>\n";
}

TEST(Tmx, WhatWeWriteReadsBack) {
    const Grid grid = NoiseGrid(3);
    const std::string text = cli::WriteTmx(grid.data(), "sheet & co.png", "Water World Map");
    EXPECT_NE(text.find("<image source=\"sheet &amp; co.png\" width=\"256\" height=\"128\"/>"),
              std::string::npos);
    EXPECT_NE(text.find("firstgid=\"1\""), std::string::npos);
    Grid back;
    ASSERT_TRUE(Parse(text, back).Ok());
    EXPECT_EQ(back, grid);
}

TEST(Tmx, ReadsEveryEncodingThroughTheTilesetsFirstGid) {
    const Grid grid = NoiseGrid(4);
    // Tiles of the second tileset, whose first gid is 200.
    const std::string tilesets = Tileset(1) + Tileset(200);
    const std::vector<uint32_t> gids = Gids(grid, 200);
    std::string xmlTiles = "<data>\n";
    for (uint32_t g : gids) {
        xmlTiles += "<tile gid=\"" + std::to_string(g) + "\"/>\n";
    }
    const std::string datas[] = {
        CsvData(gids),
        Base64Data(Packed(gids), ""),
        Base64Data(Deflate(Packed(gids), false), "zlib"),
        Base64Data(Deflate(Packed(gids), true), "gzip"),
        xmlTiles + "</data>\n",
    };
    for (const std::string& data : datas) {
        Grid back;
        const cli::Outcome result = Parse(Map(tilesets, data), back);
        ASSERT_TRUE(result.Ok()) << result.message;
        EXPECT_EQ(back, grid);
    }
}

TEST(Tmx, RefusesCellsItCannotStore) {
    std::vector<uint32_t> gids(worldmap::GridSize, 1);
    const auto withCell = [&](int at, uint32_t gid) {
        std::vector<uint32_t> g = gids;
        g[static_cast<std::size_t>(at)] = gid;
        return g;
    };
    // Cell (3, 2) is on line 8: the <data> tag is on line 5 and row 0 follows it.
    const int cell = 2 * 256 + 3;
    struct Case {
        std::vector<uint32_t> gids;
        std::string message;
    } cases[] = {
        {withCell(cell, 0), "line 8, column 7: cell x 3, y 2: the cell is empty"},
        {withCell(cell, 0x80000001u),
         "line 8, column 7: cell x 3, y 2: the tile is flipped or rotated"},
        {withCell(cell, 0x20000001u),
         "line 8, column 7: cell x 3, y 2: the tile is flipped or rotated"},
        {withCell(cell, 129), "line 8, column 7: cell x 3, y 2: tile 128 is outside 0 to 127"},
    };
    for (const Case& c : cases) {
        Grid grid;
        const cli::Outcome result = Parse(Map(Tileset(1), CsvData(c.gids)), grid);
        EXPECT_EQ(result.code, cli::ExitBadData);
        EXPECT_EQ(result.message, "map.tmx: " + c.message);
    }
    Grid grid;
    const cli::Outcome packed =
        Parse(Map(Tileset(1), Base64Data(Packed(withCell(cell, 0)), "")), grid);
    EXPECT_EQ(packed.message, "map.tmx: line 5: cell x 3, y 2: the cell is empty");
}

TEST(Tmx, RefusesMalformedMaps) {
    const std::vector<uint32_t> gids(worldmap::GridSize, 1);
    const QByteArray packed = Packed(gids);
    std::string wide = Map(Tileset(1), CsvData(gids));
    wide.replace(wide.find("width=\"256\""), 11, "width=\"255\"");
    std::string infinite = Map(Tileset(1), CsvData(gids));
    infinite.replace(infinite.find("infinite=\"0\""), 12, "infinite=\"1\"");
    const std::string cases[] = {
        "",
        "<map width=\"256\" height=\"256\">", // cut short
        "<tileset/>",                         // not a map
        wide,
        infinite,
        Map("", CsvData(gids)), // no tileset
        Map(Tileset(1), CsvData(std::vector<uint32_t>(100, 1))),
        Map(Tileset(1), Base64Data(packed.left(1000), "")),
        Map(Tileset(1), "<data encoding=\"base64\">@@@@</data>\n"),
        Map(Tileset(1), Base64Data(packed.left(5000), "zlib")), // not zlib data
        Map(Tileset(1), Base64Data(Deflate(packed, false), "zstd")),
        Map(Tileset(1), "<data encoding=\"csv\">1,2,x</data>\n"),
        Map(Tileset(1), ""), // layer without data
        Map(Tileset(1), "") + "<map/>",
    };
    for (const std::string& text : cases) {
        Grid grid;
        const cli::Outcome result = Parse(text, grid);
        EXPECT_EQ(result.code, cli::ExitBadData) << text.substr(0, 300);
        EXPECT_EQ(result.message.rfind("map.tmx: line ", 0), 0u) << result.message;
    }
}

} // namespace
