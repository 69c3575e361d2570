#include "rom/FileLock.h"

#include <cerrno>
#include <chrono>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "rom/RegularFile.h"

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

FileLock::Status FileLock::Acquire(const std::string& path, int waitMs) {
    Release();
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        // Read-only is enough for flock.
        struct stat held;
        int error = 0;
        const int fd = regularfile::OpenRegular(path, false, held, error);
        if (fd < 0) {
            return Status::NoFile; // whatever reads or writes the path next says why it cannot
        }
        int locked = -1;
        while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 &&
               (errno == EWOULDBLOCK || errno == EINTR) && Clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (locked != 0) {
            const int why = errno;
            ::close(fd);
            return why == EWOULDBLOCK || why == EINTR ? Status::Busy : Status::NoLocks;
        }
        // The holder we waited for may have put a new file in place: lock that one.
        struct stat now;
        if (::stat(path.c_str(), &now) == 0 && SameFile(now, held)) {
            fd_ = fd;
            return Status::Held;
        }
        ::close(fd);
    }
}

void FileLock::Release() {
    if (fd_ >= 0) {
        ::close(fd_); // closing the only descriptor of the open file drops its flock
        fd_ = -1;
    }
}

unsigned long FileLock::OtherNames() const {
    struct stat st;
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 && st.st_nlink > 1
               ? static_cast<unsigned long>(st.st_nlink - 1)
               : 0;
}
