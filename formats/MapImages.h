#pragma once

#include <cstdint>
#include <string>

#include "formats/FileIo.h"
#include "formats/Result.h"
#include "gfx/TileRenderer.h"
#include "rom/RomImage.h"
#include "worldmap/RowCode.h"

namespace formats {

// PNG pictures of map `mapId` drawn with its own 128 tiles and rom.ColourTable.
// The sheet: 256 x 128 pixels, tile t at column t mod 16 and row t div 16.
Result TileSheetPng(const CRomImage& rom, int mapId, Bytes& png);
// Reads such a sheet back, as the 128 tiles' colours (0x00BBGGRR, with NotOpaque added to
// a pixel that is not fully opaque). A file that cannot be read is Fault::File; anything but
// a whole PNG picture of exactly 256 x 128 pixels is Fault::BadData.
Result ReadTileSheetPng(const std::string& path, gfx::MetatilePixels& sheet);
// Marks a sheet pixel that is partly or wholly transparent: no colour of the colour table
// has these bits, so the pixel fits no sub-palette rather than passing for the colour
// under it.
inline constexpr uint32_t NotOpaque = 0xFF000000u;
// The whole map, 4096 x 4096 pixels.
Result MapPng(const CRomImage& rom, int mapId, worldmap::GridView grid, Bytes& png);

} // namespace formats
