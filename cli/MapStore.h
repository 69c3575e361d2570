#pragma once

#include <string>

#include "formats/FileIo.h"
#include "formats/Result.h"
#include "rom/RomImage.h"
#include "worldmap/RowCode.h"

// What the commands that change a map (import, edit) share, so both store and report alike.
namespace cli {

// Stores `grid` as map `mapId` of `rom` and rewrites the ROM file at `romPath`, which
// `update` has locked (the whole file, through a temporary), then prints the map's size and the
// free bytes left. With `dryRun` it writes nothing and prints what the map needs and the room it
// has. A map that does not fit is Fault::Map naming `source` and both numbers; the file is then
// untouched.
formats::Result StoreMap(CRomImage& rom, formats::RomUpdate& update, const std::string& romPath,
                         int mapId, worldmap::GridView grid, const std::string& source,
                         bool dryRun);

} // namespace cli
