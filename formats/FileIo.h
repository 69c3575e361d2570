#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/Limits.h"
#include "formats/Result.h"
#include "rom/FileLock.h"
#include "rom/RomImage.h"

namespace formats {

using Bytes = std::vector<uint8_t>;

// Reads a whole regular file; fails with Fault::File and the system's reason (at once for a
// FIFO, a device or a folder, which are refused rather than waited on), or with
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

// A ROM file that a command rewrites. It holds the writers' lock (FileLock) on the file from
// before the read to after the rename, so that two commands, or a command and the editor's
// Save, never both start from the old content and one change is lost.
class RomUpdate {
  public:
    // Takes the lock on `path`, waiting a short while for another writer; fails with
    // Fault::File naming the lock when that one keeps it. A file that does not exist yet
    // (or that the next read refuses) needs none.
    Result Lock(const std::string& path);
    // Lock (unless the command will write nothing), then LoadRom.
    Result Load(const std::string& path, CRomImage& rom, bool willWrite = true);
    // Replaces the locked file whole with `data`. When the file has other names (hard
    // links), `note` gets one line saying that they keep the old bytes; else it is empty.
    Result Write(const void* data, std::size_t size, std::string& note);

  private:
    FileLock lock_;
    std::string path_;
};

} // namespace formats
