#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "gfx/TileRenderer.h"
#include "rom/RomImage.h"

// The tile graphics of the world maps as data to edit: the patterns, the quarter tables,
// the attributes and the map palettes, read and written in place in a ROM image.
//
// Sharing is what makes this delicate. Tiles 0 to 63 have one definition (quarters and
// attribute) for all three graphics sets; patterns 0 to 127 one copy for all three. A tile
// of 64 to 127 belongs to one set, as does a pattern of 128 to 255. A shared tile that
// points at a pattern of 128 or more draws a different pattern in each set.
namespace tiles {

inline constexpr int SetCount = gfx::GraphicsSetCount;
inline constexpr int TileCount = gfx::TileCount;
inline constexpr int SharedTileCount = 64;
inline constexpr int PatternCount = 256;
inline constexpr int SharedPatternCount = 128;
inline constexpr int PatternSide = 8;
inline constexpr int PatternBytes = 16;
inline constexpr int TileSide = gfx::TileSize;
inline constexpr int QuarterCount = 4; // top-left, top-right, bottom-left, bottom-right
inline constexpr int PaletteSize = 16; // four sub-palettes of four NES colours
inline constexpr int NesColourCount = 64;
// Stands for "every set" where a use does not depend on the set.
inline constexpr int AnySet = -1;

// The byte ranges of the tile data, [begin, end): only these change when tiles change.
struct ByteRange {
    uint32_t begin;
    uint32_t end;
};
inline constexpr ByteRange QuarterTableBytes{0x010, 0x410};
inline constexpr ByteRange AttributeBytes{0x410, 0x510};
inline constexpr ByteRange PaletteBytes{0x1650, 0x1680};
inline constexpr ByteRange PatternTableBytes{0x14C10, 0x16C10};
inline constexpr std::array<ByteRange, 4> TileDataRanges{QuarterTableBytes, AttributeBytes,
                                                         PaletteBytes, PatternTableBytes};

using TileMask = gfx::TileMask;
// Tiles by graphics set: entry s holds the tiles of set s.
using SetTiles = std::array<TileMask, SetCount>;
// Pixel values 0 to 3, row-major.
using PatternPixels = std::array<uint8_t, PatternSide * PatternSide>;
using TileValues = std::array<uint8_t, TileSide * TileSide>;
// NES colour numbers, row-major: what a tile looks like apart from the colour table.
using TileLook = std::array<uint8_t, TileSide * TileSide>;

// File offsets. Arguments out of range are the caller's fault (checked in debug builds).
uint32_t PatternOffset(int set, int pattern);
uint32_t QuarterOffset(int set, int tile, int quarter);
uint32_t AttributeOffset(int set, int tile);
uint32_t PaletteOffset(int set, int index);

constexpr bool IsSharedTile(int tile) {
    return tile < SharedTileCount;
}
constexpr bool IsSharedPattern(int pattern) {
    return pattern < SharedPatternCount;
}
// Whether a tile may point at a pattern: shared tiles only at shared patterns (any other
// would differ from set to set), a set's own tiles at any pattern of the set.
constexpr bool TileCanUse(int tile, int pattern) {
    return !IsSharedTile(tile) || IsSharedPattern(pattern);
}

// One quarter that draws a pattern. `set` is the set in which it draws that pattern:
// AnySet for a shared tile's quarter on a shared pattern.
struct QuarterUse {
    int set = AnySet;
    int tile = 0;
    int quarter = 0;
    friend bool operator==(const QuarterUse&, const QuarterUse&) = default;
};

class TileModel {
  public:
    explicit TileModel(CRomImage& rom) : rom_(&rom), writable_(&rom) {}
    // Reads only: the setters must not be called.
    explicit TileModel(const CRomImage& rom) : rom_(&rom) {}
    const CRomImage& Rom() const { return *rom_; }

    // A pattern as set `set` sees it.
    int PatternPixel(int set, int pattern, int x, int y) const;
    void SetPatternPixel(int set, int pattern, int x, int y, int value);
    PatternPixels Pattern(int set, int pattern) const;
    void SetPattern(int set, int pattern, const PatternPixels& pixels);

    int Quarter(int set, int tile, int quarter) const;
    void SetQuarter(int set, int tile, int quarter, int pattern);

    // The low two bits of the attribute; setting keeps the other six.
    int SubPalette(int set, int tile) const;
    void SetSubPalette(int set, int tile, int subPalette);

    // Entry 0 to 15 of the set's map palette (sub-palette index / 4, value index % 4).
    int PaletteEntry(int set, int index) const;
    void SetPaletteEntry(int set, int index, int colour);

    // The pixel value (0 to 3) at (x, y) of a tile, and the pattern pixel behind it.
    int TilePixel(int set, int tile, int x, int y) const;
    void SetTilePixel(int set, int tile, int x, int y, int value);
    TileValues Values(int set, int tile) const;
    // Each pixel's NES colour number (entries past 63 wrap, as the renderer does).
    TileLook Look(int set, int tile) const;

    // Every quarter that draws pattern `pattern` of set `set`, in every set that sees it:
    // the shared tiles' quarters, then the tiles of each set in set order.
    std::vector<QuarterUse> UsersOf(int set, int pattern) const;
    // How many distinct tiles (a tile in two sets counts twice) those quarters belong to.
    int UserTileCount(int set, int pattern) const;
    // The tiles, by set, whose look depends on the byte at `offset` (none outside the tile
    // data). A palette byte is taken to affect every tile of its sub-palette.
    SetTiles AffectedBy(uint32_t offset) const;
    // Referenced by no quarter of any tile that can see it: for a shared pattern, no
    // quarter of any set; for one of 128 to 255, no shared tile and no tile of `set`.
    bool IsFree(int set, int pattern) const;
    // The free patterns of `set`, ascending.
    std::vector<int> FreePatterns(int set) const;

  private:
    void Write(uint32_t offset, uint8_t value);

    const CRomImage* rom_;
    CRomImage* writable_ = nullptr;
};

// The tiles, by set, that look different in `a` and in `b` (compared as NES colours).
SetTiles ChangedTiles(const CRomImage& a, const CRomImage& b);
// Copies the tile data (TileDataRanges) from one image to another.
void CopyTileData(const CRomImage& from, CRomImage& to);
// Whether any byte of the tile data differs.
bool TileDataDiffers(const CRomImage& a, const CRomImage& b);
// The map ids (0 to 3) drawn with any tile of `tiles`.
std::vector<int> MapsShowing(const SetTiles& tiles);

} // namespace tiles
