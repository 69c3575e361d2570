#pragma once

// Tiled maps in every form a layer's data can take, as Tiled itself writes them: for the
// TMX tests, the TMX fuzz target and its seeds.

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport::tmx {

using Gids = std::vector<uint32_t>;

inline const std::string Tileset = "<tileset firstgid=\"1\" source=\"t.tsx\"/>\n";

// A 256 x 256 map with the given tilesets and one layer holding the given <data> element.
std::string Map(const std::string& data, const std::string& tilesets = Tileset);

// <data> elements: CSV text, <tile> elements, or base64 of `bytes` with the compression
// named ("" for none).
std::string CsvData(const Gids& gids);
std::string XmlTiles(const Gids& gids);
std::string Base64Data(const std::string& bytes, const std::string& compression = "");

// The gids of `tiles` in a tileset whose first gid is `firstGid`.
template <class Tiles> Gids GidsOf(const Tiles& tiles, uint32_t firstGid = 1) {
    Gids gids(tiles.begin(), tiles.end());
    for (uint32_t& gid : gids) {
        gid += firstGid;
    }
    return gids;
}

// Gids as the binary encodings hold them: four little-endian bytes each.
std::string Packed(const Gids& gids);

// `raw` compressed as "zlib", "gzip" or "zstd"; as it is for "" or any other name.
std::string Compressed(const std::string& raw, const std::string& compression);

// The forms a layer can take, and one of them for `gids`.
enum class Form { Csv, Base64, Zlib, Gzip, Zstd, XmlTiles };
inline constexpr int FormCount = 6;
std::string FormName(Form form);
std::string Data(const Gids& gids, Form form);

} // namespace testsupport::tmx
