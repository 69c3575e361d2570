#include "formats/FileIo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "rom/AtomicFile.h"

namespace formats {

Result ReadFile(const std::string& path, Bytes& out) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return FileFail(Fault::File, path, std::string("cannot be read: ") + std::strerror(errno));
    }
    int error = 0;
    const bool read = ReadToEnd(file, MaxInputSize, out, error);
    std::fclose(file);
    if (read) {
        return Done();
    }
    return error != 0
               ? FileFail(Fault::File, path, std::string("cannot be read: ") + std::strerror(error))
               : FileFail(Fault::BadData, path,
                          "larger than " + std::to_string(MaxInputSize >> 20) +
                              " MiB, more than any file this tool reads");
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

} // namespace formats
