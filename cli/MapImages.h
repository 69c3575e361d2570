#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/FileIo.h"
#include "cli/Outcome.h"
#include "rom/RomImage.h"

namespace cli {

// Fills rom.ColourTable for drawing: from `paletteFile` when given, else from "palette.pal"
// in the working directory, else from the built-in standard palette (with a note on
// stderr). A palette file must hold at least 192 bytes; later bytes are ignored.
Outcome ChooseColours(const std::optional<std::string>& paletteFile, CRomImage& rom);

// PNG pictures of map `mapId` drawn with its own 128 tiles and rom.ColourTable.
// The sheet: 256 x 128 pixels, tile t at column t mod 16 and row t div 16.
Outcome TileSheetPng(const CRomImage& rom, int mapId, Bytes& png);
// The whole map, 4096 x 4096 pixels.
Outcome MapPng(const CRomImage& rom, int mapId, const uint8_t* grid, Bytes& png);

} // namespace cli
