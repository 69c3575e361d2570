#include "formats/Recovery.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "formats/FileIo.h"
#include "rom/Crc32.h"

namespace formats {

namespace {

// "AFRECOV" and a version byte: a reader refuses any other layout rather than guess.
constexpr char Magic[8] = {'A', 'F', 'R', 'E', 'C', 'O', 'V', 1};
// Longer than any path the system takes (PATH_MAX is 4096).
constexpr std::size_t MaxPathBytes = 4096;
constexpr std::size_t GridBytes = worldmap::GridSize;

void Put(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

// Reads little-endian fields in order; any read past the end leaves it failed.
class Reader {
  public:
    explicit Reader(const std::vector<uint8_t>& bytes, std::size_t end)
        : bytes_(bytes), end_(end) {}
    uint64_t Get(int count) {
        uint64_t value = 0;
        if (!Has(static_cast<std::size_t>(count))) {
            return 0;
        }
        for (int i = 0; i < count; ++i) {
            value |= uint64_t{bytes_[at_ + static_cast<std::size_t>(i)]} << (8 * i);
        }
        at_ += static_cast<std::size_t>(count);
        return value;
    }
    const uint8_t* Take(std::size_t count) {
        if (!Has(count)) {
            return nullptr;
        }
        const uint8_t* data = bytes_.data() + at_;
        at_ += count;
        return data;
    }
    bool Failed() const { return failed_; }
    bool AtEnd() const { return at_ == end_; }

  private:
    bool Has(std::size_t count) {
        if (failed_ || end_ - at_ < count) {
            failed_ = true;
        }
        return !failed_;
    }
    const std::vector<uint8_t>& bytes_;
    std::size_t end_;
    std::size_t at_ = sizeof Magic;
    bool failed_ = false;
};

uint64_t PathHash(const std::string& text) {
    // FNV-1a: a name per path, stable across runs and builds.
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    return hash;
}

} // namespace

std::vector<uint8_t> EncodeRecovery(const Recovery& recovery) {
    std::vector<uint8_t> out(Magic, Magic + sizeof Magic);
    out.reserve(sizeof Magic + recovery.RomPath.size() + recovery.Image.size() +
                recovery.Grid.size() + 64);
    Put(out, recovery.RomPath.size(), 4);
    out.insert(out.end(), recovery.RomPath.begin(), recovery.RomPath.end());
    Put(out, recovery.Stamp.Size, 8);
    Put(out, static_cast<uint64_t>(recovery.Stamp.ModifiedNs), 8);
    Put(out, recovery.Stamp.Crc, 4);
    Put(out, static_cast<uint64_t>(recovery.EditedMs), 8);
    Put(out, recovery.Image.size(), 4);
    out.insert(out.end(), recovery.Image.begin(), recovery.Image.end());
    const bool hasGrid = recovery.MapId >= 0 && recovery.Grid.size() == GridBytes;
    Put(out, hasGrid ? static_cast<uint64_t>(recovery.MapId) : 0xFF, 1);
    if (hasGrid) {
        out.insert(out.end(), recovery.Grid.begin(), recovery.Grid.end());
    }
    Put(out, Crc32(out.data(), out.size()), 4);
    return out;
}

Result DecodeRecovery(const std::vector<uint8_t>& bytes, Recovery& out) {
    const auto damaged = [](const std::string& what) {
        return Fail(Fault::BadData, "not a whole recovery file: " + what);
    };
    if (bytes.size() < sizeof Magic + 4 || std::memcmp(bytes.data(), Magic, sizeof Magic) != 0) {
        return damaged("it does not start as one");
    }
    const std::size_t end = bytes.size() - 4;
    const uint32_t stored =
        static_cast<uint32_t>(bytes[end] | bytes[end + 1] << 8 | bytes[end + 2] << 16 |
                              static_cast<uint32_t>(bytes[end + 3]) << 24);
    if (Crc32(bytes.data(), end) != stored) {
        return damaged("its checksum does not match");
    }
    Reader in(bytes, end);
    Recovery got;
    const uint64_t pathSize = in.Get(4);
    if (pathSize == 0 || pathSize > MaxPathBytes) {
        return damaged("bad path length");
    }
    if (const uint8_t* path = in.Take(pathSize)) {
        got.RomPath.assign(reinterpret_cast<const char*>(path), pathSize);
    }
    got.Stamp.Size = in.Get(8);
    got.Stamp.ModifiedNs = static_cast<int64_t>(in.Get(8));
    got.Stamp.Crc = static_cast<uint32_t>(in.Get(4));
    got.EditedMs = static_cast<int64_t>(in.Get(8));
    const uint64_t imageSize = in.Get(4);
    if (imageSize < RomFileSize || imageSize > MaxRomFileSize) {
        return damaged("bad image size");
    }
    if (const uint8_t* image = in.Take(imageSize)) {
        got.Image.assign(image, image + imageSize);
    }
    const auto mapId = static_cast<int>(in.Get(1));
    if (mapId != 0xFF) {
        if (mapId >= worldmap::MapCount) {
            return damaged("bad map number");
        }
        got.MapId = mapId;
        if (const uint8_t* grid = in.Take(GridBytes)) {
            got.Grid.assign(grid, grid + GridBytes);
        }
    }
    if (in.Failed() || !in.AtEnd()) {
        return damaged(in.Failed() ? "it is cut short" : "extra bytes at its end");
    }
    out = std::move(got);
    return Done();
}

std::string RecoveryFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string base;
    // The XDG base directory rules ignore a relative path.
    if (state != nullptr && state[0] == '/') {
        base = state;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.local/state";
    } else {
        return {};
    }
    return base + "/atlasforge/recovery";
}

std::string RecoveryFileFor(const std::string& folder, const std::string& romPath) {
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.recovery",
                  static_cast<unsigned long long>(PathHash(romPath)));
    return folder + "/" + name;
}

Result MakeRecoveryFolder(const std::string& folder) {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') {
            continue;
        }
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return FileFail(Fault::File, part,
                            std::string("cannot be created: ") + std::strerror(errno));
        }
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return FileFail(Fault::File, folder, "is not a folder");
    }
    return Done();
}

Result WriteRecovery(const std::string& path, const Recovery& recovery) {
    // It holds the user's work: private from the first write, whatever the folder allows.
    // The replace keeps the mode of the file it replaces.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    }
    return WriteFileAtomic(path, EncodeRecovery(recovery));
}

Result ReadRecovery(const std::string& path, Recovery& out) {
    // ReadFile refuses a FIFO put in its place, which would block the start-up for ever.
    Bytes bytes;
    if (Result read = ReadFile(path, bytes); !read.Ok()) {
        return read;
    }
    Result decoded = DecodeRecovery(bytes, out);
    if (!decoded.Ok()) {
        decoded.message = Shown(path) + ": " + decoded.message;
    }
    return decoded;
}

std::optional<std::string> SetRecoveryAside(const std::string& path, std::string& error) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (int n = 0; n < 100; ++n) {
        std::string aside = path + ".stale-" + stamp;
        if (n > 0) {
            aside += "-" + std::to_string(n);
        }
        // A link, then removing the old name: never replaces a file already set aside.
        if (::link(path.c_str(), aside.c_str()) == 0) {
            ::unlink(path.c_str());
            return aside;
        }
        if (errno == EEXIST) {
            continue;
        }
        // A file system without hard links: a rename, once no file holds the name.
        struct stat st {};
        if ((errno == EPERM || errno == EOPNOTSUPP) && ::lstat(aside.c_str(), &st) != 0 &&
            ::rename(path.c_str(), aside.c_str()) == 0) {
            return aside;
        }
        error = std::strerror(errno);
        return std::nullopt;
    }
    error = "too many files set aside";
    return std::nullopt;
}

} // namespace formats
