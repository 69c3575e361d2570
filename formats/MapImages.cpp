#include "formats/MapImages.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>
#include <zlib.h>

#include "gfx/ColourTable.h"
#include "gfx/TileRenderer.h"
#include "gfx/TileSheet.h"
#include "worldmap/WorldMap.h"

namespace formats {

namespace {

using gfx::SheetColumns;

// The map's tiles as indices into one shared colour table, so the pictures are small
// palette PNGs.
struct IndexedTiles {
    QList<QRgb> colours;
    std::vector<uint8_t> pixels; // tile-major, 256 per tile
};

IndexedTiles IndexTiles(const CRomImage& rom, int mapId) {
    auto rendered = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(rom, mapId, *rendered);
    IndexedTiles tiles;
    std::vector<uint32_t> seen;
    tiles.pixels.reserve(gfx::TileCount * gfx::TileSize * gfx::TileSize);
    for (const gfx::TilePixels& tile : *rendered) {
        for (uint32_t colour : tile) {
            auto it = std::find(seen.begin(), seen.end(), colour);
            if (it == seen.end()) {
                seen.push_back(colour);
                tiles.colours.push_back(gfx::ToArgb(colour));
                it = seen.end() - 1;
            }
            tiles.pixels.push_back(static_cast<uint8_t>(it - seen.begin()));
        }
    }
    return tiles;
}

// Copies tile `tile` to the picture with its top-left pixel at (x0, y0).
void Blit(QImage& image, const IndexedTiles& tiles, int tile, int x0, int y0) {
    const uint8_t* source = tiles.pixels.data() + tile * gfx::TileSize * gfx::TileSize;
    for (int r = 0; r < gfx::TileSize; ++r) {
        std::copy_n(source + r * gfx::TileSize, gfx::TileSize, image.scanLine(y0 + r) + x0);
    }
}

QImage Blank(const IndexedTiles& tiles, int width, int height) {
    QImage image(width, height, QImage::Format_Indexed8);
    image.setColorTable(tiles.colours);
    return image;
}

Result Encode(const QImage& image, Bytes& png) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG")) {
        return Fail(Fault::File, "the picture could not be made (out of memory?)");
    }
    png.assign(data.begin(), data.end());
    return Done();
}

// Whether the chunks after the signature run whole, each with its checksum right, up to the
// end chunk. A file cut short or damaged is refused here: the decoder would report it on
// stderr by itself, besides our one line.
bool ChunksWhole(const Bytes& png) {
    const auto word = [&](std::size_t at) {
        return static_cast<uint32_t>(png[at]) << 24 | static_cast<uint32_t>(png[at + 1]) << 16 |
               static_cast<uint32_t>(png[at + 2]) << 8 | static_cast<uint32_t>(png[at + 3]);
    };
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = word(at);
        if (length > png.size() - at - 12) {
            return false;
        }
        const uLong sum = crc32(0, png.data() + at + 4, static_cast<uInt>(length) + 4);
        if (sum != word(at + 8 + length)) {
            return false;
        }
        if (std::memcmp(png.data() + at + 4, "IEND", 4) == 0) {
            return true;
        }
        at += 12 + std::size_t{length};
    }
    return false;
}

} // namespace

Result TileSheetPng(const CRomImage& rom, int mapId, Bytes& png) {
    const IndexedTiles tiles = IndexTiles(rom, mapId);
    QImage sheet = Blank(tiles, SheetColumns * gfx::TileSize, gfx::SheetRows * gfx::TileSize);
    for (int t = 0; t < gfx::TileCount; ++t) {
        const gfx::SheetPoint at = gfx::SheetCellOrigin(t, gfx::TileSize);
        Blit(sheet, tiles, t, at.x, at.y);
    }
    return Encode(sheet, png);
}

Result ReadTileSheetPng(const std::string& path, gfx::MetatilePixels& sheet) {
    Bytes bytes;
    if (Result read = ReadFile(path, bytes); !read.Ok()) {
        return read;
    }
    QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    if (!reader.canRead()) {
        return FileFail(Fault::BadData, path, "not a PNG picture");
    }
    if (!ChunksWhole(bytes)) {
        return FileFail(Fault::BadData, path, "the PNG is cut short or damaged");
    }
    // The size is checked from the header, before any pixel is decoded.
    const QSize size = reader.size();
    const int width = SheetColumns * gfx::TileSize;
    const int height = gfx::SheetRows * gfx::TileSize;
    if (size != QSize(width, height)) {
        return FileFail(Fault::BadData, path,
                        "the picture is " + std::to_string(size.width()) + " x " +
                            std::to_string(size.height()) + " pixels; a tile sheet is " +
                            std::to_string(width) + " x " + std::to_string(height));
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return FileFail(Fault::BadData, path,
                        "the PNG cannot be decoded: " + reader.errorString().toStdString());
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const int tile = gfx::SheetTileAt(x, y, gfx::TileSize);
            sheet[static_cast<std::size_t>(tile)][static_cast<std::size_t>(
                y % gfx::TileSize * gfx::TileSize + x % gfx::TileSize)] =
                static_cast<uint32_t>(qRed(line[x]) | qGreen(line[x]) << 8 | qBlue(line[x]) << 16) |
                (qAlpha(line[x]) == 255 ? 0u : NotOpaque);
        }
    }
    return Done();
}

Result MapPng(const CRomImage& rom, int mapId, worldmap::GridView grid, Bytes& png) {
    const IndexedTiles tiles = IndexTiles(rom, mapId);
    QImage picture =
        Blank(tiles, worldmap::MapWidth * gfx::TileSize, worldmap::MapHeight * gfx::TileSize);
    if (picture.isNull()) {
        return Fail(Fault::File, "the picture could not be made (out of memory?)");
    }
    for (int y = 0; y < worldmap::MapHeight; ++y) {
        for (int x = 0; x < worldmap::MapWidth; ++x) {
            Blit(picture, tiles, grid[y * worldmap::MapWidth + x], x * gfx::TileSize,
                 y * gfx::TileSize);
        }
    }
    return Encode(picture, png);
}

} // namespace formats
