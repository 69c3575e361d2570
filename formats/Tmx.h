#pragma once

#include <cstdint>
#include <string>

#include "formats/Result.h"
#include "worldmap/RowCode.h"

namespace formats {

// A Tiled map of the grid: orthogonal, 256 x 256 cells of 16 x 16 pixels, one tileset of
// 128 tiles (gid = tile + 1) whose 256 x 128 sheet is `tilesetImage`, relative to the
// map file, and one tile layer named `layerName` in CSV encoding.
std::string WriteTmx(worldmap::GridView grid, const std::string& tilesetImage,
                     const std::string& layerName);

// Reads the first tile layer of a 256 x 256 Tiled map into `grid`: CSV, base64, and
// base64 compressed with zlib, gzip or zstd; plain XML tiles too. Our tiles are the map's
// first tileset, so a gid becomes gid minus that tileset's firstgid. An empty cell, a
// flipped or rotated tile, a gid of another tileset, or a tile outside 0 to 127 is bad data. Fails
// with Fault::BadData naming `name` and the line, and the cell where there is one; `grid`
// is then left as it was.
Result ParseTmx(const std::string& text, const std::string& name, worldmap::GridSpan grid);

} // namespace formats
