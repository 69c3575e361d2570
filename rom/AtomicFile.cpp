#include "rom/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace atomicfile {

namespace {

WriteFunction currentWrite = nullptr;

ssize_t DoWrite(int fd, const void* data, std::size_t size) {
    return currentWrite ? currentWrite(fd, data, size) : ::write(fd, data, size);
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        ssize_t n = DoWrite(fd, p, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The file a save really replaces: a symbolic link is followed to what it names, so the
// link itself survives. A path that does not exist yet is its own target.
std::string ResolveTarget(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return target;
        }
        char buf[PATH_MAX];
        ssize_t n = ::readlink(target.c_str(), buf, sizeof buf - 1);
        if (n <= 0) {
            return target;
        }
        std::string link(buf, static_cast<std::size_t>(n));
        if (link[0] == '/') {
            target = link;
        } else {
            auto slash = target.rfind('/');
            target =
                (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
        }
    }
    return target;
}

std::string FolderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// What a newly created file gets: read and write for all, less the process's umask.
mode_t DefaultMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

void SetWriteFunction(WriteFunction fn) {
    currentWrite = fn;
}

bool ReplaceFile(const std::string& path, const Block* blocks, std::size_t count) {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    const std::string target = ResolveTarget(path);
    mode_t mode = DefaultMode();
    bool existed = false;
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) {
        // A file we could not open for writing is not replaced behind its back either.
        if (!S_ISREG(st.st_mode)) {
            errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
            return false;
        }
        if (::access(target.c_str(), W_OK) != 0) {
            return false;
        }
        mode = st.st_mode & 07777;
        existed = true;
    } else if (errno != ENOENT) {
        return false;
    }

    // A short hidden name beside the target: the same filesystem, so the rename is atomic.
    std::string temp = FolderOf(target) + "/.atlasforge-save-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    errno = 0;
    for (std::size_t i = 0; ok && i < count; ++i) {
        if (blocks[i].size > 0) {
            ok = WriteAll(fd, blocks[i].data, blocks[i].size);
        }
    }
    if (existed) {
        // Keeps the owner when an administrator saves someone else's file; where that is
        // not allowed the file was ours to begin with.
        (void)!::fchown(fd, st.st_uid, st.st_gid);
    }
    ok = ok && ::fchmod(fd, mode) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        // The caller reports why: the failure's errno, not the clean-up's.
        const int why = errno != 0 ? errno : EIO;
        ::unlink(temp.c_str());
        errno = why;
        return false;
    }
    // Make the rename itself durable.
    int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace atomicfile
