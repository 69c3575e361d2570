#pragma once

#include <cstdint>
#include <string>

#include "rom/RomImage.h"

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

// "Floating World Map", "Water World Map", "Standard World Map", "Under Water World Map".
const char* MapName(int mapId);

inline constexpr uint32_t TableStart(int mapId) {
    return RegionStart + static_cast<uint32_t>(mapId) * TableSize;
}

// Decodes map `mapId` (0 to 3) into `grid`, 65,536 cells row-major. Every cell is written;
// another id gives a grid of tile 0.
void DecodeWorldMap(const CRomImage& rom, int mapId, uint8_t* grid);

// The file offset just past the coded row that starts at `offset`: where decoding of that
// row stops, including when its last run passes column 255. At most 512 bytes on.
uint32_t CodedRowEnd(const CRomImage& rom, uint32_t offset);

// Bytes left between the end of map 3's last stored row and RowDataEnd; negative when
// that row runs past the region.
int CountFreeBytes(const CRomImage& rom);

// Run-length codes one 256-tile row into `out` (room for 256 bytes); returns the byte count.
int EncodeRow(const uint8_t* row, uint8_t* out);

// Codes the whole grid as stored data starting at pointer `p0`: fills `pointers` (256
// entries, low 16 bits kept) and `out` (room for MaxEncodedSize), returns the byte count.
int EncodeWorldMap(const uint8_t* grid, uint16_t p0, uint8_t* out, uint16_t* pointers);

enum class StoreStatus {
    Stored,
    DoesNotFit, // the coded map needs more than its old size plus the free bytes
    BadLayout,  // the region is not laid out in a way that can be rewritten safely
    BadTile,    // a cell holds a number above 127, which the row code cannot hold
};

struct StoreReport {
    StoreStatus status = StoreStatus::Stored;
    int newSize = 0;   // bytes the coded map takes
    int oldSize = 0;   // bytes the map took before
    int available = 0; // oldSize + free bytes: the most the map may take
};

// Puts `grid` into the image as map `mapId`, moving the maps stored after it and
// adjusting their pointers. `freeBytes` must be the current CountFreeBytes, and the
// region must pass CheckLayout for this map; otherwise the status is BadLayout. On any
// status but Stored the image is untouched. A mapId of 4 or more is Stored with nothing
// done; a negative one is BadLayout.
StoreReport StoreWorldMapReport(CRomImage& rom, int mapId, const uint8_t* grid, int freeBytes);

inline bool StoreWorldMap(CRomImage& rom, int mapId, const uint8_t* grid, int freeBytes) {
    return StoreWorldMapReport(rom, mapId, grid, freeBytes).status == StoreStatus::Stored;
}

} // namespace worldmap
