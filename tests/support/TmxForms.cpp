#include "tests/support/TmxForms.h"

#include <QByteArray>
#include <bit>
#include <zlib.h>
#include <zstd.h>

namespace testsupport::tmx {

namespace {

QByteArray Qt(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string Std(const QByteArray& bytes) {
    return std::string(bytes.data(), static_cast<std::size_t>(bytes.size()));
}

// A zlib stream (Qt's compressed form less its length prefix), or its deflate data wrapped
// as gzip.
std::string Deflate(const std::string& raw, bool gzip) {
    const std::string z = Std(qCompress(Qt(raw)).mid(4));
    if (!gzip) {
        return z;
    }
    std::string out = std::string("\x1F\x8B\x08\0\0\0\0\0\0\xFF", 10) + z.substr(2, z.size() - 6);
    const auto crc =
        crc32(0, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uInt>(raw.size()));
    for (const uint32_t word : {static_cast<uint32_t>(crc), static_cast<uint32_t>(raw.size())}) {
        for (int i = 0; i < 4; ++i) {
            out += static_cast<char>(word >> (8 * i));
        }
    }
    return out;
}

std::string Zstd(const std::string& raw) {
    std::string out(ZSTD_compressBound(raw.size()), '\0');
    const std::size_t size = ZSTD_compress(out.data(), out.size(), raw.data(), raw.size(), 3);
    out.resize(ZSTD_isError(size) ? 0 : size);
    return out;
}

} // namespace

std::string Map(const std::string& data, const std::string& tilesets) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<map version=\"1.8\" orientation=\"orthogonal\" width=\"256\" height=\"256\" "
           "tilewidth=\"16\" tileheight=\"16\" infinite=\"0\">\n" +
           tilesets + "<layer id=\"1\" name=\"a\" width=\"256\" height=\"256\">\n" + data +
           "</layer>\n</map>\n";
}

std::string CsvData(const Gids& gids) {
    std::string text = "<data encoding=\"csv\">\n";
    for (std::size_t i = 0; i < gids.size(); ++i) {
        text += (i == 0 ? "" : i % 256 ? "," : ",\n") + std::to_string(gids[i]);
    }
    return text + "\n</data>\n";
}

std::string XmlTiles(const Gids& gids) {
    std::string text = "<data>\n";
    for (const uint32_t gid : gids) {
        text += "<tile gid=\"" + std::to_string(gid) + "\"/>\n";
    }
    return text + "</data>\n";
}

std::string Base64Data(const std::string& bytes, const std::string& compression) {
    return "<data encoding=\"base64\"" +
           (compression.empty() ? std::string() : " compression=\"" + compression + "\"") +
           ">\n   " + Std(Qt(bytes).toBase64()) + "\n  </data>\n";
}

std::string Packed(const Gids& gids) {
    static_assert(std::endian::native == std::endian::little);
    return std::string(reinterpret_cast<const char*>(gids.data()), gids.size() * 4);
}

std::string Compressed(const std::string& raw, const std::string& compression) {
    return compression == "zlib"   ? Deflate(raw, false)
           : compression == "gzip" ? Deflate(raw, true)
           : compression == "zstd" ? Zstd(raw)
                                   : raw;
}

std::string FormName(Form form) {
    static const char* const names[FormCount] = {"csv", "base64", "zlib", "gzip", "zstd", "xml"};
    return names[static_cast<int>(form)];
}

std::string Data(const Gids& gids, Form form) {
    const std::string name = form == Form::Base64 ? "" : FormName(form);
    return form == Form::Csv        ? CsvData(gids)
           : form == Form::XmlTiles ? XmlTiles(gids)
                                    : Base64Data(Compressed(Packed(gids), name), name);
}

} // namespace testsupport::tmx
