#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "gfx/TileRenderer.h"
#include "rom/RomImage.h"
#include "tiles/TileModel.h"

// Taking a picture of a map's 128 tiles (a tile sheet edited in a paint program) back into
// the tile data, without changing the look of any tile the picture leaves as it was.
namespace tiles {

enum class ImportStatus {
    Unchanged,     // every tile looks as the sheet shows it: nothing to write
    Changed,       // the tiles that differ now look as the sheet shows them
    BadColour,     // a changed tile's colours fit no sub-palette of the map's palette
    NoFreePattern, // a changed quarter needed a pattern and none was free
};

enum class ImportMode {
    DryRun, // work out the report, change nothing
    Apply,  // and write the tile data into the image (only when the import succeeds)
};

struct ClaimedPattern {
    int pattern = 0;
    int tile = 0;
    friend bool operator==(const ClaimedPattern&, const ClaimedPattern&) = default;
};

struct ImportReport {
    ImportStatus status = ImportStatus::Unchanged;
    TileMask changed;                    // tiles whose sheet pixels differ from their look
    std::vector<int> rewritten;          // patterns rewritten in place, ascending
    std::vector<ClaimedPattern> claimed; // free patterns taken, in the order taken
    std::vector<int> otherMaps;          // maps besides the imported one whose look changes
    // On failure: the tile; for BadColour one of its pixels (x, y within the tile) and
    // that pixel's colour (0x00BBGGRR).
    int tile = -1;
    int x = 0;
    int y = 0;
    uint32_t colour = 0;

    bool Ok() const { return status == ImportStatus::Unchanged || status == ImportStatus::Changed; }
};

// Imports `sheet` (the 128 tiles of map `mapId` in rom.ColourTable's colours) into `rom`.
// A tile whose pixels already match its look is left alone. A changed tile keeps its
// sub-palette when that holds all its colours, else takes the lowest that does. Each
// changed quarter points at a pattern the tile can use that already holds its pixels, else
// rewrites in place a pattern that only it uses, else claims a free pattern (a set's own
// tile tries 128 to 255 first). Only quarter entries, the low two bits of attributes and
// patterns change, and only with ImportMode::Apply on success.
ImportReport ImportTileSheet(CRomImage& rom, int mapId, const gfx::MetatilePixels& sheet,
                             ImportMode mode);

// One tile of a map as the usage table lists it.
struct TileUsage {
    int subPalette = 0;
    std::array<int, QuarterCount> patterns{};
    // How many other tiles (in any set that sees the pattern) use each pattern.
    std::array<int, QuarterCount> sharers{};
    // How many cells of each of the four maps hold this tile number.
    std::array<int, 4> cells{};
};
std::array<TileUsage, TileCount> TileUsageTable(const CRomImage& rom, int mapId);

} // namespace tiles
