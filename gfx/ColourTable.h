#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rom/RomImage.h"

namespace gfx {

inline constexpr const char* PaletteFileName = "palette.pal";
inline constexpr std::size_t PaletteFileSize = 192; // 64 records of red, green, blue

// Fills rom.ColourTable from a palette file; colours the file does not supply, a colour
// whose three bytes it cuts short among them, come from the standard palette
// (StandardPalette.h). Returns false when the file could not be opened or read (the table
// is then the whole standard palette), so the caller can say so.
bool LoadColourTable(CRomImage& rom, const std::string& path = PaletteFileName);

// Where PaletteFileName is looked for when no file is named, in order: the working folder
// (""), the user's configuration folder (configHome/atlasforge, else
// home/.config/atlasforge; a relative configHome counts as unset, as the XDG rules say), and
// the installed data folder, share/atlasforge beside the program's bin folder. A null or
// empty value leaves its folder out.
std::vector<std::string> PaletteFolders(const char* configHome, const char* home,
                                        const std::string& programFolder);

// PaletteFileName in the first of `folders` where it is a regular file that opens for
// reading ("" gives the bare name, so the working folder's file is read as before); nullopt
// when none has one. Anything else of that name (a folder, a pipe) is passed over without
// being opened, so the search never waits on a pipe.
std::optional<std::string> FindPaletteFile(const std::vector<std::string>& folders);

// Fills the table from 192 bytes; with fewer, as LoadColourTable: each colour the bytes do
// not hold in full comes from the standard palette.
void SetColourTable(CRomImage& rom, const uint8_t* bytes, std::size_t size);

} // namespace gfx
