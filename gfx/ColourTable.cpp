#include "gfx/ColourTable.h"

#include <algorithm>
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

} // namespace gfx
