#include "worldmap/WorldMap.h"

#include <algorithm>
#include <cstring>

#include "worldmap/MapLayout.h"

namespace worldmap {

namespace {

// One store worked out before anything is written: where the map lies and its new code.
struct PlannedStore {
    StoreReport report;
    uint32_t table = 0;
    uint32_t oldStart = 0;
    uint32_t oldEnd = 0;
    int length = 0;
    uint16_t pointers[MapHeight] = {};
};

// The checks and the encode of a store, into `coded` (MaxEncodedSize bytes). Writes nothing.
PlannedStore PlanStore(const CRomImage& rom, int mapId, GridView grid, int freeBytes,
                       uint8_t* coded) {
    PlannedStore plan;
    StoreReport& report = plan.report;
    if (mapId >= MapCount || mapId < 0) {
        // Ids past the last map are a no-op by contract; negative ones cannot be rewritten.
        report.status = mapId < 0 ? StoreStatus::BadLayout : StoreStatus::Stored;
        return plan;
    }
    // A tile above 127 has its top bit set. An OR over the grid vectorises; a search for
    // the largest cell took half the time of a typical store.
    static_assert(MaxTile == 0x7F);
    uint8_t bits = 0;
    for (const uint8_t tile : grid) {
        bits = static_cast<uint8_t>(bits | tile);
    }
    if (bits > MaxTile) {
        report.status = StoreStatus::BadTile;
        return plan;
    }
    // The caller's count must be current: it fixes map 3's end and the zero fill.
    if (freeBytes != CountFreeBytes(rom) || !CheckLayout(rom, mapId).empty()) {
        report.status = StoreStatus::BadLayout;
        return plan;
    }

    plan.table = TableStart(mapId);
    const uint16_t p0 = rom.ReadWord(plan.table);
    plan.oldStart = RegionStart + p0;
    plan.oldEnd = mapId < MapCount - 1 ? RegionStart + rom.ReadWord(plan.table + TableSize)
                                       : RowDataEnd - static_cast<uint32_t>(freeBytes);
    const int oldSize = static_cast<int>(plan.oldEnd - plan.oldStart);
    plan.length = EncodeWorldMap(grid, p0, coded, plan.pointers);

    report.newSize = plan.length;
    report.oldSize = oldSize;
    report.available = freeBytes + oldSize;
    if (report.available < plan.length) {
        report.status = StoreStatus::DoesNotFit;
    }
    return plan;
}

} // namespace

StoreReport MeasureStore(const CRomImage& rom, int mapId, GridView grid) {
    static thread_local uint8_t buffer[MaxEncodedSize];
    return PlanStore(rom, mapId, grid, CountFreeBytes(rom), buffer).report;
}

StoreReport StoreWorldMapReport(CRomImage& rom, int mapId, GridView grid, int freeBytes) {
    static thread_local uint8_t buffer[MaxEncodedSize];
    const PlannedStore plan = PlanStore(rom, mapId, grid, freeBytes, buffer);
    if (plan.report.status != StoreStatus::Stored || mapId >= MapCount) {
        return plan.report;
    }

    uint8_t* bytes = rom.RomBytes;
    const uint32_t nextTable = plan.table + TableSize;
    const uint32_t oldStart = plan.oldStart;
    const uint32_t oldEnd = plan.oldEnd;
    const int length = plan.length;
    const int delta = length - plan.report.oldSize;
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
        rom.WriteWord(plan.table + 2 * static_cast<uint32_t>(r), plan.pointers[r]);
    }
    if (delta < 0) {
        std::memmove(bytes + oldStart + length, bytes + oldEnd, RowDataEnd - oldEnd);
        adjustFollowingTables();
        const uint32_t newDataEnd =
            RowDataEnd - static_cast<uint32_t>(freeBytes) - static_cast<uint32_t>(-delta);
        std::memset(bytes + newDataEnd, 0, RowDataEnd - newDataEnd);
    }
    return plan.report;
}

} // namespace worldmap
