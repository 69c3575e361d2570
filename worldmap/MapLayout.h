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

// Everything that stops the region from being rewritten safely, in words; empty when the
// layout holds. The store refuses exactly when this is not empty.
std::vector<std::string> CheckLayout(const CRomImage& rom);

} // namespace worldmap
