#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "rom/RomImage.h"

namespace gfx {

inline constexpr const char* PaletteFileName = "palette.pal";
inline constexpr std::size_t PaletteFileSize = 192; // 64 records of red, green, blue

// Fills rom.ColourTable from a palette file; colours the file does not supply are 0.
// Returns false when the file could not be opened or read (the table is then all 0).
bool LoadColourTable(CRomImage& rom, const std::string& path = PaletteFileName);

// Fills the table from 192 bytes (fewer: the rest count as 0).
void SetColourTable(CRomImage& rom, const uint8_t* bytes, std::size_t size);

} // namespace gfx
