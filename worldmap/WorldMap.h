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
// adjusting their pointers. `freeBytes` must be the current CountFreeBytes, and the
// region must pass CheckLayout for this map; otherwise the status is BadLayout. On any
// status but Stored the image is untouched. A mapId of 4 or more is Stored with nothing
// done; a negative one is BadLayout. The sizes are filled in whenever the map was coded,
// that is for Stored and DoesNotFit.
StoreReport StoreWorldMapReport(CRomImage& rom, int mapId, GridView grid, int freeBytes);

inline bool StoreWorldMap(CRomImage& rom, int mapId, GridView grid, int freeBytes) {
    return StoreWorldMapReport(rom, mapId, grid, freeBytes).status == StoreStatus::Stored;
}

// What StoreWorldMapReport would report for `grid` with the current free bytes, with
// nothing written: the same checks and the same encode.
StoreReport MeasureStore(const CRomImage& rom, int mapId, GridView grid);

} // namespace worldmap
