#include "formats/Palette.h"

#include <cstdlib>
#include <filesystem>

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

std::vector<std::string> DefaultPaletteFolders() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return gfx::PaletteFolders(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"),
                               error ? std::string() : program.parent_path().string());
}

Result ChooseColours(const std::optional<std::string>& paletteFile, CRomImage& rom,
                     PaletteSource& source) {
    Bytes bytes;
    std::optional<std::string> path = paletteFile;
    if (!path) {
        path = gfx::FindPaletteFile(DefaultPaletteFolders());
        if (!path) {
            const auto& standard = gfx::StandardPalette();
            gfx::SetColourTable(rom, standard.data(), standard.size());
            source = PaletteSource::BuiltIn;
            return Done();
        }
    }
    if (Result read = ReadFile(*path, bytes); !read.Ok()) {
        return read;
    }
    if (Result read = ReadPalette(bytes, *path, rom); !read.Ok()) {
        return read;
    }
    source = paletteFile ? PaletteSource::GivenFile : PaletteSource::Found;
    return Done();
}

} // namespace formats
