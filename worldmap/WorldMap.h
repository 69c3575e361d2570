#pragma once

#include "rom/RomImage.h"
#include "worldmap/RowCode.h"

// Storing a grid back into the region: the fit test, the move of the maps after it, the
// new pointers. Builds on the row code and the layout checks.
namespace worldmap {

enum class StoreStatus {
    Stored,     // stored, or for MeasureStore: it would be
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
// adjusting their pointers, within the free bytes the image holds now. The region must
// pass CheckLayout for this map; otherwise the status is BadLayout. On any status but
// Stored the image is untouched. A mapId of 4 or more is Stored with nothing done; a
// negative one is BadLayout. The sizes are filled in whenever the map was coded, that is
// for Stored and DoesNotFit.
StoreReport StoreWorldMapReport(CRomImage& rom, int mapId, GridView grid);

// The same as a yes or no, for a caller that has counted the free bytes: `freeBytes` must
// be the current CountFreeBytes, else it is refused as BadLayout and nothing is stored.
bool StoreWorldMap(CRomImage& rom, int mapId, GridView grid, int freeBytes);

// What StoreWorldMapReport would report for `grid` with the current free bytes, with
// nothing written: the same checks and the same encode.
StoreReport MeasureStore(const CRomImage& rom, int mapId, GridView grid);

// The part of a store's report that depends on the image alone. An editor that keeps the
// coded size up to date row by row works this out once per image change, and
// CompleteReport joins the two into what MeasureStore would give.
struct StoreLayout {
    bool mapInRange = false; // mapId 0 to 3; for others nothing is coded or checked
    StoreStatus status = StoreStatus::Stored; // Stored or BadLayout
    int oldSize = 0;                          // filled in when Stored and mapInRange
    int available = 0;                        // likewise
};

// The layout checks of MeasureStore for map `mapId`, with the current free bytes.
StoreLayout MeasureLayout(const CRomImage& rom, int mapId);

// MeasureStore's report from the layout, whether any cell of the grid is above MaxTile, and
// the coded size of the grid (EncodeWorldMap's count; not used when the grid is not coded).
StoreReport CompleteReport(const StoreLayout& layout, bool badTile, int newSize);

} // namespace worldmap
