#pragma once

#include <string>

// The lock that the programs writing a ROM (the editor's Save, the command-line tool's
// commands that rewrite one) take on it, so that two of them never both read the old
// content and one's change is lost. It is an advisory lock (flock) on the file itself:
// programs that do not ask for it are not stopped.
class FileLock {
  public:
    enum class Status {
        Held,    // this object holds the lock on the file the path names
        NoFile,  // nothing to lock: the file does not exist, or is not a regular file
        NoLocks, // the file system takes no locks (some network shares): go on without
        Busy,    // another program held it for the whole wait
    };

    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() { Release(); }

    // Takes the lock on the file `path` names, trying again for up to `waitMs`
    // milliseconds while another program holds it. A save replaces the file by a rename,
    // so a lock on the file that was there is worthless once it is replaced: the lock is
    // taken again on whatever the path names after the wait.
    Status Acquire(const std::string& path, int waitMs = DefaultWaitMs);
    void Release();
    // How many names (hard links) the locked file has besides the one it was locked by; 0
    // when none is held.
    unsigned long OtherNames() const;

    static constexpr int DefaultWaitMs = 2000;

  private:
    int fd_ = -1;
};
