#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/Limits.h"
#include "formats/Result.h"
#include "rom/RomImage.h"

namespace formats {

using Bytes = std::vector<uint8_t>;

// Reads a whole file; fails with Fault::File and the system's reason, or with
// Fault::BadData for a file longer than MaxInputSize.
Result ReadFile(const std::string& path, Bytes& out);

// Replaces the file at `path` whole through a temporary beside it, so a failure leaves
// whatever was there before.
Result WriteFileAtomic(const std::string& path, const void* data, std::size_t size);
inline Result WriteFileAtomic(const std::string& path, const Bytes& data) {
    return WriteFileAtomic(path, data.data(), data.size());
}
inline Result WriteFileAtomic(const std::string& path, const std::string& text) {
    return WriteFileAtomic(path, text.data(), text.size());
}

// Replaces files that belong together (a map and the tileset it names) as a set: all of
// them, or none, with every one as it was.
struct FileContents {
    std::string path;
    const void* data;
    std::size_t size;
};
Result WriteFilesAtomic(const std::vector<FileContents>& files);

// Loads a ROM image of exactly RomFileSize bytes into `rom` (RomBytes and RomPath): a file
// that cannot be read is Fault::File, one of another size Fault::BadData.
Result LoadRom(const std::string& path, CRomImage& rom);

} // namespace formats
