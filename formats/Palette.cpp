#include "formats/Palette.h"

#include <cerrno>

#include "formats/FileIo.h"
#include "gfx/ColourTable.h"
#include "gfx/StandardPalette.h"

namespace formats {

Result ReadPalette(const std::vector<uint8_t>& bytes, const std::string& name, CRomImage& rom) {
    if (bytes.size() < gfx::PaletteFileSize) {
        return FileFail(
            Fault::BadData, name,
            "a palette needs 192 bytes (64 colours of red, green, blue); this one has " +
                std::to_string(bytes.size()));
    }
    gfx::SetColourTable(rom, bytes.data(), gfx::PaletteFileSize);
    return Done();
}

Result ChooseColours(const std::optional<std::string>& paletteFile, CRomImage& rom,
                     PaletteSource& source) {
    Bytes bytes;
    const std::string path = paletteFile.value_or(gfx::PaletteFileName);
    int error = 0;
    const Result read = ReadFile(path, bytes, &error);
    if (!paletteFile && error == ENOENT) {
        const auto& standard = gfx::StandardPalette();
        gfx::SetColourTable(rom, standard.data(), standard.size());
        source = PaletteSource::BuiltIn;
        return Done();
    }
    if (!read.Ok()) {
        return read;
    }
    if (Result read = ReadPalette(bytes, path, rom); !read.Ok()) {
        return read;
    }
    source = paletteFile ? PaletteSource::GivenFile : PaletteSource::WorkingDirectory;
    return Done();
}

} // namespace formats
