#pragma once

#include <optional>
#include <string>
#include <vector>

#include "formats/Result.h"
#include "rom/RomImage.h"

namespace formats {

// Where the colours of a picture came from.
enum class PaletteSource {
    GivenFile, // the file the user named
    Found,     // "palette.pal" found in one of DefaultPaletteFolders()
    BuiltIn,   // the built-in standard palette: no file named, none found
};

// Sets rom.ColourTable from the bytes of a palette file: 64 colours of red, green and blue,
// so at least 192 bytes (later bytes are ignored). A shorter file fails with Fault::BadData
// naming `name` and its size, and leaves the colours as they were.
Result ReadPalette(const std::vector<uint8_t>& bytes, const std::string& name, CRomImage& rom);

// Where "palette.pal" is looked for when no file is named, as the editor looks: the working
// folder (""), the user's configuration folder, the installed data folder beside this
// program (gfx::PaletteFolders, from the environment and the running program's path).
std::vector<std::string> DefaultPaletteFolders();

// Fills rom.ColourTable for drawing: from `paletteFile` when given, else from the first
// "palette.pal" found in DefaultPaletteFolders(), else from the built-in standard palette;
// `source` says which. A palette file that ReadPalette refuses, or a named one that cannot
// be read, fails.
Result ChooseColours(const std::optional<std::string>& paletteFile, CRomImage& rom,
                     PaletteSource& source);

} // namespace formats
