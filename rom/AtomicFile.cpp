#include "rom/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace atomicfile {

namespace {

WriteFunction currentWrite = nullptr;
RenameFunction currentRename = nullptr;
LinkFunction currentLink = nullptr;

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

void SetRenameFunction(RenameFunction fn) {
    currentRename = fn;
}

void SetLinkFunction(LinkFunction fn) {
    currentLink = fn;
}

namespace {

// A file written in full beside its target, not yet renamed over it.
struct Staged {
    std::string target;
    std::string temp;
    std::string backup; // a second name of the target's old content, while one is needed
    bool existed = false;
};

// Writes and syncs the temporary of one file; false on failure, leaving the caller to
// remove any temporary.
bool Stage(const Contents& file, Staged& out) {
    if (file.path.empty()) {
        errno = ENOENT;
        return false;
    }
    out.target = ResolveTarget(file.path);
    mode_t mode = DefaultMode();
    struct stat st;
    if (::stat(out.target.c_str(), &st) == 0) {
        // A file we could not open for writing is not replaced behind its back either.
        if (!S_ISREG(st.st_mode)) {
            errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
            return false;
        }
        if (::access(out.target.c_str(), W_OK) != 0) {
            return false;
        }
        mode = st.st_mode & 07777;
        out.existed = true;
    } else if (errno != ENOENT) {
        return false;
    }

    // A short hidden name beside the target: the same filesystem, so the rename is atomic.
    out.temp = FolderOf(out.target) + "/.atlasforge-save-XXXXXX";
    int fd = ::mkstemp(out.temp.data());
    if (fd < 0) {
        out.temp.clear();
        return false;
    }
    bool ok = true;
    errno = 0;
    for (std::size_t i = 0; ok && i < file.count; ++i) {
        if (file.blocks[i].size > 0) {
            ok = WriteAll(fd, file.blocks[i].data, file.blocks[i].size);
        }
    }
    if (out.existed) {
        // Keeps the owner when an administrator saves someone else's file; where that is
        // not allowed the file was ours to begin with.
        (void)!::fchown(fd, st.st_uid, st.st_gid);
    }
    ok = ok && ::fchmod(fd, mode) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    return ok;
}

// Copies `from` to the new file `to`, synced, with the same permission bits.
bool CopyFile(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY);
    if (in < 0) {
        return false;
    }
    struct stat st;
    const int out = ::fstat(in, &st) == 0
                        ? ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, st.st_mode & 07777)
                        : -1;
    bool ok = out >= 0;
    char buf[65536];
    while (ok) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = WriteAll(out, buf, static_cast<std::size_t>(n));
    }
    ok = ok && ::fsync(out) == 0;
    if (out >= 0) {
        ok = (::close(out) == 0) && ok;
        if (!ok) {
            ::unlink(to.c_str());
        }
    }
    ::close(in);
    return ok;
}

// Keeps the old content of a file about to be replaced under `backup`: a second name
// where the file system has hard links, else a copy (FAT and many network shares).
bool KeepOldContent(const std::string& target, const std::string& backup) {
    if ((currentLink ? currentLink : ::link)(target.c_str(), backup.c_str()) == 0) {
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK && errno != ENOSYS) {
        return false;
    }
    return CopyFile(target, backup);
}

void SyncFolder(const std::string& target) {
    int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

bool ReplaceFiles(const Contents* files, std::size_t count, std::size_t* failed) {
    std::vector<Staged> staged(count);
    std::size_t at = 0; // the file that failed
    bool ok = true;
    errno = 0;
    while (ok && at < count) {
        ok = Stage(files[at], staged[at]);
        at += ok ? 1 : 0;
    }
    // The old content of each file but the last stays reachable until all are in place.
    for (std::size_t i = 0; ok && i + 1 < count; ++i) {
        if (staged[i].existed) {
            staged[i].backup = staged[i].temp + "-old";
            if (!KeepOldContent(staged[i].target, staged[i].backup)) {
                staged[i].backup.clear();
                ok = false;
                at = i;
            }
        }
    }
    std::size_t renamed = 0;
    for (; ok && renamed < count; ++renamed) {
        const Staged& s = staged[renamed];
        if ((currentRename ? currentRename : ::rename)(s.temp.c_str(), s.target.c_str()) != 0) {
            ok = false;
            at = renamed;
            break;
        }
    }
    if (failed != nullptr) {
        *failed = at;
    }
    // The caller reports why: the failure's errno, not the clean-up's.
    const int why = errno != 0 ? errno : EIO;
    for (std::size_t i = 0; i < count; ++i) {
        const Staged& s = staged[i];
        bool keepBackup = false;
        if (!ok && i < renamed) {
            if (s.existed) {
                // Old content that cannot go back stays beside the file rather than be lost.
                keepBackup = ::rename(s.backup.c_str(), s.target.c_str()) != 0;
            } else {
                ::unlink(s.target.c_str());
            }
        } else if (i >= renamed && !s.temp.empty()) {
            ::unlink(s.temp.c_str());
        }
        if (!s.backup.empty() && !keepBackup) {
            ::unlink(s.backup.c_str()); // gone already when it was put back
        }
    }
    // Make the renames themselves durable, those that undid others included.
    for (const Staged& s : staged) {
        SyncFolder(s.target);
    }
    if (!ok) {
        errno = why;
        return false;
    }
    return true;
}

bool ReplaceFile(const std::string& path, const Block* blocks, std::size_t count) {
    const Contents file{path, blocks, count};
    return ReplaceFiles(&file, 1, nullptr);
}

} // namespace atomicfile
