#include "rom/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "rom/Crc32.h"

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

// What a newly created file gets: read and write for all, less the process's umask. Read
// from /proc where it can be: setting the mask to learn it would, for that moment, let
// another thread create a file open to everyone.
mode_t DefaultMode() {
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status) != nullptr) {
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        }
        std::fclose(status);
        if (found) {
            return 0666 & ~static_cast<mode_t>(mask);
        }
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Temporaries are named ".atlasforge-save-HOST-BOOT-PID-START-N": a CRC-32 of the host's
// name and pid namespace, the start of the kernel's boot id, the writing process and its start time
// (clock ticks since boot), and a count. A save killed between naming its temporary and renaming it
// leaves one behind; the next save in that folder removes it once it can prove that the process
// that wrote it is gone (same host: another boot, or no such process now).
constexpr char TempStem[] = ".atlasforge-save-";

std::string FirstLine(const std::string& path) {
    std::string line;
    if (std::FILE* file = std::fopen(path.c_str(), "re")) {
        char buf[1024];
        if (std::fgets(buf, sizeof buf, file) != nullptr) {
            line = buf;
        }
        std::fclose(file);
    }
    return line;
}

// A process's start time from /proc; empty when there is no such process.
std::string StartTime(long pid) {
    const std::string stat = FirstLine("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) {
        return {};
    }
    // Fields from the third (the state) on, after the command name in parentheses; the
    // start time is the 22nd field.
    std::size_t at = close + 2;
    for (int field = 3; field < 22 && at != std::string::npos; ++field) {
        at = stat.find(' ', at);
        at = at == std::string::npos ? at : at + 1;
    }
    if (at == std::string::npos) {
        return {};
    }
    return stat.substr(at, stat.find(' ', at) - at);
}

// This machine and boot: empty when they cannot be told (no /proc), and then no leftover
// is ever proved stale.
struct Machine {
    std::string host, boot;
};
const Machine& ThisMachine() {
    static const Machine machine = [] {
        Machine m;
        char name[256] = {};
        std::string boot = FirstLine("/proc/sys/kernel/random/boot_id");
        // Process ids are told apart only within one pid namespace (a container sharing
        // the folder has its own), so the namespace counts as part of the host.
        char space[64] = {};
        const ssize_t spaceSize = ::readlink("/proc/self/ns/pid", space, sizeof space - 1);
        if (::gethostname(name, sizeof name - 1) == 0 && boot.size() >= 8 && spaceSize > 0) {
            const std::string host = std::string(name) + "/" + space;
            char crc[16];
            std::snprintf(crc, sizeof crc, "%08x",
                          Crc32(reinterpret_cast<const uint8_t*>(host.data()), host.size()));
            m.host = crc;
            m.boot = boot.substr(0, 8);
        }
        return m;
    }();
    return machine;
}

std::atomic<unsigned long> tempCount{0};

// A fresh temporary name in `folder` for this process.
std::string TempName(const std::string& folder) {
    const Machine& m = ThisMachine();
    const long pid = static_cast<long>(::getpid());
    const std::string start = StartTime(pid);
    return folder + "/" + TempStem + (m.host.empty() ? "x" : m.host) + "-" +
           (m.boot.empty() ? "x" : m.boot) + "-" + std::to_string(pid) + "-" +
           (start.empty() ? "x" : start) + "-" + std::to_string(tempCount++);
}

// Whether the temporary `name` (without its folder) was left by a process that is gone.
bool ProvedStale(const std::string& name) {
    const Machine& m = ThisMachine();
    if (m.host.empty() || name.compare(0, sizeof TempStem - 1, TempStem) != 0) {
        return false;
    }
    std::vector<std::string> fields;
    std::size_t at = sizeof TempStem - 1;
    for (;;) {
        const auto dash = name.find('-', at);
        fields.push_back(name.substr(at, dash == std::string::npos ? dash : dash - at));
        if (dash == std::string::npos) {
            break;
        }
        at = dash + 1;
    }
    // Only the exact form: another program's file, or a set's kept old content
    // ("...-N-old"), is never touched.
    if (fields.size() != 5 || fields[0] != m.host) {
        return false;
    }
    for (std::size_t i = 2; i < 5; ++i) {
        if (fields[i].empty() || fields[i].find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
    }
    if (fields[1] != m.boot) {
        return true; // written before this machine last started
    }
    const std::string start = StartTime(std::strtol(fields[2].c_str(), nullptr, 10));
    return start != fields[3];
}

void RemoveLeftovers(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (ProvedStale(entry->d_name)) {
            ::unlink((folder + "/" + entry->d_name).c_str());
        }
    }
    ::closedir(dir);
}

} // namespace

std::string FolderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

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

    const std::string folder = FolderOf(out.target);
    RemoveLeftovers(folder);
    const auto writeContent = [&](int fd) {
        bool ok = true;
        errno = 0;
        for (std::size_t i = 0; ok && i < file.count; ++i) {
            if (file.blocks[i].size > 0) {
                ok = WriteAll(fd, file.blocks[i].data, file.blocks[i].size);
            }
        }
        if (out.existed) {
            // Keeps the owner when an administrator saves someone else's file; where that
            // is not allowed the file was ours to begin with.
            (void)!::fchown(fd, st.st_uid, st.st_gid);
        }
        ok = ok && ::fchmod(fd, mode) == 0;
        return ok && ::fsync(fd) == 0;
    };

    // Beside the target: the same filesystem, so the rename is atomic. First as a file
    // without a name, which a process killed while writing it leaves nowhere; it gets its
    // hidden name only when whole, just before the rename.
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        bool ok = writeContent(fd);
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        while (ok) {
            out.temp = TempName(folder);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, out.temp.c_str(), AT_SYMLINK_FOLLOW) ==
                0) {
                break;
            }
            const int why = errno;
            out.temp.clear();
            if (why != EEXIST) {
                // No /proc to name it through: written again below, under a name.
                ::close(fd);
                fd = -1;
                break;
            }
        }
        if (fd >= 0) {
            const int why = errno;
            ok = (::close(fd) == 0) && ok;
            errno = ok ? 0 : why;
            return ok;
        }
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return false;
    }
    // A file system without unnamed files: a named temporary from the start.
    do {
        out.temp = TempName(folder);
        fd = ::open(out.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EEXIST);
    if (fd < 0) {
        out.temp.clear();
        return false;
    }
    bool ok = writeContent(fd);
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
