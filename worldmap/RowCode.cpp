#include "worldmap/RowCode.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace worldmap {

namespace {

constexpr const char* MapNames[MapCount] = {
    "Floating World Map",
    "Water World Map",
    "Standard World Map",
    "Under Water World Map",
};

constexpr uint64_t HighBits = 0x8080808080808080ull;
constexpr uint64_t ByteOnes = 0x0101010101010101ull;
// How far DecodeRow may write past the row's 256 bytes.
constexpr int RowSlack = 16;

// Decodes one row into `row`, which must have RowSlack bytes of room after its 256.
// Same result as taking one item at a time; literals are moved eight at a time and runs
// are filled sixteen bytes at a time.
void DecodeRow(const uint8_t* src, uint8_t* row) {
    int x = 0;
    while (x < MapWidth) {
        uint64_t word;
        std::memcpy(&word, src, 8);
        const uint64_t high = word & HighBits;
        // Leading literal bytes of the word (the lowest address is the lowest byte).
        const int literals = high == 0 ? 8 : std::countr_zero(high) / 8;
        if (literals > 0) {
            std::memcpy(row + x, &word, 8);
            x += literals;
            src += literals;
            continue;
        }
        const uint64_t fill = static_cast<uint64_t>(src[0] - 0x80) * ByteOnes;
        const int length = src[1] == 0 ? 256 : src[1];
        const int end = x + length < MapWidth ? x + length : MapWidth;
        for (int i = x; i < end; i += 16) {
            std::memcpy(row + i, &fill, 8);
            std::memcpy(row + i + 8, &fill, 8);
        }
        x = end;
        src += 2;
    }
}

// Length of the run of equal tiles that starts at column x, compared a word at a time.
int RunLength(const uint8_t* row, int x) {
    const uint64_t fill = static_cast<uint64_t>(row[x]) * ByteOnes;
    int end = x + 1;
    while (end + 8 <= MapWidth) {
        uint64_t word;
        std::memcpy(&word, row + end, 8);
        const uint64_t diff = word ^ fill;
        if (diff != 0) {
            return end + std::countr_zero(diff) / 8 - x;
        }
        end += 8;
    }
    while (end < MapWidth && row[end] == row[x]) {
        ++end;
    }
    return end - x;
}

} // namespace

const char* MapName(int mapId) {
    return mapId >= 0 && mapId < MapCount ? MapNames[mapId] : "";
}

void DecodeWorldMap(const CRomImage& rom, int mapId, GridSpan grid) {
    if (mapId < 0 || mapId >= MapCount) {
        std::fill(grid.begin(), grid.end(), 0);
        return;
    }
    const uint32_t table = TableStart(mapId);
    // Rows are decoded in place and may spill up to RowSlack bytes into the next row,
    // which is decoded afterwards; the last row goes through a padded buffer.
    uint8_t last[MapWidth + RowSlack];
    for (int r = 0; r < MapHeight; ++r) {
        // The farthest a row can start is 0xD010 + 0xFFFF and its coding spans at most
        // 512 bytes, so even the 8-byte reads stay inside the image.
        const uint32_t pos = RegionStart + rom.ReadWord(table + 2 * static_cast<uint32_t>(r));
        uint8_t* row = r < MapHeight - 1 ? grid.data() + r * MapWidth : last;
        DecodeRow(rom.RomBytes + pos, row);
    }
    std::memcpy(grid.data() + (MapHeight - 1) * MapWidth, last, MapWidth);
}

uint32_t CodedRowEnd(const CRomImage& rom, uint32_t offset) {
    int count = 0;
    while (count < MapWidth) {
        const uint8_t b = rom.ReadByte(offset);
        if (b < 0x80) {
            count += 1;
            offset += 1;
        } else {
            const uint8_t length = rom.ReadByte(offset + 1);
            count += length == 0 ? 256 : length;
            offset += 2;
        }
    }
    return offset;
}

int CountFreeBytes(const CRomImage& rom) {
    const uint32_t table = TableStart(3);
    uint16_t largest = rom.ReadWord(table);
    for (int r = 1; r < MapHeight; ++r) {
        uint16_t p = rom.ReadWord(table + 2 * static_cast<uint32_t>(r));
        if (p > largest) {
            largest = p;
        }
    }
    return static_cast<int>(RowDataEnd) - static_cast<int>(CodedRowEnd(rom, RegionStart + largest));
}

int EncodeRow(std::span<const uint8_t, MapWidth> row, uint8_t* out) {
    // Every row is coded as its maximal runs, which is what stepping through the columns
    // with a sentinel after the last one produces: a run of one tile is a literal, a run
    // of 2 to 255 is tile + 0x80 and the length, the whole row is tile + 0x80 and 0.
    int length = 0;
    int x = 0;
    while (x < MapWidth) {
        const uint8_t t = row[x];
        const int n = RunLength(row.data(), x);
        if (n == 1) {
            out[length++] = t;
        } else {
            out[length++] = static_cast<uint8_t>(t + 0x80);
            out[length++] = static_cast<uint8_t>(n == MapWidth ? 0 : n);
        }
        x += n;
    }
    return length;
}

int EncodeWorldMap(GridView grid, uint16_t p0, uint8_t* out,
                   std::span<uint16_t, MapHeight> pointers) {
    // The first eight tiles of each row, compared as one word before the rest: the same
    // byte comparison, in the same order, ending at the first difference.
    uint64_t heads[MapHeight];
    for (int r = 0; r < MapHeight; ++r) {
        std::memcpy(&heads[r], grid.data() + r * MapWidth, 8);
    }
    int length = 0;
    for (int r = 0; r < MapHeight; ++r) {
        const uint8_t* row = grid.data() + r * MapWidth;
        int match = -1;
        for (int j = 0; j < r; ++j) {
            if (heads[j] == heads[r] &&
                std::memcmp(row + 8, grid.data() + j * MapWidth + 8, MapWidth - 8) == 0) {
                match = j;
                break;
            }
        }
        if (match >= 0) {
            pointers[r] = pointers[match];
            continue;
        }
        pointers[r] = static_cast<uint16_t>(p0 + length);
        length += EncodeRow(std::span<const uint8_t, MapWidth>(row, MapWidth), out + length);
    }
    return length;
}

} // namespace worldmap
