#pragma once

#include <array>
#include <bitset>
#include <cstdint>

#include "rom/RomImage.h"

namespace gfx {

inline constexpr int TileCount = 128;
inline constexpr int TileSize = 16;
inline constexpr int GraphicsSetCount = 3;
inline constexpr uint32_t MaskColour = 0x010101;
// Tiles laid out in a sheet, as the map editor's chooser shows them: tile t at column
// t mod 16, row t div 16.
inline constexpr int SheetColumns = 16;

// A 0x00BBGGRR colour as opaque 0xAARRGGBB, the layout of picture libraries.
inline constexpr uint32_t ToArgb(uint32_t bgr) {
    return 0xFF000000u | (bgr & 0xFFu) << 16 | (bgr & 0xFF00u) | (bgr >> 16 & 0xFFu);
}

// ROM tables behind the tiles.
inline constexpr uint32_t QuarterTables = 0x010;
inline constexpr uint32_t Attributes = 0x410;
inline constexpr uint32_t MapPalettes = 0x1650;
inline constexpr uint32_t Patterns = 0x14C10;

// One tile: 16 x 16 colours in 0x00BBGGRR, row-major.
using TilePixels = std::array<uint32_t, TileSize * TileSize>;
using MetatilePixels = std::array<TilePixels, TileCount>;
// Tiles by number, as the document names the tiles whose look changed.
using TileMask = std::bitset<TileCount>;

// Maps 0, 1, 2, 3 use graphics sets 0, 1, 1, 2.
inline constexpr int GraphicsSetOf(int mapId) {
    return mapId < 2 ? mapId : mapId - 1;
}

// Tile `tile` (0 to 127) of graphics set 0 to 2; out of range gives a tile of colour 0.
void RenderMetatile(const CRomImage& rom, int graphicsSet, int tile, TilePixels& out);
// The 128 tiles of map `mapId` (0 to 3), image index = tile number.
void RenderMetatileSet(const CRomImage& rom, int mapId, MetatilePixels& out);
// Only the tiles of `which`, the others of `out` left as they are.
void RenderMetatiles(const CRomImage& rom, int mapId, const TileMask& which, MetatilePixels& out);

} // namespace gfx
