#include "rom/RomImage.h"

#include <cstdio>

#include "rom/AtomicFile.h"

CRomImage RomImage;

bool CRomImage::LoadRomFile(const std::string& path) {
    // Update mode: a file we could not write back later is refused now.
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (file == nullptr) {
        return false;
    }
    std::size_t got = std::fread(RomBytes, 1, RomFileSize, file);
    std::vector<uint8_t> tail;
    if (got == RomFileSize) {
        uint8_t chunk[65536];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            tail.insert(tail.end(), chunk, chunk + n);
        }
    }
    std::fclose(file);
    TailBytes = std::move(tail);
    RomPath = path;
    return true;
}

bool CRomImage::SaveRomFile() const {
    if (RomPath.empty()) {
        return false;
    }
    const atomicfile::Block blocks[] = {
        {RomBytes, RomFileSize},
        {TailBytes.data(), TailBytes.size()},
    };
    return atomicfile::ReplaceFile(RomPath, blocks, 2);
}
