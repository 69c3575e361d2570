#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "rom/RomImage.h"

// The world-map region's format: where it lies, how one row is coded, and the free-byte
// count. Everything else in worldmap/ builds on this.
namespace worldmap {

inline constexpr int MapCount = 4;
inline constexpr int MapWidth = 256;
inline constexpr int MapHeight = 256;
inline constexpr int GridSize = MapWidth * MapHeight;

// File offsets of the world-map region. Row pointers are relative to RegionStart.
inline constexpr uint32_t RegionStart = 0xD010;  // map 0's pointer table
inline constexpr uint32_t TableSize = 0x200;     // 256 pointers of 2 bytes
inline constexpr uint32_t RowDataStart = 0xD810; // just past map 3's table
inline constexpr uint32_t RowDataEnd = 0x13410;  // exclusive
inline constexpr int MaxEncodedSize = 65536;     // no row codes to more than 256 bytes
inline constexpr int MaxTile = 0x7F;             // the row code holds tiles 0 to 127

// One map's tiles, row-major: cell (x, y) is element y * 256 + x. Functions take the
// fixed-size views, so a grid of the wrong size cannot be passed by mistake.
using Grid = std::array<uint8_t, GridSize>;
using GridView = std::span<const uint8_t, GridSize>;
using GridSpan = std::span<uint8_t, GridSize>;

// "Floating World Map", "Water World Map", "Standard World Map", "Under Water World Map";
// "" for any other id.
const char* MapName(int mapId);

inline constexpr uint32_t TableStart(int mapId) {
    return RegionStart + static_cast<uint32_t>(mapId) * TableSize;
}

// Decodes map `mapId` (0 to 3) into `grid`. Every cell is written; another id gives a
// grid of tile 0.
void DecodeWorldMap(const CRomImage& rom, int mapId, GridSpan grid);

// The file offset just past the coded row that starts at `offset`: where decoding of that
// row stops, including when its last run passes column 255. At most 512 bytes on.
uint32_t CodedRowEnd(const CRomImage& rom, uint32_t offset);

// Bytes left between the end of map 3's last stored row and RowDataEnd; negative when
// that row runs past the region.
int CountFreeBytes(const CRomImage& rom);

// Run-length codes one 256-tile row into `out` (room for 256 bytes); returns the byte count.
int EncodeRow(std::span<const uint8_t, MapWidth> row, uint8_t* out);

// Codes the whole grid as stored data starting at pointer `p0`: fills `pointers` (low 16
// bits kept) and `out` (room for MaxEncodedSize), returns the byte count.
int EncodeWorldMap(GridView grid, uint16_t p0, uint8_t* out,
                   std::span<uint16_t, MapHeight> pointers);

} // namespace worldmap
