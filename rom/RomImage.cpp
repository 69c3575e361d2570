#include "rom/RomImage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "rom/AtomicFile.h"

CRomImage RomImage;

namespace {

std::string Reason(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

} // namespace

bool CRomImage::LoadRomFile(const std::string& path, RomSizeRule rule) {
    const bool exact = rule == RomSizeRule::Exact;
    LastErrorIsSize = false;
    const auto refuse = [this](const std::string& why, bool size) {
        LastError = why;
        LastErrorIsSize = size;
        return false;
    };
    // Update mode for the editor: a file it could not write back later is refused now.
    std::FILE* file = std::fopen(path.c_str(), exact ? "rb" : "r+b");
    if (file == nullptr) {
        return refuse(Reason(errno), false);
    }
    // Only a regular file of sane size for the editor: a device or a huge file chosen by
    // mistake would otherwise be read without end, and its whole content written back on
    // save. Reading stops past MaxRomFileSize in any case.
    struct stat st;
    const char* refusal = nullptr;
    if (::fstat(::fileno(file), &st) != 0) {
        refusal = "cannot be examined";
    } else if (!exact && !S_ISREG(st.st_mode)) {
        refusal = "not a regular file";
    } else if (S_ISREG(st.st_mode) &&
               static_cast<unsigned long long>(st.st_size) > MaxRomFileSize) {
        refusal = "larger than 16 MiB";
    }
    if (refusal != nullptr) {
        std::fclose(file);
        return refuse(refusal, true);
    }
    // Read everything first, so that a failed read leaves the image as it was.
    std::vector<uint8_t> bytes(S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) + 1
                                                   : RomFileSize + 1);
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
    std::fclose(file);
    if (readError != 0) {
        return refuse(Reason(readError), false);
    }
    if (got > MaxRomFileSize) {
        return refuse("larger than 16 MiB", true);
    }
    if (exact && got != RomFileSize) {
        return refuse("not a ROM image of " + std::to_string(RomFileSize) + " bytes (it has " +
                          std::to_string(got) + ")",
                      true);
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
