#include "rom/RomImage.h"

#include <cstdio>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "rom/AtomicFile.h"

CRomImage RomImage;

namespace {

std::string Reason(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

} // namespace

bool CRomImage::LoadRomFile(const std::string& path) {
    // Update mode: a file we could not write back later is refused now.
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (file == nullptr) {
        LastError = Reason(errno);
        return false;
    }
    // Only a regular file of sane size: a device or a huge file chosen by mistake would
    // otherwise be read without end, and its whole content written back on save.
    struct stat st;
    const char* refusal = nullptr;
    if (::fstat(::fileno(file), &st) != 0) {
        refusal = "cannot be examined";
    } else if (!S_ISREG(st.st_mode)) {
        refusal = "not a regular file";
    } else if (static_cast<unsigned long long>(st.st_size) > MaxRomFileSize) {
        refusal = "larger than 16 MiB";
    }
    if (refusal != nullptr) {
        LastError = refusal;
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
    const int readError = std::ferror(file) != 0 ? errno : 0;
    const bool failed = readError != 0 || got > MaxRomFileSize;
    std::fclose(file);
    if (failed) {
        LastError = readError != 0 ? Reason(readError) : "larger than 16 MiB";
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
        LastError = "no file was opened";
        return false;
    }
    const atomicfile::Block blocks[] = {
        {RomBytes, RomFileSize},
        {TailBytes.data(), TailBytes.size()},
    };
    if (!atomicfile::ReplaceFile(RomPath, blocks, 2)) {
        LastError = Reason(errno);
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
