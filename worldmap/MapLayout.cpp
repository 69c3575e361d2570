#include "worldmap/MapLayout.h"

#include <algorithm>
#include <cstdio>

#include "worldmap/RowCode.h"

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
    if (mapId < 0 || mapId >= MapCount) {
        return extent;
    }
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
    if (mapId >= MapCount) {
        mapId = -1;
    }
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
    // Where the rows of each map must lie, start and end. A store of map m keeps every
    // byte before m's data and moves everything from the next map's start to the end of
    // map 3's data as one block, shifting the pointers of the maps after m with it; a row
    // anywhere else would come out changed. Without a map: each map's own data.
    for (int k = 0; k < MapCount; ++k) {
        uint32_t low;
        uint32_t high;
        if (mapId < 0) {
            low = starts[k];
            high = k < MapCount - 1 ? starts[k + 1] : dataEnd;
        } else if (k < mapId) {
            low = RowDataStart;
            high = starts[mapId];
        } else if (k > mapId) {
            low = starts[mapId + 1];
            high = dataEnd;
        } else {
            continue; // its rows are all rewritten
        }
        high = std::min(high, RowDataEnd);
        int outside = 0;
        int firstRow = -1;
        for (int r = 0; r < MapHeight; ++r) {
            const uint32_t at =
                RegionStart + rom.ReadWord(TableStart(k) + 2 * static_cast<uint32_t>(r));
            // A coded row spans at most 512 bytes: only rows that start near the end
            // need walking.
            const bool inside = at >= low && at < high &&
                                (at + 2 * MapWidth <= high || CodedRowEnd(rom, at) <= high);
            if (!inside && outside++ == 0) {
                firstRow = r;
            }
        }
        if (outside > 0) {
            problems.push_back(Name(k) + ": " + std::to_string(outside) + " row(s) not inside " +
                               Hex(low) + " to " + Hex(high - 1) + ", the first is row " +
                               std::to_string(firstRow));
        }
    }
    return problems;
}

} // namespace worldmap
