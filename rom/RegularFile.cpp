#include "rom/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace regularfile {

namespace {

// What the file at `path` is when it is not regular, for a message: "a FIFO", "a folder"...
// Empty when it is regular or cannot be looked at.
std::string KindOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) {
        return std::string();
    }
    const mode_t mode = st.st_mode;
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a file";
}

int64_t NsOf(const struct stat& st) {
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

int OpenRegular(const std::string& path, bool forUpdate, struct stat& st, int& error) {
    // O_NONBLOCK: the open returns at once whatever the file is; its kind is then checked.
    const int fd = ::open(path.c_str(), (forUpdate ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    error = (fd < 0 || ::fstat(fd, &st) != 0) ? errno : 0;
    if (fd >= 0 && (error != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

ReadStatus Read(const std::string& path, const ReadOptions& options, std::vector<uint8_t>& bytes,
                int& error, int64_t* modifiedNs) {
    bytes.clear();
    struct stat st;
    const int fd = OpenRegular(path, options.forUpdate, st, error);
    if (fd < 0) {
        return error != 0 ? ReadStatus::Failed : ReadStatus::NotRegular;
    }
    ReadStatus status = ReadStatus::Read;
    if (static_cast<unsigned long long>(st.st_size) > options.limit) {
        status = ReadStatus::TooLarge;
    }
    uint8_t buffer[65536];
    while (status == ReadStatus::Read) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = errno;
            status = ReadStatus::Failed;
        } else if (got == 0) {
            break;
        } else if (bytes.size() + static_cast<std::size_t>(got) > options.limit) {
            // The size said otherwise, but the file grew while it was read.
            status = ReadStatus::TooLarge;
        } else {
            bytes.insert(bytes.end(), buffer, buffer + got);
        }
    }
    ::close(fd);
    if (status != ReadStatus::Read) {
        bytes.clear();
    } else if (modifiedNs != nullptr) {
        *modifiedNs = NsOf(st);
    }
    return status;
}

int64_t ModifiedNs(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? NsOf(st) : 0;
}

std::string Reason(ReadStatus status, int error, const std::string& path, std::size_t limit) {
    switch (status) {
    case ReadStatus::Read:
        return std::string();
    case ReadStatus::Failed:
        return std::strerror(error != 0 ? error : EIO);
    case ReadStatus::NotRegular: {
        const std::string kind = KindOf(path);
        return "not a regular file" + (kind.empty() ? std::string() : " (it is " + kind + ")");
    }
    case ReadStatus::TooLarge:
        break;
    }
    return "larger than " + std::to_string(limit >> 20) + " MiB";
}

} // namespace regularfile
