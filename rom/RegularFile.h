#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <vector>

// Reading the files a user names (ROMs, maps, patches, palettes, pictures) without ever
// waiting: opening a FIFO for reading blocks until some writer comes, and a device may
// never end, so anything but a regular file is refused before a byte is read.
namespace regularfile {

enum class ReadStatus {
    Read,
    Failed,     // `error` holds the errno value
    NotRegular, // a FIFO, device, socket or folder; `error` is 0
    TooLarge,   // longer than the caller's limit; `error` is 0
};

struct ReadOptions {
    std::size_t limit = 0; // more bytes than this and the read stops with TooLarge
    // Opens for writing too, so that a file that could not be written back is refused now.
    bool forUpdate = false;
};

// Opens the file at `path` (for reading, or reading and writing with `forUpdate`) without
// waiting and fills `st`: its descriptor when it is a regular file, else -1 with `error` the
// errno value of a failed open, or 0 for a file of another kind.
int OpenRegular(const std::string& path, bool forUpdate, struct stat& st, int& error);

// Reads the whole regular file at `path` into `bytes` (empty after a failure).
// `modifiedNs`, when given, gets its modification time in nanoseconds since the epoch.
ReadStatus Read(const std::string& path, const ReadOptions& options, std::vector<uint8_t>& bytes,
                int& error, int64_t* modifiedNs = nullptr);

// The modification time of the file at `path` as Read gives it; 0 when it cannot be
// looked at.
int64_t ModifiedNs(const std::string& path);

// The reason a message gives for a status other than Read: "not a regular file (it is a
// FIFO)", the system's words for `error`, or "larger than N MiB".
std::string Reason(ReadStatus status, int error, const std::string& path, std::size_t limit);

} // namespace regularfile
