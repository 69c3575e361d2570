#include "edit/RowCosts.h"

#include <cstring>

namespace edit {

namespace {

using worldmap::MapHeight;
using worldmap::MapWidth;

const uint8_t* RowAt(worldmap::GridView grid, int row) {
    return grid.data() + static_cast<std::size_t>(row) * MapWidth;
}

// Any well-spread 64-bit hash will do: equal hashes are always confirmed by comparing the
// rows, so a collision costs one comparison, never a wrong answer.
uint64_t HashRow(const uint8_t* row) {
    constexpr uint64_t Multiplier = 0x9E3779B97F4A7C15ull;
    uint64_t h = 0x243F6A8885A308D3ull;
    for (int i = 0; i < MapWidth; i += 8) {
        uint64_t word;
        std::memcpy(&word, row + i, 8);
        h = (h ^ word) * Multiplier;
        h ^= h >> 29;
    }
    return h * Multiplier;
}

bool InRange(int row) {
    return row >= 0 && row < MapHeight;
}

} // namespace

RowCosts::RowCosts() {
    static const worldmap::Grid blank{};
    UpdateAll(blank);
}

void RowCosts::Update(worldmap::GridView grid, const RowSet& rows) {
    uint8_t code[MapWidth];
    for (int r = 0; r < MapHeight; ++r) {
        if (!rows.test(static_cast<std::size_t>(r))) {
            continue;
        }
        const uint8_t* row = RowAt(grid, r);
        const auto i = static_cast<std::size_t>(r);
        coded_[i] = static_cast<int16_t>(
            worldmap::EncodeRow(std::span<const uint8_t, MapWidth>(row, MapWidth), code));
        hashes_[i] = HashRow(row);
    }
    ResolveSharing(grid);
}

void RowCosts::UpdateAll(worldmap::GridView grid) {
    Update(grid, RowSet().set());
}

void RowCosts::ResolveSharing(worldmap::GridView grid) {
    // The rows that code themselves, in an open-addressed table keyed by hash. Going down
    // the rows, the first earlier row identical to this one is always such a row (it cannot
    // share itself, or the one it shares would be earlier), so looking it up here gives
    // what EncodeWorldMap's search from row 0 gives.
    constexpr std::size_t Slots = 2 * MapHeight; // a power of two, at most half full
    constexpr int SlotShift = 64 - 9;
    static_assert(std::size_t{1} << (64 - SlotShift) == Slots);
    std::array<int16_t, Slots> slots;
    slots.fill(-1);
    total_ = 0;
    maxCost_ = 0;
    for (int r = 0; r < MapHeight; ++r) {
        const auto i = static_cast<std::size_t>(r);
        const uint64_t hash = hashes_[i];
        std::size_t slot = static_cast<std::size_t>(hash >> SlotShift);
        int match = -1;
        while (slots[slot] >= 0) {
            const int j = slots[slot];
            if (hashes_[static_cast<std::size_t>(j)] == hash &&
                std::memcmp(RowAt(grid, j), RowAt(grid, r), MapWidth) == 0) {
                match = j;
                break;
            }
            slot = (slot + 1) & (Slots - 1);
        }
        sharesWith_[i] = static_cast<int16_t>(match);
        if (match < 0) {
            slots[slot] = static_cast<int16_t>(r);
            total_ += coded_[i];
            maxCost_ = coded_[i] > maxCost_ ? coded_[i] : maxCost_;
        }
    }
}

int RowCosts::Cost(int row) const {
    return InRange(row) && sharesWith_[static_cast<std::size_t>(row)] < 0
               ? coded_[static_cast<std::size_t>(row)]
               : 0;
}

int RowCosts::CodedSize(int row) const {
    return InRange(row) ? coded_[static_cast<std::size_t>(row)] : 0;
}

int RowCosts::SharesWith(int row) const {
    return InRange(row) ? sharesWith_[static_cast<std::size_t>(row)] : -1;
}

int RowCosts::Total() const {
    return total_;
}

int RowCosts::MaxCost() const {
    return maxCost_;
}

} // namespace edit
