#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "edit/RowCosts.h"
#include "tests/support/RomBuilder.h"
#include "worldmap/RowCode.h"

using edit::RowCosts;
using edit::RowSet;
using testsupport::Grid;

namespace {

const auto Row = [](Grid& g, int y) { return g.data() + y * 256; };

// Every row's figures worked out from scratch, the plain way: its own code, and the first
// earlier row equal to it byte for byte. The total is EncodeWorldMap's.
void ExpectMatchesFreshCoding(const RowCosts& costs, const Grid& g) {
    static uint8_t coded[worldmap::MaxEncodedSize];
    uint16_t pointers[256];
    ASSERT_EQ(costs.Total(), worldmap::EncodeWorldMap(g, 0, coded, pointers));
    int maxCost = 0;
    for (int r = 0; r < 256; ++r) {
        int shares = -1;
        for (int j = 0; j < r && shares < 0; ++j) {
            if (std::memcmp(g.data() + j * 256, g.data() + r * 256, 256) == 0) {
                shares = j;
            }
        }
        uint8_t code[256];
        const int size =
            worldmap::EncodeRow(std::span<const uint8_t, 256>(g.data() + r * 256, 256), code);
        ASSERT_EQ(costs.CodedSize(r), size) << "row " << r;
        ASSERT_EQ(costs.SharesWith(r), shares) << "row " << r;
        ASSERT_EQ(costs.Cost(r), shares < 0 ? size : 0) << "row " << r;
        maxCost = std::max(maxCost, costs.Cost(r));
    }
    EXPECT_EQ(costs.MaxCost(), maxCost);
}

// Before any update, and for grids whose rows are all one, share in pairs, or are long and
// all alike but for their ends (random grids are the next test's).
TEST(RowCosts, WholeGridsAgreeWithTheMapCoder) {
    RowCosts costs;
    ExpectMatchesFreshCoding(costs, testsupport::Filled(0));
    for (const Grid& g :
         {testsupport::Filled(5), testsupport::StripedGrid(3), testsupport::WorstCaseGrid(1)}) {
        costs.UpdateAll(g);
        ExpectMatchesFreshCoding(costs, g);
    }
    EXPECT_EQ(costs.Cost(-1), 0);
    EXPECT_EQ(costs.SharesWith(256), -1);
}

// Random edits, each followed by an update of only the rows it touched: the figures are
// those of a fresh coding every time. Copied rows make sharing start and stop all the time,
// for rows updated and for rows left alone whose original changed.
TEST(RowCosts, UpdatesOfTheChangedRowsKeepEveryRowRight) {
    std::mt19937 rng(11);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    auto g = std::make_unique<Grid>(testsupport::RandomGrid(5, 30, 50, 6));
    RowCosts costs;
    costs.UpdateAll(*g);
    for (int step = 0; step < 300; ++step) {
        RowSet rows;
        const int kind = pick(3);
        for (int n = 1 + pick(4); n > 0; --n) {
            const int y = pick(256);
            if (kind == 0) {
                Row(*g, y)[pick(256)] = static_cast<uint8_t>(pick(6));
            } else if (kind == 1) {
                std::memcpy(Row(*g, y), Row(*g, pick(256)), 256);
            } else {
                std::memset(Row(*g, y), pick(3), 256);
            }
            rows.set(static_cast<std::size_t>(y));
        }
        costs.Update(*g, rows);
        ASSERT_NO_FATAL_FAILURE(ExpectMatchesFreshCoding(costs, *g)) << "step " << step;
    }
}

} // namespace
