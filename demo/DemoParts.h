#pragma once

#include <cstdint>

#include "rom/RomImage.h"
#include "worldmap/RowCode.h"

// The pieces of the demo image, each filled by its own file.
namespace demo {

// Tile numbers the maps are painted with. Tiles below 64 look alike on every map apart
// from their colours; tiles from 64 are drawn per graphics set.
enum Tile : uint8_t {
    Sea = 0,
    Shallows = 1,
    Grass = 2,
    Forest = 3,
    Mountain = 4,
    Desert = 5,
    River = 6,
    Town = 7,
    Hills = 8,
    Snow = 9,
    Swamp = 10,
    Beach = 11,
    Castle = 64,
    Cave = 65,
    Tower = 66,
    Landmark = 67, // a cloud, a ship or a coral, after the graphics set
};

void WriteDemoGraphics(CRomImage& rom);
void WriteDemoMaps(CRomImage& rom);
// Generates map `mapId`'s 256 x 256 grid.
void MakeDemoMap(int mapId, worldmap::GridSpan grid);
void WriteDemoEnemies(CRomImage& rom);

} // namespace demo
