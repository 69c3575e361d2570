#include "formats/FileIo.h"

#include <cerrno>
#include <cstring>

#include "rom/AtomicFile.h"
#include "rom/RegularFile.h"

namespace formats {

Result ReadFile(const std::string& path, Bytes& out) {
    int error = 0;
    const regularfile::ReadStatus status =
        regularfile::Read(path, {MaxInputSize, false}, out, error);
    switch (status) {
    case regularfile::ReadStatus::Read:
        return Done();
    case regularfile::ReadStatus::TooLarge:
        return FileFail(Fault::BadData, path,
                        "larger than " + std::to_string(MaxInputSize >> 20) +
                            " MiB, more than any file this tool reads");
    case regularfile::ReadStatus::Failed:
    case regularfile::ReadStatus::NotRegular:
        break;
    }
    return FileFail(Fault::File, path,
                    "cannot be read: " + regularfile::Reason(status, error, path, MaxInputSize));
}

Result WriteFileAtomic(const std::string& path, const void* data, std::size_t size) {
    return WriteFilesAtomic({{path, data, size}});
}

Result WriteFilesAtomic(const std::vector<FileContents>& files) {
    std::vector<atomicfile::Block> blocks;
    std::vector<atomicfile::Contents> contents;
    for (const FileContents& file : files) {
        blocks.push_back({file.data, file.size});
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        contents.push_back({files[i].path, &blocks[i], 1});
    }
    errno = 0;
    std::size_t failed = 0;
    if (!atomicfile::ReplaceFiles(contents.data(), contents.size(), &failed)) {
        const std::string reason = errno != 0 ? std::strerror(errno) : "write failed";
        return FileFail(Fault::File, files[failed].path, "cannot be written: " + reason);
    }
    return Done();
}

Result LoadRom(const std::string& path, CRomImage& rom) {
    if (rom.LoadRomFile(path, RomSizeRule::Exact)) {
        return Done();
    }
    return rom.LastErrorIsSize ? FileFail(Fault::BadData, path, rom.LastError)
                               : FileFail(Fault::File, path, "cannot be read: " + rom.LastError);
}

Result RomUpdate::Lock(const std::string& path) {
    path_ = path;
    if (lock_.Acquire(path) == FileLock::Status::Busy) {
        return FileFail(Fault::File, path,
                        "another program is writing it (it holds the advisory lock on the file "
                        "for more than " +
                            std::to_string(FileLock::DefaultWaitMs / 1000) +
                            " s); nothing was written");
    }
    return Done();
}

Result RomUpdate::Load(const std::string& path, CRomImage& rom, bool willWrite) {
    path_ = path;
    if (Result locked = willWrite ? Lock(path) : Done(); !locked.Ok()) {
        return locked;
    }
    return LoadRom(path, rom);
}

Result RomUpdate::Write(const void* data, std::size_t size, std::string& note) {
    // Counted before the new file takes the name, which the old one then no longer has.
    const unsigned long others = lock_.OtherNames();
    note.clear();
    if (Result written = WriteFileAtomic(path_, data, size); !written.Ok()) {
        return written;
    }
    if (others > 0) {
        note = Shown(path_) + ": its " + std::to_string(others) + " other name" +
               (others == 1 ? "" : "s") + " (hard link" + (others == 1 ? "" : "s") +
               ") still hold" + (others == 1 ? "s" : "") +
               " the old bytes; only this name has the new ones";
    }
    return Done();
}

} // namespace formats
