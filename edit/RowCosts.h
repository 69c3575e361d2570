#pragma once

#include <array>
#include <cstdint>

#include "edit/GridOps.h"
#include "worldmap/RowCode.h"

namespace edit {

// What each row of a grid adds to the stored map, kept up to date row by row: an edit
// re-codes only the rows it changed, then works out again which rows share an earlier
// identical row's code by comparing per-row hashes. The totals are exactly those of
// EncodeWorldMap. Until the first update it describes a grid of tile 0.
class RowCosts {
  public:
    RowCosts();

    // Recomputes the coded size of every row in `rows` (and only those), then which rows share.
    // Rows not in `rows` must hold what they held at the last update.
    void Update(worldmap::GridView grid, const RowSet& rows);
    void UpdateAll(worldmap::GridView grid); // every row
    int Cost(int row) const;       // bytes the row adds to the stored map: 0 when it shares
    int CodedSize(int row) const;  // bytes of the row's own code, shared or not
    int SharesWith(int row) const; // the earlier identical row whose code it uses, or -1
    int Total() const;             // sum of Cost: exactly what EncodeWorldMap returns
    int MaxCost() const;           // largest Cost of any row (for scaling bars)

  private:
    void ResolveSharing(worldmap::GridView grid);

    std::array<uint64_t, worldmap::MapHeight> hashes_{};
    std::array<int16_t, worldmap::MapHeight> coded_{};
    std::array<int16_t, worldmap::MapHeight> sharesWith_{};
    int total_ = 0;
    int maxCost_ = 0;
};

} // namespace edit
