#include "gfx/ColourTable.h"

#include <cstdio>

namespace gfx {

void SetColourTable(CRomImage& rom, const uint8_t* bytes, std::size_t size) {
    // Bytes the source did not supply count as 0, so no colour is left undefined.
    uint8_t buf[PaletteFileSize] = {};
    for (std::size_t i = 0; i < size && i < PaletteFileSize; ++i) {
        buf[i] = bytes[i];
    }
    for (std::size_t i = 0; i < ColourCount; ++i) {
        rom.ColourTable[i] = static_cast<uint32_t>(buf[3 * i]) |
                             static_cast<uint32_t>(buf[3 * i + 1]) << 8 |
                             static_cast<uint32_t>(buf[3 * i + 2]) << 16;
    }
}

bool LoadColourTable(CRomImage& rom, const std::string& path) {
    uint8_t buf[PaletteFileSize] = {};
    std::size_t got = 0;
    bool opened = false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file != nullptr) {
        got = std::fread(buf, 1, PaletteFileSize, file);
        // A folder of that name opens here but cannot be read: no palette either.
        opened = std::ferror(file) == 0;
        std::fclose(file);
    }
    SetColourTable(rom, buf, opened ? got : 0);
    return opened;
}

} // namespace gfx
