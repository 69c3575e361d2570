#include "worldmap/MapLayout.h"

#include <algorithm>
#include <cstdio>

#include "worldmap/WorldMap.h"

namespace worldmap {

namespace {

uint32_t RowZeroStart(const CRomImage& rom, int mapId) {
    return RegionStart + rom.ReadWord(TableStart(mapId));
}

bool InRowData(uint32_t offset) { return offset >= RowDataStart && offset < RowDataEnd; }

std::string Hex(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", value);
    return buf;
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

std::vector<std::string> CheckLayout(const CRomImage& rom) {
    std::vector<std::string> problems;
    uint32_t starts[MapCount];
    for (int m = 0; m < MapCount; ++m) {
        starts[m] = RowZeroStart(rom, m);
        if (!InRowData(starts[m])) {
            problems.push_back(std::string(MapName(m)) + ": row 0 starts at " + Hex(starts[m]) +
                               ", outside the row data " + Hex(RowDataStart) + " to " +
                               Hex(RowDataEnd - 1));
        }
    }
    // Maps 1 to 3 are moved when an earlier map changes size, so all their rows must be
    // inside the region.
    for (int m = 1; m < MapCount; ++m) {
        int outside = 0;
        int firstRow = -1;
        for (int r = 0; r < MapHeight; ++r) {
            uint32_t at = RegionStart + rom.ReadWord(TableStart(m) + 2 * static_cast<uint32_t>(r));
            if (!InRowData(at)) {
                if (outside++ == 0) {
                    firstRow = r;
                }
            }
        }
        if (outside > 0) {
            problems.push_back(std::string(MapName(m)) + ": " + std::to_string(outside) +
                               " row pointer(s) outside the row data, the first at row " +
                               std::to_string(firstRow));
        }
    }
    for (int m = 1; m < MapCount; ++m) {
        if (starts[m] < starts[m - 1]) {
            problems.push_back(std::string(MapName(m)) + " starts at " + Hex(starts[m]) +
                               ", before " + MapName(m - 1) + " at " + Hex(starts[m - 1]));
        }
    }
    const int freeBytes = CountFreeBytes(rom);
    const int dataEnd = static_cast<int>(RowDataEnd) - freeBytes;
    if (freeBytes < 0) {
        problems.push_back("the last stored row of " + std::string(MapName(3)) + " ends at " +
                           Hex(static_cast<uint32_t>(dataEnd)) + ", past the end of the region " +
                           Hex(RowDataEnd));
    } else if (static_cast<uint32_t>(dataEnd) < starts[3]) {
        problems.push_back("the data of " + std::string(MapName(3)) + " ends at " +
                           Hex(static_cast<uint32_t>(dataEnd)) + ", before it starts at " +
                           Hex(starts[3]));
    }
    return problems;
}

} // namespace worldmap
