#include "worldmap/MapLayout.h"

#include <algorithm>
#include <cstdio>

#include "worldmap/WorldMap.h"

namespace worldmap {

namespace {

uint32_t RowZeroStart(const CRomImage& rom, int mapId) {
    return RegionStart + rom.ReadWord(TableStart(mapId));
}

std::string Hex(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", value);
    return buf;
}

std::string Name(int mapId) {
    return MapName(mapId);
}

} // namespace

MapExtent GetMapExtent(const CRomImage& rom, int mapId) {
    MapExtent extent;
    extent.start = RowZeroStart(rom, mapId);
    if (mapId < MapCount - 1) {
        extent.end = RowZeroStart(rom, mapId + 1);
    } else {
        extent.end = static_cast<uint32_t>(static_cast<int>(RowDataEnd) - CountFreeBytes(rom));
    }
    uint16_t seen[MapHeight];
    int unique = 0;
    for (int r = 0; r < MapHeight; ++r) {
        uint16_t p = rom.ReadWord(TableStart(mapId) + 2 * static_cast<uint32_t>(r));
        if (std::find(seen, seen + unique, p) == seen + unique) {
            seen[unique++] = p;
        }
    }
    extent.uniqueRows = unique;
    return extent;
}

std::vector<std::string> CheckLayout(const CRomImage& rom, int mapId) {
    std::vector<std::string> problems;
    uint32_t starts[MapCount];
    for (int m = 0; m < MapCount; ++m) {
        starts[m] = RowZeroStart(rom, m);
        if (starts[m] < RowDataStart || starts[m] >= RowDataEnd) {
            problems.push_back(Name(m) + ": row 0 starts at " + Hex(starts[m]) +
                               ", outside the row data " + Hex(RowDataStart) + " to " +
                               Hex(RowDataEnd - 1));
        }
    }
    for (int m = 1; m < MapCount; ++m) {
        if (starts[m] < starts[m - 1]) {
            problems.push_back(Name(m) + " starts at " + Hex(starts[m]) + ", before " +
                               Name(m - 1) + " at " + Hex(starts[m - 1]));
        }
    }
    const int freeBytes = CountFreeBytes(rom);
    const uint32_t dataEnd = static_cast<uint32_t>(static_cast<int>(RowDataEnd) - freeBytes);
    if (freeBytes < 0) {
        problems.push_back("the last stored row of " + Name(MapCount - 1) + " ends at " +
                           Hex(dataEnd) + ", past the end of the region " + Hex(RowDataEnd));
    } else if (dataEnd < starts[MapCount - 1]) {
        problems.push_back("the data of " + Name(MapCount - 1) + " ends at " + Hex(dataEnd) +
                           ", before it starts at " + Hex(starts[MapCount - 1]));
    }
    // A store moves everything from the start of the next map to the end of map 3's data
    // and shifts the pointers of the maps after it by the same amount; a pointer that leads
    // anywhere else would then point at the wrong bytes.
    for (int m = mapId < 0 ? 1 : mapId + 1; m < MapCount; ++m) {
        const uint32_t low = mapId < 0 ? starts[m] : starts[mapId + 1];
        int outside = 0;
        int firstRow = -1;
        for (int r = 0; r < MapHeight; ++r) {
            const uint32_t at =
                RegionStart + rom.ReadWord(TableStart(m) + 2 * static_cast<uint32_t>(r));
            if (at < low || at >= dataEnd || at >= RowDataEnd) {
                if (outside++ == 0) {
                    firstRow = r;
                }
            }
        }
        if (outside > 0) {
            problems.push_back(Name(m) + ": " + std::to_string(outside) +
                               " row pointer(s) outside " + Hex(low) + " to " +
                               Hex(std::min(dataEnd, RowDataEnd) - 1) + ", the first at row " +
                               std::to_string(firstRow));
        }
    }
    return problems;
}

} // namespace worldmap
