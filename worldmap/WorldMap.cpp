#include "worldmap/WorldMap.h"

#include <cstring>

#include "worldmap/MapLayout.h"

namespace worldmap {

namespace {

constexpr const char* MapNames[MapCount] = {
    "Floating World Map",
    "Water World Map",
    "Standard World Map",
    "Under Water World Map",
};

// The byte just past the coded row that starts at `pos`: decoding stops there too.
uint32_t RowEnd(const CRomImage& rom, uint32_t pos) {
    int count = 0;
    while (count < MapWidth) {
        uint8_t b = rom.ReadByte(pos);
        if (b < 0x80) {
            count += 1;
            pos += 1;
        } else {
            uint8_t len = rom.ReadByte(pos + 1);
            count += len == 0 ? 256 : len;
            pos += 2;
        }
    }
    return pos;
}

} // namespace

const char* MapName(int mapId) {
    return mapId >= 0 && mapId < MapCount ? MapNames[mapId] : "";
}

void DecodeWorldMap(const CRomImage& rom, int mapId, uint8_t* grid) {
    if (mapId < 0 || mapId >= MapCount) {
        std::memset(grid, 0, GridSize);
        return;
    }
    const uint32_t table = TableStart(mapId);
    for (int r = 0; r < MapHeight; ++r) {
        // The farthest a row can start is 0xD010 + 0xFFFF and it spans at most 512
        // bytes, so no read leaves the image.
        uint32_t pos = RegionStart + rom.ReadWord(table + 2 * static_cast<uint32_t>(r));
        uint8_t* row = grid + r * MapWidth;
        int x = 0;
        while (x < MapWidth) {
            uint8_t b = rom.ReadByte(pos);
            if (b < 0x80) {
                row[x++] = b;
                pos += 1;
            } else {
                uint8_t tile = static_cast<uint8_t>(b - 0x80);
                int len = rom.ReadByte(pos + 1);
                if (len == 0) {
                    len = 256;
                }
                int n = len < MapWidth - x ? len : MapWidth - x;
                std::memset(row + x, tile, static_cast<std::size_t>(n));
                x += n;
                pos += 2;
            }
        }
    }
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
    return static_cast<int>(RowDataEnd) - static_cast<int>(RowEnd(rom, RegionStart + largest));
}

int EncodeRow(const uint8_t* row, uint8_t* out) {
    int length = 0;
    int t = 0;
    int n = 0;
    for (int x = 0; x <= MapWidth; ++x) {
        // Past the last column a sentinel that always differs from t ends the last run.
        int v = x < MapWidth ? row[x] : (t == 0 ? 1 : 0);
        if (v == t) {
            if (++n == 256) {
                out[length++] = static_cast<uint8_t>(t + 0x80);
                out[length++] = 0x00;
                t = 0;
                n = 0;
            }
            continue;
        }
        if (n >= 2) {
            out[length++] = static_cast<uint8_t>(t + 0x80);
            out[length++] = static_cast<uint8_t>(n);
        } else if (n == 1) {
            out[length++] = static_cast<uint8_t>(t);
        }
        t = v;
        n = 1;
    }
    return length;
}

int EncodeWorldMap(const uint8_t* grid, uint16_t p0, uint8_t* out, uint16_t* pointers) {
    int length = 0;
    for (int r = 0; r < MapHeight; ++r) {
        const uint8_t* row = grid + r * MapWidth;
        int match = -1;
        // Plain comparison with every earlier row in order; the first equal one is shared.
        for (int j = 0; j < r; ++j) {
            if (std::memcmp(row, grid + j * MapWidth, MapWidth) == 0) {
                match = j;
                break;
            }
        }
        if (match >= 0) {
            pointers[r] = pointers[match];
            continue;
        }
        pointers[r] = static_cast<uint16_t>(p0 + length);
        length += EncodeRow(row, out + length);
    }
    return length;
}

StoreReport StoreWorldMapReport(CRomImage& rom, int mapId, const uint8_t* grid, int freeBytes) {
    StoreReport report;
    if (mapId >= MapCount || mapId < 0) {
        // Ids past the last map are a no-op by contract; negative ones cannot be rewritten.
        report.status = mapId < 0 ? StoreStatus::BadLayout : StoreStatus::Stored;
        return report;
    }
    for (int i = 0; i < GridSize; ++i) {
        if (grid[i] > 0x7F) {
            report.status = StoreStatus::BadTile;
            return report;
        }
    }
    // The caller's count must be current: it fixes map 3's end and the zero fill.
    if (freeBytes != CountFreeBytes(rom) || !CheckLayout(rom, mapId).empty()) {
        report.status = StoreStatus::BadLayout;
        return report;
    }

    const uint32_t table = TableStart(mapId);
    const uint32_t nextTable = table + TableSize;
    const uint16_t p0 = rom.ReadWord(table);
    const uint32_t oldStart = RegionStart + p0;
    const uint32_t oldEnd = mapId < MapCount - 1 ? RegionStart + rom.ReadWord(nextTable)
                                                 : RowDataEnd - static_cast<uint32_t>(freeBytes);
    const int oldSize = static_cast<int>(oldEnd - oldStart);

    static thread_local uint8_t buffer[MaxEncodedSize];
    uint16_t pointers[MapHeight];
    const int length = EncodeWorldMap(grid, p0, buffer, pointers);

    report.newSize = length;
    report.oldSize = oldSize;
    report.available = freeBytes + oldSize;
    if (report.available < length) {
        report.status = StoreStatus::DoesNotFit;
        return report;
    }

    uint8_t* bytes = rom.RomBytes;
    const int delta = length - oldSize;
    auto adjustFollowingTables = [&] {
        for (uint32_t entry = nextTable; entry < RowDataStart; entry += 2) {
            rom.WriteWord(entry, static_cast<uint32_t>(rom.ReadWord(entry) + delta));
        }
    };

    if (delta > 0) {
        // Free bytes at the top of the region absorb the move, by the fit test.
        std::memmove(bytes + oldEnd + delta, bytes + oldEnd, RowDataEnd - delta - oldEnd);
        adjustFollowingTables();
    }
    std::memcpy(bytes + oldStart, buffer, static_cast<std::size_t>(length));
    for (int r = 0; r < MapHeight; ++r) {
        rom.WriteWord(table + 2 * static_cast<uint32_t>(r), pointers[r]);
    }
    if (delta < 0) {
        std::memmove(bytes + oldStart + length, bytes + oldEnd, RowDataEnd - oldEnd);
        adjustFollowingTables();
        const uint32_t newDataEnd =
            RowDataEnd - static_cast<uint32_t>(freeBytes) - static_cast<uint32_t>(-delta);
        std::memset(bytes + newDataEnd, 0, RowDataEnd - newDataEnd);
    }
    return report;
}

} // namespace worldmap
