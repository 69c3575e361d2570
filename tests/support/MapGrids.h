#pragma once

// Maps as the editor decodes them, for tests that compare what a store or a window left.
// Kept apart from RomBuilder.h, which writes the format out on its own on purpose.

#include "rom/RomImage.h"
#include "tests/support/RomBuilder.h"
#include "worldmap/RowCode.h"

namespace testsupport {

inline Grid Decode(const CRomImage& rom, int mapId) {
    Grid grid{};
    worldmap::DecodeWorldMap(rom, mapId, grid);
    return grid;
}

} // namespace testsupport
