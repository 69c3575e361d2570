#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rom/RomImage.h"

namespace worldmap {

struct MapExtent {
    uint32_t start = 0; // file offset of row 0's data
    uint32_t end = 0;   // file offset just past the map's data
    int uniqueRows = 0; // distinct row pointers
};

// Where each map's data lies, as the layout of the region says it should.
MapExtent GetMapExtent(const CRomImage& rom, int mapId);

// What stops the region from being rewritten safely, in words; empty when nothing does.
// Always: every row-0 pointer inside the row data, the maps' starts in order, map 3's data
// ending inside the region and not before it starts. With a map id 0 to 3, what a store
// of that map relies on besides: every row of the maps before it inside the row data and
// ending before its data, every row of the maps after it inside the data that the store
// moves (from the next map's start to the end of map 3's data). With -1: every row of
// every map inside its own map's data, the layout as the format describes it.
// StoreWorldMap refuses exactly when the check for its map is not empty.
std::vector<std::string> CheckLayout(const CRomImage& rom, int mapId = -1);

} // namespace worldmap
