#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Outcome.h"
#include "rom/RomImage.h"

namespace cli {

using Bytes = std::vector<uint8_t>;

// Reads a whole file; fails with ExitFile and the system's reason.
Outcome ReadFile(const std::string& path, Bytes& out);

// Replaces the file at `path` whole through a temporary beside it, so a failure leaves
// whatever was there before.
Outcome WriteFileAtomic(const std::string& path, const void* data, std::size_t size);
inline Outcome WriteFileAtomic(const std::string& path, const Bytes& data) {
    return WriteFileAtomic(path, data.data(), data.size());
}
inline Outcome WriteFileAtomic(const std::string& path, const std::string& text) {
    return WriteFileAtomic(path, text.data(), text.size());
}

// Loads a ROM image of exactly RomFileSize bytes into `rom` (RomBytes and RomPath).
Outcome LoadRom(const std::string& path, CRomImage& rom);

} // namespace cli
