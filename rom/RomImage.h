#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Size of the iNES file this editor works on: a 16-byte header and 512 KiB of cartridge data.
inline constexpr std::size_t RomFileSize = 524304;
// The largest file LoadRomFile accepts: room for data appended after the image.
inline constexpr std::size_t MaxRomFileSize = 16 * 1024 * 1024;
inline constexpr std::size_t TextTableSize = 256;

enum class RomSizeRule {
    UpTo16MiB, // the editor's: short files and data appended after the image are kept
    Exact,     // the command-line tool's: exactly RomFileSize bytes
};
inline constexpr std::size_t ColourCount = 64;

// What a file held when it was read or written, so that a change by another program since
// can be noticed: its size, modification time and CRC-32.
struct FileStamp {
    uint64_t Size = 0;
    int64_t ModifiedNs = 0; // nanoseconds since the epoch
    uint32_t Crc = 0;
    bool operator==(const FileStamp&) const = default;
};

// Reads the regular file at `path` (never waiting on a FIFO or device) and fills `stamp`;
// on failure `error` says why in the system's words. Reads stop past MaxRomFileSize.
bool StampFile(const std::string& path, FileStamp& stamp, std::string& error);

// The one in-memory copy of the ROM file, plus the two tables built at start-up.
// Every index into RomBytes is a file offset, header included.
class CRomImage {
  public:
    uint8_t RomBytes[RomFileSize] = {};
    char TextTable[TextTableSize][2] = {};
    uint32_t ColourTable[ColourCount] = {};
    std::string RomPath;
    // Bytes of a file longer than RomFileSize, carried through so a save loses nothing.
    std::vector<uint8_t> TailBytes;
    // Why the last LoadRomFile or SaveRomFile failed, in the system's words; whether a
    // failed load refused the file's size or kind rather than failing to read it.
    std::string LastError;
    bool LastErrorIsSize = false;
    // The file as last loaded or saved through this image.
    FileStamp Stamp;

    uint8_t ReadByte(uint32_t offset) const { return RomBytes[offset]; }
    void WriteByte(uint32_t offset, uint8_t value) { RomBytes[offset] = value; }
    uint16_t ReadWord(uint32_t offset) const {
        return static_cast<uint16_t>(RomBytes[offset] | (RomBytes[offset + 1] << 8));
    }
    void WriteWord(uint32_t offset, uint32_t value) {
        RomBytes[offset] = static_cast<uint8_t>(value & 0xFF);
        RomBytes[offset + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
    }

    // The editor's rule: opens for update, so a read-only file is refused, as are anything
    // but a regular file and files over MaxRomFileSize. A short file fills the image from
    // the start and leaves the rest as it was; bytes past RomFileSize are kept in TailBytes.
    // The tool's rule, RomSizeRule::Exact: any readable file of exactly RomFileSize bytes.
    bool LoadRomFile(const std::string& path, RomSizeRule rule = RomSizeRule::UpTo16MiB);
    // Replaces the file at RomPath whole, or leaves it untouched and returns false. It holds
    // the writers' lock (FileLock) while it writes, and fails naming the lock when another
    // program keeps it. With `expected`, a file that another program changed on disk (its
    // stamp is not *expected) is left as it is: false with ChangedOnDisk set and DiskStamp
    // what the file holds now. A file that is gone is written again.
    bool SaveRomFile(const FileStamp* expected = nullptr);
    bool ChangedOnDisk = false;
    FileStamp DiskStamp;
    // How many other names (hard links) the file the last save replaced had: they go on
    // naming the old bytes, as the save puts a new file in place.
    unsigned long OtherNames = 0;

    // Whether RomBytes hold changes their file does not: compared with the bytes as last
    // loaded or saved (or marked). An image never read from or written to a file has
    // nothing to differ from.
    bool DiffersFromFile() const;
    // Records RomBytes as what the file holds, for a caller that read the file itself.
    void MarkInFile();

  private:
    std::vector<uint8_t> FileBytes;
};

extern CRomImage RomImage;
