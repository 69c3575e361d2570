#include "rom/RomImage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include "rom/AtomicFile.h"
#include "rom/Crc32.h"

CRomImage RomImage;

namespace {

std::string Reason(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

int64_t ModifiedNs(const struct stat& st) {
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

uint32_t CrcOf(const std::vector<uint8_t>& bytes) {
    return Crc32(bytes.data(), bytes.size());
}

} // namespace

bool StampFile(const std::string& path, FileStamp& stamp, std::string& error) {
    // Non-blocking, so that opening a FIFO cannot wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = Reason(errno);
        return false;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        error = Reason(errno);
        ::close(fd);
        return false;
    }
    struct stat st;
    std::vector<uint8_t> bytes;
    int readError = 0;
    bool ok = false;
    if (::fstat(fd, &st) != 0) {
        error = Reason(errno);
    } else if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
    } else if (!ReadToEnd(file, MaxRomFileSize, bytes, readError)) {
        error = readError != 0 ? Reason(readError) : "larger than 16 MiB";
    } else {
        stamp = FileStamp{bytes.size(), ModifiedNs(st), CrcOf(bytes)};
        ok = true;
    }
    std::fclose(file);
    return ok;
}

bool ReadToEnd(std::FILE* file, std::size_t limit, std::vector<uint8_t>& bytes, int& error) {
    bytes.clear();
    uint8_t buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (bytes.size() + got > limit) {
            bytes.clear();
            error = 0;
            return false;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    error = std::ferror(file) != 0 ? (errno != 0 ? errno : EIO) : 0;
    if (error != 0) {
        bytes.clear();
    }
    return error == 0;
}

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
    if (::fstat(::fileno(file), &st) != 0) {
        const int error = errno;
        std::fclose(file);
        return refuse(Reason(error), false);
    }
    const bool regular = S_ISREG(st.st_mode);
    if ((!exact && !regular) ||
        (regular && static_cast<unsigned long long>(st.st_size) > MaxRomFileSize)) {
        std::fclose(file);
        return refuse(regular ? "larger than 16 MiB" : "not a regular file", true);
    }
    // Read everything first, so that a failed read leaves the image as it was.
    std::vector<uint8_t> bytes;
    int readError = 0;
    const bool read = ReadToEnd(file, MaxRomFileSize, bytes, readError);
    std::fclose(file);
    if (!read) {
        return readError != 0 ? refuse(Reason(readError), false)
                              : refuse("larger than 16 MiB", true);
    }
    const std::size_t got = bytes.size();
    if (exact && got != RomFileSize) {
        return refuse("not a ROM image of " + std::to_string(RomFileSize) + " bytes (it has " +
                          std::to_string(got) + ")",
                      true);
    }
    const std::size_t head = got < RomFileSize ? got : RomFileSize;
    if (head != 0) {
        // An empty file gives an empty vector, whose data() may be null.
        std::memcpy(RomBytes, bytes.data(), head);
    }
    TailBytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(head),
                     bytes.begin() + static_cast<std::ptrdiff_t>(got));
    RomPath = path;
    Stamp = FileStamp{got, ModifiedNs(st), CrcOf(bytes)};
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
    struct stat st;
    const uint32_t crc = Crc32(TailBytes.data(), TailBytes.size(), Crc32(RomBytes, RomFileSize));
    Stamp = FileStamp{RomFileSize + TailBytes.size(),
                      ::stat(RomPath.c_str(), &st) == 0 ? ModifiedNs(st) : 0, crc};
    MarkInFile();
    return true;
}

bool CRomImage::DiffersFromFile() const {
    return !FileBytes.empty() && std::memcmp(FileBytes.data(), RomBytes, RomFileSize) != 0;
}

void CRomImage::MarkInFile() {
    FileBytes.assign(RomBytes, RomBytes + RomFileSize);
}
