#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "rom/RomImage.h"

namespace gfx {

inline constexpr const char* PaletteFileName = "palette.pal";
inline constexpr std::size_t PaletteFileSize = 192; // 64 records of red, green, blue

// Fills rom.ColourTable from a palette file; colours the file does not supply, a colour
// whose three bytes it cuts short among them, come from the standard palette
// (StandardPalette.h). Returns false when the file could not be opened or read (the table
// is then the whole standard palette), so the caller can say so.
bool LoadColourTable(CRomImage& rom, const std::string& path = PaletteFileName);

// Fills the table from 192 bytes; with fewer, as LoadColourTable: each colour the bytes do
// not hold in full comes from the standard palette.
void SetColourTable(CRomImage& rom, const uint8_t* bytes, std::size_t size);

} // namespace gfx
