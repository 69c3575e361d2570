#include "rom/RomImage.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "rom/AtomicFile.h"

CRomImage RomImage;

bool CRomImage::LoadRomFile(const std::string& path) {
    // Update mode: a file we could not write back later is refused now.
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (file == nullptr) {
        return false;
    }
    // Only a regular file of sane size: a device or a huge file chosen by mistake would
    // otherwise be read without end, and its whole content written back on save.
    struct stat st;
    if (::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > MaxRomFileSize) {
        std::fclose(file);
        return false;
    }
    // Read everything first, so that a failed read leaves the image as it was.
    std::vector<uint8_t> bytes(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t got = 0;
    std::size_t n = 0;
    while (got <= MaxRomFileSize &&
           (n = std::fread(bytes.data() + got, 1, bytes.size() - got, file)) > 0) {
        got += n;
        if (got == bytes.size()) {
            bytes.resize(bytes.size() * 2); // the file grew since it was measured
        }
    }
    const bool failed = std::ferror(file) != 0 || got > MaxRomFileSize;
    std::fclose(file);
    if (failed) {
        return false;
    }
    const std::size_t head = got < RomFileSize ? got : RomFileSize;
    std::memcpy(RomBytes, bytes.data(), head);
    TailBytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(head),
                     bytes.begin() + static_cast<std::ptrdiff_t>(got));
    RomPath = path;
    MarkInFile();
    return true;
}

bool CRomImage::SaveRomFile() {
    if (RomPath.empty()) {
        return false;
    }
    const atomicfile::Block blocks[] = {
        {RomBytes, RomFileSize},
        {TailBytes.data(), TailBytes.size()},
    };
    if (!atomicfile::ReplaceFile(RomPath, blocks, 2)) {
        return false;
    }
    MarkInFile();
    return true;
}

bool CRomImage::DiffersFromFile() const {
    return !FileBytes.empty() && std::memcmp(FileBytes.data(), RomBytes, RomFileSize) != 0;
}

void CRomImage::MarkInFile() {
    FileBytes.assign(RomBytes, RomBytes + RomFileSize);
}
