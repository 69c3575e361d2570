#include "gfx/ColourTable.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "gfx/StandardPalette.h"
#include "rom/RegularFile.h"

namespace gfx {

void SetColourTable(CRomImage& rom, const uint8_t* bytes, std::size_t size) {
    // A colour takes all three of its bytes from one source, so a record the source cuts
    // short comes whole from the standard palette rather than as a mix of the two.
    const std::size_t supplied = size < PaletteFileSize ? size / 3 : ColourCount;
    const uint8_t* standard = StandardPalette().data();
    for (std::size_t i = 0; i < ColourCount; ++i) {
        const uint8_t* rgb = i < supplied ? bytes + 3 * i : standard + 3 * i;
        rom.ColourTable[i] = static_cast<uint32_t>(rgb[0]) | static_cast<uint32_t>(rgb[1]) << 8 |
                             static_cast<uint32_t>(rgb[2]) << 16;
    }
}

bool LoadColourTable(CRomImage& rom, const std::string& path) {
    // Only a regular file: a FIFO of that name would hold up the start waiting for a
    // writer, and a folder or a device is no palette either. Bytes past the colours are
    // ignored, within reason.
    std::vector<uint8_t> bytes;
    int error = 0;
    const bool opened =
        regularfile::Read(path, {1 << 20, false}, bytes, error) == regularfile::ReadStatus::Read;
    SetColourTable(rom, bytes.data(), opened ? std::min(bytes.size(), PaletteFileSize) : 0);
    return opened;
}

std::vector<std::string> PaletteFolders(const char* configHome, const char* home,
                                        const std::string& programFolder) {
    std::vector<std::string> folders{""};
    if (configHome != nullptr && configHome[0] == '/') {
        folders.push_back(std::string(configHome) + "/atlasforge");
    } else if (home != nullptr && home[0] != 0) {
        folders.push_back(std::string(home) + "/.config/atlasforge");
    }
    if (!programFolder.empty()) {
        folders.push_back(
            std::filesystem::path(programFolder + "/../share/atlasforge").lexically_normal());
    }
    return folders;
}

std::optional<std::string> FindPaletteFile(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        const std::string path =
            folder.empty() ? std::string(PaletteFileName) : folder + "/" + PaletteFileName;
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) {
            continue;
        }
        if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
            std::fclose(file);
            return path;
        }
    }
    return std::nullopt;
}

} // namespace gfx
