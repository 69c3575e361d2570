#include "formats/Tmx.h"

#include <QByteArray>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <vector>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include "formats/Scanner.h"
#include "gfx/TileRenderer.h"
#include "gfx/TileSheet.h"
#include "worldmap/WorldMap.h"

namespace formats {

namespace {

constexpr int TilePixels = gfx::TileSize;
using gfx::SheetColumns;
using gfx::TileCount;
constexpr uint32_t FlipBits = 0xF0000000u; // horizontal, vertical, diagonal, hexagonal turn
constexpr std::size_t CellBytes = 4;
constexpr std::size_t LayerBytes = static_cast<std::size_t>(worldmap::GridSize) * CellBytes;
constexpr int ZstdLargestWindowLog = 23; // 8 MiB

// Where a cell's gid was written, for messages; column 0 when only the line is known.
struct Place {
    qint64 line = 0;
    qint64 column = 0;
};

struct Tileset {
    uint32_t firstGid = 0;
    std::string label; // its name or source, for messages; may be empty
};

struct Layer {
    std::vector<uint32_t> gids;
    std::vector<Place> places; // one per gid, or one for the whole data
};

class TmxReader {
  public:
    TmxReader(const std::string& text, const std::string& name)
        : xml_(QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size()))),
          name_(name) {}

    Result Read(worldmap::GridSpan grid) {
        if (Result map = Map(); !map.Ok()) {
            return map;
        }
        if (Result body = Body(); !body.Ok()) {
            return body;
        }
        if (!found_) {
            return ErrorAt({mapEndLine_, 0}, "the map has no tile layer");
        }
        return Tiles(grid);
    }

  private:
    Result Error(const std::string& what) const { return ErrorAt({xml_.lineNumber(), 0}, what); }
    Result ErrorAt(Place at, const std::string& what) const {
        std::string where = "line " + std::to_string(at.line);
        if (at.column > 0) {
            where += ", column " + std::to_string(at.column);
        }
        return FileFail(Fault::BadData, name_, where + ": " + what);
    }
    // Qt quotes some of the input between single quotes, and some (an encoding's name) not
    // at all: ClipQuoted keeps both short.
    Result XmlError() const {
        return ErrorAt({xml_.lineNumber(), xml_.columnNumber()},
                       "not well-formed XML: " + ClipQuoted(xml_.errorString().toStdString()));
    }

    // Reads an unsigned decimal attribute; `fallback` when it is absent.
    bool Number(const char* attribute, uint32_t fallback, uint32_t& value) const {
        const auto text = xml_.attributes().value(QLatin1String(attribute));
        if (text.isNull()) {
            value = fallback;
            return true;
        }
        bool ok = false;
        value = text.toUInt(&ok);
        return ok;
    }

    Result Map() {
        while (!xml_.atEnd() && !xml_.isStartElement()) {
            xml_.readNext();
        }
        if (xml_.hasError() || !xml_.isStartElement()) {
            return xml_.hasError() ? XmlError() : Error("not a Tiled map: no XML elements");
        }
        if (xml_.name() != QLatin1String("map")) {
            return Error("not a Tiled map: the first element is <" +
                         Clip(xml_.name().toString().toStdString()) + ">, not <map>");
        }
        uint32_t width = 0;
        uint32_t height = 0;
        if (!Number("width", 0, width) || !Number("height", 0, height)) {
            return Error("the map's width or height is not a number");
        }
        if (xml_.attributes().value(QLatin1String("infinite")) == QLatin1String("1")) {
            return Error("an infinite map cannot be imported; give it a fixed size of 256 x 256");
        }
        if (width != worldmap::MapWidth || height != worldmap::MapHeight) {
            return Error("the map is " + std::to_string(width) + " x " + std::to_string(height) +
                         " cells, not 256 x 256");
        }
        return Done();
    }

    // The rest of the document: tilesets (children of <map>) and the first tile layer.
    Result Body() {
        int depth = 1;
        while (!xml_.atEnd()) {
            xml_.readNext();
            if (xml_.isEndElement()) {
                if (--depth == 0) {
                    mapEndLine_ = xml_.lineNumber();
                }
                continue;
            }
            if (!xml_.isStartElement()) {
                continue;
            }
            ++depth;
            if (depth == 2 && xml_.name() == QLatin1String("tileset")) {
                uint32_t first = 0;
                if (!Number("firstgid", 0, first) || first == 0) {
                    return Error("a tileset has no valid firstgid");
                }
                QString label = xml_.attributes().value(QLatin1String("name")).toString();
                if (label.isEmpty()) {
                    label = xml_.attributes().value(QLatin1String("source")).toString();
                }
                tilesets_.push_back({first, label.toStdString()});
            } else if (!found_ && xml_.name() == QLatin1String("layer")) {
                if (Result layer = ReadLayer(); !layer.Ok()) {
                    return layer;
                }
                found_ = true;
                --depth; // ReadLayer consumed the layer's end tag
            }
        }
        if (mapEndLine_ == 0) {
            mapEndLine_ = xml_.lineNumber();
        }
        return xml_.hasError() ? XmlError() : Done();
    }

    Result ReadLayer() {
        uint32_t width = 0;
        uint32_t height = 0;
        if (!Number("width", worldmap::MapWidth, width) ||
            !Number("height", worldmap::MapHeight, height) || width != worldmap::MapWidth ||
            height != worldmap::MapHeight) {
            return Error("the first tile layer is not 256 x 256 cells");
        }
        while (xml_.readNextStartElement()) {
            if (xml_.name() == QLatin1String("data")) {
                if (Result data = ReadData(); !data.Ok()) {
                    return data;
                }
                while (xml_.readNextStartElement()) {
                    xml_.skipCurrentElement();
                }
                return xml_.hasError() ? XmlError() : Done();
            }
            xml_.skipCurrentElement();
        }
        return xml_.hasError() ? XmlError() : Error("the first tile layer has no <data>");
    }

    Result ReadData() {
        const QString encoding = xml_.attributes().value(QLatin1String("encoding")).toString();
        const QString compression =
            xml_.attributes().value(QLatin1String("compression")).toString();
        const Place start{xml_.lineNumber(), xml_.columnNumber()};
        if (encoding.isEmpty()) {
            return ReadXmlTiles();
        }
        const QString body = xml_.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (xml_.hasError()) {
            return xml_.error() == QXmlStreamReader::UnexpectedElementError
                       ? Error("the layer's data holds elements (chunks of an infinite map?)")
                       : XmlError();
        }
        if (encoding == QLatin1String("csv")) {
            if (!compression.isEmpty()) {
                return ErrorAt(start, "CSV data cannot be compressed");
            }
            return ReadCsv(body.toStdString(), start);
        }
        if (encoding == QLatin1String("base64")) {
            return ReadBase64(body.toLatin1(), compression, start);
        }
        return ErrorAt(start, "unknown data encoding \"" + Clip(encoding.toStdString()) + "\"");
    }

    Result ReadXmlTiles() {
        while (xml_.readNextStartElement()) {
            if (xml_.name() != QLatin1String("tile")) {
                return Error("unexpected <" + Clip(xml_.name().toString().toStdString()) +
                             "> in the layer's data");
            }
            uint32_t gid = 0;
            if (!Number("gid", 0, gid)) {
                return Error("a tile's gid is not a number");
            }
            if (layer_.gids.size() == static_cast<std::size_t>(worldmap::GridSize)) {
                return Error("the layer holds more than 65536 cells");
            }
            layer_.gids.push_back(gid);
            layer_.places.push_back({xml_.lineNumber(), 0});
            xml_.skipCurrentElement();
        }
        if (xml_.hasError()) {
            return XmlError();
        }
        return CheckCount(layer_.gids.size(), {xml_.lineNumber(), 0});
    }

    Result CheckCount(std::size_t count, Place at) const {
        if (count != static_cast<std::size_t>(worldmap::GridSize)) {
            return ErrorAt(at, "the layer holds " + std::to_string(count) + " cells, not 65536");
        }
        return Done();
    }

    Result ReadCsv(const std::string& body, Place start) {
        Scanner scan(body, start.line, static_cast<std::size_t>(start.column));
        const auto here = [&scan] {
            const Scanner::Place at = scan.Here();
            return Place{at.line, static_cast<qint64>(at.column)};
        };
        scan.SkipBlanks(true);
        while (!scan.AtEnd()) {
            const Place at = here();
            const Scanner::Number n = scan.ReadNumber(false, uint64_t{1} << 33);
            if (!n.hasDigits) {
                return ErrorAt(at, scan.Peek() == ',' ? "a number is missing" : "not a number");
            }
            if (n.value > 0xFFFFFFFFull) {
                return ErrorAt(at, "gid " + Clip(scan.Token(n)) + " is too large");
            }
            if (layer_.gids.size() == static_cast<std::size_t>(worldmap::GridSize)) {
                return ErrorAt(at, "the layer holds more than 65536 cells");
            }
            layer_.gids.push_back(static_cast<uint32_t>(n.value));
            layer_.places.push_back(at);
            scan.SkipBlanks(true);
            if (!scan.AtEnd()) {
                if (scan.Peek() != ',') {
                    return ErrorAt(here(), "not a number");
                }
                scan.Next();
                scan.SkipBlanks(true);
            }
        }
        return CheckCount(layer_.gids.size(), here());
    }

    Result ReadBase64(QByteArray text, const QString& compression, Place start) {
        text = text.simplified().replace(' ', QByteArray());
        const auto decoded =
            QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            return ErrorAt(start, "the layer's base64 data is malformed");
        }
        std::vector<uint8_t> bytes;
        if (compression.isEmpty()) {
            bytes.assign(decoded.decoded.begin(), decoded.decoded.end());
        } else if (compression == QLatin1String("zlib") || compression == QLatin1String("gzip")) {
            const bool gzip = compression == QLatin1String("gzip");
            if (!Inflate(decoded.decoded, gzip, bytes)) {
                return ErrorAt(start, std::string("the layer's ") + (gzip ? "gzip" : "zlib") +
                                          " data is malformed");
            }
        } else if (compression == QLatin1String("zstd")) {
            if (const std::string problem = Unzstd(decoded.decoded, bytes); !problem.empty()) {
                return ErrorAt(start, "the layer's zstd data " + problem);
            }
        } else {
            return ErrorAt(start, "compression \"" + Clip(compression.toStdString()) +
                                      "\" is not supported (use zlib, gzip, zstd or none)");
        }
        // Exactly four bytes a cell: a length off by a few bytes is not a whole cell short.
        const std::string expected = " (4 for each of 65536 cells)";
        if (bytes.size() > LayerBytes) {
            return ErrorAt(start, "the layer's data holds more than " + std::to_string(LayerBytes) +
                                      " bytes" + expected);
        }
        if (bytes.size() < LayerBytes) {
            return ErrorAt(start, "the layer's data holds " + std::to_string(bytes.size()) +
                                      " bytes, not " + std::to_string(LayerBytes) + expected);
        }
        for (std::size_t c = 0; c < LayerBytes; c += CellBytes) {
            layer_.gids.push_back(static_cast<uint32_t>(bytes[c]) | bytes[c + 1] << 8 |
                                  bytes[c + 2] << 16 | static_cast<uint32_t>(bytes[c + 3]) << 24);
        }
        layer_.places.push_back({start.line, 0});
        return Done();
    }

    // Inflates at most one byte more than a layer needs, so a huge stream costs nothing.
    static bool Inflate(const QByteArray& in, bool gzip, std::vector<uint8_t>& out) {
        z_stream stream{};
        if (inflateInit2(&stream, gzip ? 15 + 16 : 15) != Z_OK) {
            return false;
        }
        out.assign(LayerBytes + 1, 0);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        stream.avail_in = static_cast<uInt>(in.size());
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        const int result = inflate(&stream, Z_FINISH);
        // A full buffer means more cells than a layer holds, which the caller reports.
        const bool full = stream.avail_out == 0;
        out.resize(stream.total_out);
        inflateEnd(&stream);
        return result == Z_STREAM_END || full;
    }

    // Like Inflate: at most one byte more than a layer needs. Frames may follow each other.
    // Empty when the data reads, else why not.
    static std::string Unzstd(const QByteArray& in, std::vector<uint8_t>& out) {
        ZSTD_DCtx* context = ZSTD_createDCtx();
        if (context == nullptr) {
            return "cannot be decompressed (out of memory?)";
        }
        // The zstd command line streams with a 2 MiB window; far larger ones would only make
        // the decoder allocate that much for a 256 KiB layer.
        ZSTD_DCtx_setParameter(context, ZSTD_d_windowLogMax, ZstdLargestWindowLog);
        out.assign(LayerBytes + 1, 0);
        ZSTD_inBuffer input{in.data(), static_cast<std::size_t>(in.size()), 0};
        ZSTD_outBuffer output{out.data(), out.size(), 0};
        std::size_t left = 1;  // nonzero while a frame is unfinished
        std::size_t frame = 0; // where the frame being read starts
        std::string problem;
        while (problem.empty() && input.pos < input.size && output.pos < output.size) {
            left = ZSTD_decompressStream(context, &output, &input);
            if (ZSTD_isError(left)) {
                problem = ZSTD_getErrorCode(left) == ZSTD_error_frameParameter_windowTooLarge
                              ? WindowTooLarge(in.data() + frame, input.size - frame)
                              : "is malformed";
            } else if (left != 0 && input.pos == input.size && output.pos < output.size) {
                problem = "is malformed"; // the input ends inside a frame
            } else if (left == 0) {
                frame = input.pos;
            }
        }
        ZSTD_freeDCtx(context);
        // A full buffer means more cells than a layer holds, which the caller reports.
        const bool full = output.pos == output.size;
        out.resize(output.pos);
        if (problem.empty() && ((left != 0 && !full) || in.isEmpty())) {
            problem = "is malformed";
        }
        return problem;
    }

    // The window a frame's header asks for (RFC 8878, 3.1.1.1), in words.
    static std::string WindowTooLarge(const char* frame, std::size_t size) {
        uint64_t window = 0;
        if (size > 5 && (frame[4] & 0x20) != 0) { // one segment: the window is the content
            window = ZSTD_getFrameContentSize(frame, size);
        } else if (size > 5) {
            const auto descriptor = static_cast<uint8_t>(frame[5]);
            const uint64_t base = uint64_t{1} << (10 + (descriptor >> 3));
            window = base + base / 8 * (descriptor & 7);
        }
        const std::string allowed =
            std::to_string((std::size_t{1} << ZstdLargestWindowLog) >> 20) + " MiB";
        const std::string asked = window % (1 << 20) == 0 ? std::to_string(window >> 20) + " MiB"
                                                          : std::to_string(window) + " bytes";
        return "asks for a window of " + asked + ", more than the " + allowed +
               " this reader allows";
    }

    // The tileset a gid belongs to is the one with the largest firstgid not above it (the
    // earliest of equals); only the map's first tileset holds our tiles. Its gids are one
    // range, found once: a map may list any number of tilesets.
    Result Tiles(worldmap::GridSpan grid) const {
        const uint64_t first = tilesets_.empty() ? UINT64_MAX : tilesets_.front().firstGid;
        uint64_t end = UINT64_MAX; // the next firstgid above ours
        for (const Tileset& t : tilesets_) {
            if (t.firstGid > first) {
                end = std::min<uint64_t>(end, t.firstGid);
            }
        }
        for (int i = 0; i < worldmap::GridSize; ++i) {
            const uint32_t gid = layer_.gids[static_cast<std::size_t>(i)];
            if ((gid & FlipBits) == 0 && gid >= first && gid < end && gid - first < TileCount) {
                grid[i] = static_cast<uint8_t>(gid - first);
                continue;
            }
            const Place at = layer_.places.size() == 1 ? layer_.places[0]
                                                       : layer_.places[static_cast<std::size_t>(i)];
            return ErrorAt(at, "cell x " + std::to_string(i % worldmap::MapWidth) + ", y " +
                                   std::to_string(i / worldmap::MapWidth) + ": " +
                                   CellProblem(gid, first, end));
        }
        return Done();
    }

    std::string CellProblem(uint32_t gid, uint64_t first, uint64_t end) const {
        if ((gid & FlipBits) != 0) {
            return "the tile is flipped or rotated";
        }
        if (gid == 0) {
            return "the cell is empty";
        }
        if (gid >= first && gid < end) {
            return "tile " + std::to_string(gid - first) + " is outside 0 to " +
                   std::to_string(worldmap::MaxTile);
        }
        const Tileset* owner = nullptr;
        for (const Tileset& t : tilesets_) {
            if (t.firstGid <= gid && (owner == nullptr || t.firstGid > owner->firstGid)) {
                owner = &t;
            }
        }
        if (owner == nullptr) {
            return "gid " + std::to_string(gid) + " belongs to no tileset";
        }
        const std::string which =
            owner->label.empty()
                ? "with firstgid " + std::to_string(owner->firstGid)
                : Clip(owner->label) + " (firstgid " + std::to_string(owner->firstGid) + ")";
        return "gid " + std::to_string(gid) + " belongs to the tileset " + which +
               ", not to the map's first tileset (firstgid " + std::to_string(first) + ")";
    }

    QXmlStreamReader xml_;
    const std::string& name_;
    std::vector<Tileset> tilesets_; // in the order of the file
    qint64 mapEndLine_ = 0;
    Layer layer_;
    bool found_ = false;
};

} // namespace

std::string WriteTmx(worldmap::GridView grid, const std::string& tilesetImage,
                     const std::string& layerName) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeStartElement("map");
    xml.writeAttribute("version", "1.8");
    xml.writeAttribute("orientation", "orthogonal");
    xml.writeAttribute("renderorder", "right-down");
    xml.writeAttribute("width", QString::number(worldmap::MapWidth));
    xml.writeAttribute("height", QString::number(worldmap::MapHeight));
    xml.writeAttribute("tilewidth", QString::number(TilePixels));
    xml.writeAttribute("tileheight", QString::number(TilePixels));
    xml.writeAttribute("infinite", "0");
    xml.writeAttribute("nextlayerid", "2");
    xml.writeAttribute("nextobjectid", "1");

    xml.writeStartElement("tileset");
    xml.writeAttribute("firstgid", "1");
    xml.writeAttribute("name", QString::fromStdString(layerName) + " tiles");
    xml.writeAttribute("tilewidth", QString::number(TilePixels));
    xml.writeAttribute("tileheight", QString::number(TilePixels));
    xml.writeAttribute("tilecount", QString::number(TileCount));
    xml.writeAttribute("columns", QString::number(SheetColumns));
    xml.writeEmptyElement("image");
    xml.writeAttribute("source", QString::fromStdString(tilesetImage));
    xml.writeAttribute("width", QString::number(SheetColumns * TilePixels));
    xml.writeAttribute("height", QString::number(gfx::SheetRows * TilePixels));
    xml.writeEndElement();

    xml.writeStartElement("layer");
    xml.writeAttribute("id", "1");
    xml.writeAttribute("name", QString::fromStdString(layerName));
    xml.writeAttribute("width", QString::number(worldmap::MapWidth));
    xml.writeAttribute("height", QString::number(worldmap::MapHeight));
    xml.writeStartElement("data");
    xml.writeAttribute("encoding", "csv");
    std::string csv = "\n";
    csv.reserve(static_cast<std::size_t>(worldmap::GridSize) * 4 + 1);
    for (int i = 0; i < worldmap::GridSize; ++i) {
        csv += std::to_string(grid[i] + 1);
        if (i + 1 < worldmap::GridSize) {
            csv += (i + 1) % worldmap::MapWidth == 0 ? ",\n" : ",";
        }
    }
    csv += '\n';
    xml.writeCharacters(QString::fromStdString(csv));
    xml.writeEndElement(); // data
    xml.writeEndElement(); // layer
    xml.writeEndElement(); // map
    xml.writeEndDocument();
    return out.toStdString();
}

Result ParseTmx(const std::string& text, const std::string& name, worldmap::GridSpan grid) {
    // Into a copy: a fault in the last cell must not leave the caller half a map.
    worldmap::Grid read{};
    Result result = TmxReader(text, name).Read(read);
    if (result.Ok()) {
        std::copy(read.begin(), read.end(), grid.begin());
    }
    return result;
}

} // namespace formats
