#pragma once

#include <optional>
#include <string>

#include "formats/Result.h"
#include "rom/RomImage.h"

namespace formats {

// Where the colours of a picture came from.
enum class PaletteSource {
    GivenFile,        // the file the user named
    WorkingDirectory, // "palette.pal" in the working directory
    BuiltIn,          // the built-in standard palette: no file named, none found
};

// Fills rom.ColourTable for drawing: from `paletteFile` when given, else from "palette.pal"
// in the working directory, else from the built-in standard palette; `source` says which.
// A palette file must hold at least 192 bytes (later bytes are ignored); a shorter one, or
// one that exists but cannot be read, fails.
Result ChooseColours(const std::optional<std::string>& paletteFile, CRomImage& rom,
                     PaletteSource& source);

} // namespace formats
