#include <gtest/gtest.h>

#include <QByteArray>
#include <zlib.h>

#include "CliTestSupport.h"
#include "cli/Tmx.h"
#include "worldmap/WorldMap.h"

namespace {

using namespace clitest;

using Gids = std::vector<uint32_t>;

cli::Outcome Parse(const std::string& text, Grid& grid) {
    grid.assign(worldmap::GridSize, 0xFF);
    return cli::ParseTmx(text, "map.tmx", grid.data());
}

const std::string Tileset = "<tileset firstgid=\"1\" source=\"t.tsx\"/>\n";

// A map as Tiled writes it, with the given tilesets and one layer's <data> element.
std::string Map(const std::string& data, const std::string& tilesets = Tileset) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<map version=\"1.8\" orientation=\"orthogonal\" width=\"256\" height=\"256\" "
           "tilewidth=\"16\" tileheight=\"16\" infinite=\"0\">\n" +
           tilesets + "<layer id=\"1\" name=\"a\" width=\"256\" height=\"256\">\n" + data +
           "</layer>\n</map>\n";
}

std::string CsvData(const Gids& gids) {
    std::string text = "<data encoding=\"csv\">\n";
    for (std::size_t i = 0; i < gids.size(); ++i) {
        text += std::to_string(gids[i]) + (i + 1 == gids.size() ? "\n"
                                           : i % 256 == 255     ? ",\n"
                                                                : ",");
    }
    return text + "</data>\n";
}

QByteArray Packed(const Gids& gids) {
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

std::string Base64Data(const QByteArray& bytes, const std::string& compression = "") {
    return "<data encoding=\"base64\"" +
           (compression.empty() ? std::string() : " compression=\"" + compression + "\"") +
           ">\n   " + bytes.toBase64().toStdString() + "\n  </data>\n";
}

TEST(Tmx, ReadsWhatWeWriteAndEveryEncodingThroughTheTilesetsFirstGid) {
    const Grid grid = NoiseGrid(4);
    const std::string ours = cli::WriteTmx(grid.data(), "sheet & co.png", "Water World Map");
    EXPECT_NE(ours.find("<image source=\"sheet &amp; co.png\" width=\"256\" height=\"128\"/>"),
              std::string::npos);
    EXPECT_NE(ours.find("firstgid=\"1\""), std::string::npos);
    // The others hold tiles of the second tileset, whose first gid is 200.
    const std::string tilesets = Tileset + "<tileset firstgid=\"200\" source=\"u.tsx\"/>\n";
    Gids gids;
    std::string xmlTiles = "<data>\n";
    for (uint8_t t : grid) {
        gids.push_back(t + 200u);
        xmlTiles += "<tile gid=\"" + std::to_string(gids.back()) + "\"/>\n";
    }
    const std::string texts[] = {
        ours,
        Map(CsvData(gids), tilesets),
        Map(Base64Data(Packed(gids)), tilesets),
        Map(Base64Data(Deflate(Packed(gids), false), "zlib"), tilesets),
        Map(Base64Data(Deflate(Packed(gids), true), "gzip"), tilesets),
        Map(xmlTiles + "</data>\n", tilesets),
    };
    for (const std::string& text : texts) {
        Grid back;
        const cli::Outcome result = Parse(text, back);
        ASSERT_TRUE(result.Ok()) << result.message;
        EXPECT_EQ(back, grid);
    }
}

TEST(Tmx, RefusesCellsItCannotStore) {
    // Cell (3, 2) is on line 8: the <data> tag is on line 5 and row 0 follows it.
    const auto withCell = [](uint32_t gid) {
        Gids gids(worldmap::GridSize, 1);
        gids[2 * 256 + 3] = gid;
        return gids;
    };
    const std::string at = "map.tmx: line 8, column 7: cell x 3, y 2: ";
    const std::pair<uint32_t, std::string> cases[] = {
        {0, "the cell is empty"},
        {0x80000001u, "the tile is flipped or rotated"},
        {0x20000001u, "the tile is flipped or rotated"},
        {129, "tile 128 is outside 0 to 127"},
    };
    for (const auto& [gid, message] : cases) {
        Grid grid;
        const cli::Outcome result = Parse(Map(CsvData(withCell(gid))), grid);
        EXPECT_EQ(result.code, cli::ExitBadData);
        EXPECT_EQ(result.message, at + message);
    }
    Grid grid;
    EXPECT_EQ(Parse(Map(Base64Data(Packed(withCell(0)))), grid).message,
              "map.tmx: line 5: cell x 3, y 2: the cell is empty");
}

TEST(Tmx, RefusesMalformedMaps) {
    const Gids gids(worldmap::GridSize, 1);
    const QByteArray packed = Packed(gids);
    std::string wide = Map(CsvData(gids));
    wide.replace(wide.find("width=\"256\""), 11, "width=\"255\"");
    std::string infinite = Map(CsvData(gids));
    infinite.replace(infinite.find("infinite=\"0\""), 12, "infinite=\"1\"");
    const std::string cases[] = {
        "",
        "<map width=\"256\" height=\"256\">", // cut short
        "<tileset/>",                         // not a map
        wide,
        infinite,
        Map(CsvData(gids), ""), // no tileset
        Map(CsvData(Gids(100, 1))),
        Map(Base64Data(packed.left(1000))),
        Map(Base64Data(packed.left(5000), "zlib")), // not zlib data
        Map(Base64Data(Deflate(packed, false), "zstd")),
        Map("<data encoding=\"csv\">1,2,x</data>\n"),
        Map(""), // layer without data
    };
    for (const std::string& text : cases) {
        Grid grid;
        const cli::Outcome result = Parse(text, grid);
        EXPECT_EQ(result.code, cli::ExitBadData) << text.substr(0, 300);
        EXPECT_EQ(result.message.rfind("map.tmx: line ", 0), 0u) << result.message;
    }
}

} // namespace
