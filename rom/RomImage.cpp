#include "rom/RomImage.h"

#include <cerrno>
#include <cstring>

#include "rom/AtomicFile.h"
#include "rom/Crc32.h"
#include "rom/FileLock.h"
#include "rom/RegularFile.h"

CRomImage RomImage;

namespace {

std::string Reason(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

// Reads the whole file at `path` and stamps what was read; on failure `error` says why.
regularfile::ReadStatus ReadStamped(const std::string& path, bool forUpdate,
                                    std::vector<uint8_t>& bytes, FileStamp& stamp,
                                    std::string& error) {
    int readError = 0;
    int64_t modified = 0;
    const regularfile::ReadStatus status =
        regularfile::Read(path, {MaxRomFileSize, forUpdate}, bytes, readError, &modified);
    if (status == regularfile::ReadStatus::Read) {
        stamp = FileStamp{bytes.size(), modified, Crc32(bytes.data(), bytes.size())};
    } else {
        error = regularfile::Reason(status, readError, path, MaxRomFileSize);
    }
    return status;
}

} // namespace

bool StampFile(const std::string& path, FileStamp& stamp, std::string& error) {
    std::vector<uint8_t> bytes;
    return ReadStamped(path, false, bytes, stamp, error) == regularfile::ReadStatus::Read;
}

bool CRomImage::LoadRomFile(const std::string& path, RomSizeRule rule) {
    const bool exact = rule == RomSizeRule::Exact;
    LastErrorIsSize = false;
    const auto refuse = [this](const std::string& why, bool size) {
        LastError = why;
        LastErrorIsSize = size;
        return false;
    };
    // Read everything first, so that a failed read leaves the image as it was. Only a
    // regular file of sane size: a device or a huge file chosen by mistake would otherwise
    // be read without end, and its whole content written back on save; a FIFO would wait
    // for a writer. Update mode for the editor: a file it could not write back later is
    // refused now.
    std::vector<uint8_t> bytes;
    FileStamp stamp;
    std::string why;
    const regularfile::ReadStatus status = ReadStamped(path, !exact, bytes, stamp, why);
    if (status != regularfile::ReadStatus::Read) {
        return refuse(why, status == regularfile::ReadStatus::TooLarge);
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
    Stamp = stamp;
    MarkInFile();
    return true;
}

bool CRomImage::SaveRomFile(const FileStamp* expected) {
    ChangedOnDisk = false;
    OtherNames = 0;
    if (RomPath.empty()) {
        LastError = "no file was opened";
        return false;
    }
    FileLock lock;
    if (lock.Acquire(RomPath) == FileLock::Status::Busy) {
        LastError = "another program is writing it (it holds the advisory lock on the file)";
        return false;
    }
    // Checked under the lock, so that no other writer of ours slips in between.
    std::string unreadable;
    if (expected != nullptr && StampFile(RomPath, DiskStamp, unreadable) &&
        !(DiskStamp == *expected)) {
        ChangedOnDisk = true;
        LastError = "the file was changed by another program";
        return false;
    }
    const unsigned long others = lock.OtherNames(); // before the new file takes the name
    const atomicfile::Block blocks[] = {
        {RomBytes, RomFileSize},
        {TailBytes.data(), TailBytes.size()},
    };
    if (!atomicfile::ReplaceFile(RomPath, blocks, 2)) {
        LastError = Reason(errno);
        return false;
    }
    const uint32_t crc = Crc32(TailBytes.data(), TailBytes.size(), Crc32(RomBytes, RomFileSize));
    Stamp = FileStamp{RomFileSize + TailBytes.size(), regularfile::ModifiedNs(RomPath), crc};
    MarkInFile();
    OtherNames = others;
    return true;
}

bool CRomImage::DiffersFromFile() const {
    return !FileBytes.empty() && std::memcmp(FileBytes.data(), RomBytes, RomFileSize) != 0;
}

void CRomImage::MarkInFile() {
    FileBytes.assign(RomBytes, RomBytes + RomFileSize);
}
