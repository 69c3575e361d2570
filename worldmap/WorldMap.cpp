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

// The image's side of a store for a free-byte count the caller says is current, with the
// map's extent that the store itself needs.
struct LayoutPlan {
    StoreLayout layout;
    uint32_t table = 0;
    uint32_t oldStart = 0;
    uint32_t oldEnd = 0;
};

LayoutPlan PlanLayout(const CRomImage& rom, int mapId, int freeBytes) {
    LayoutPlan plan;
    StoreLayout& layout = plan.layout;
    if (mapId >= MapCount || mapId < 0) {
        // Ids past the last map are a no-op by contract; negative ones cannot be rewritten.
        layout.status = mapId < 0 ? StoreStatus::BadLayout : StoreStatus::Stored;
        return plan;
    }
    layout.mapInRange = true;
    // The caller's count must be current: it fixes map 3's end and the zero fill.
    if (freeBytes != CountFreeBytes(rom) || !CheckLayout(rom, mapId).empty()) {
        layout.status = StoreStatus::BadLayout;
        return plan;
    }
    plan.table = TableStart(mapId);
    plan.oldStart = RegionStart + rom.ReadWord(plan.table);
    plan.oldEnd = mapId < MapCount - 1 ? RegionStart + rom.ReadWord(plan.table + TableSize)
                                       : RowDataEnd - static_cast<uint32_t>(freeBytes);
    layout.oldSize = static_cast<int>(plan.oldEnd - plan.oldStart);
    layout.available = freeBytes + layout.oldSize;
    return plan;
}

bool HasBadTile(GridView grid) {
    // A tile above 127 has its top bit set. An OR over the grid vectorises; a search for
    // the largest cell took half the time of a typical store.
    static_assert(MaxTile == 0x7F);
    uint8_t bits = 0;
    for (const uint8_t tile : grid) {
        bits = static_cast<uint8_t>(bits | tile);
    }
    return bits > MaxTile;
}

// The checks and the encode of a store, into `coded` (MaxEncodedSize bytes). Writes nothing.
PlannedStore PlanStore(const CRomImage& rom, int mapId, GridView grid, int freeBytes,
                       uint8_t* coded) {
    PlannedStore plan;
    const LayoutPlan layout = PlanLayout(rom, mapId, freeBytes);
    const bool badTile = layout.layout.mapInRange && HasBadTile(grid);
    if (!layout.layout.mapInRange || badTile || layout.layout.status != StoreStatus::Stored) {
        plan.report = CompleteReport(layout.layout, badTile, 0);
        return plan;
    }
    plan.table = layout.table;
    plan.oldStart = layout.oldStart;
    plan.oldEnd = layout.oldEnd;
    const auto p0 = static_cast<uint16_t>(plan.oldStart - RegionStart);
    plan.length = EncodeWorldMap(grid, p0, coded, plan.pointers);
    plan.report = CompleteReport(layout.layout, false, plan.length);
    return plan;
}

} // namespace

StoreLayout MeasureLayout(const CRomImage& rom, int mapId) {
    return PlanLayout(rom, mapId, CountFreeBytes(rom)).layout;
}

StoreReport CompleteReport(const StoreLayout& layout, bool badTile, int newSize) {
    StoreReport report;
    if (!layout.mapInRange) {
        report.status = layout.status;
    } else if (badTile) {
        // The grid's fault is reported ahead of the image's, as the store checks it first.
        report.status = StoreStatus::BadTile;
    } else if (layout.status != StoreStatus::Stored) {
        report.status = layout.status;
    } else {
        report.newSize = newSize;
        report.oldSize = layout.oldSize;
        report.available = layout.available;
        report.status = layout.available < newSize ? StoreStatus::DoesNotFit : StoreStatus::Stored;
    }
    return report;
}

StoreReport MeasureStore(const CRomImage& rom, int mapId, GridView grid) {
    static thread_local uint8_t buffer[MaxEncodedSize];
    return PlanStore(rom, mapId, grid, CountFreeBytes(rom), buffer).report;
}

namespace {

// The store, with the free bytes the caller counted (checked against the image).
StoreReport StoreWith(CRomImage& rom, int mapId, GridView grid, int freeBytes) {
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

} // namespace

StoreReport StoreWorldMapReport(CRomImage& rom, int mapId, GridView grid) {
    return StoreWith(rom, mapId, grid, CountFreeBytes(rom));
}

bool StoreWorldMap(CRomImage& rom, int mapId, GridView grid, int freeBytes) {
    return StoreWith(rom, mapId, grid, freeBytes).status == StoreStatus::Stored;
}

} // namespace worldmap
