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

uint8_t* Row(Grid& g, int y) {
    return g.data() + y * 256;
}

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

TEST(RowCosts, WholeGridsAgreeWithTheMapCoder) {
    RowCosts costs;
    ExpectMatchesFreshCoding(costs, testsupport::Filled(0)); // before any update
    std::vector<std::unique_ptr<Grid>> grids;
    grids.push_back(std::make_unique<Grid>(testsupport::Filled(5)));
    grids.push_back(std::make_unique<Grid>(testsupport::StripedGrid(3)));
    grids.push_back(std::make_unique<Grid>(testsupport::WorstCaseGrid(1)));
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        grids.push_back(std::make_unique<Grid>(
            testsupport::RandomGrid(seed, 1 + static_cast<int>(seed) * 9, 60, 4)));
    }
    for (const auto& g : grids) {
        costs.UpdateAll(*g);
        ExpectMatchesFreshCoding(costs, *g);
    }
    EXPECT_EQ(costs.Cost(-1), 0);
    EXPECT_EQ(costs.SharesWith(256), -1);
}

// Random edits, each followed by an update of only the rows it touched: the figures are
// those of a fresh coding every time. Copied rows make sharing start and stop all the time.
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

// Sharing follows the rows on both sides: a row that becomes equal to an earlier one drops
// to 0, a shared row whose original changes codes itself again, and of three equal rows
// the later two share the first until it changes, then the last shares the second.
TEST(RowCosts, SharingStartsAndStopsWithEitherRow) {
    auto g = std::make_unique<Grid>(testsupport::RandomGrid(8, 6, 0, 20));
    RowCosts costs;
    costs.UpdateAll(*g);
    ASSERT_EQ(costs.SharesWith(200), -1);
    const int total = costs.Total();
    const int cost200 = costs.Cost(200);

    std::memcpy(Row(*g, 200), Row(*g, 10), 256);
    costs.Update(*g, RowSet().set(200));
    EXPECT_EQ(costs.SharesWith(200), 10);
    EXPECT_EQ(costs.Cost(200), 0);
    EXPECT_EQ(costs.CodedSize(200), costs.CodedSize(10));
    EXPECT_EQ(costs.Total(), total - cost200);

    // Only row 10 is updated; row 200, unchanged, now codes itself.
    Row(*g, 10)[0] = static_cast<uint8_t>(Row(*g, 10)[0] ^ 1);
    costs.Update(*g, RowSet().set(10));
    EXPECT_EQ(costs.SharesWith(200), -1);
    EXPECT_EQ(costs.Cost(200), costs.CodedSize(200));
    ExpectMatchesFreshCoding(costs, *g);

    std::memcpy(Row(*g, 50), Row(*g, 5), 256);
    std::memcpy(Row(*g, 150), Row(*g, 5), 256);
    costs.Update(*g, RowSet().set(50).set(150));
    EXPECT_EQ(costs.SharesWith(50), 5);
    EXPECT_EQ(costs.SharesWith(150), 5);
    std::memset(Row(*g, 5), 0, 256);
    costs.Update(*g, RowSet().set(5));
    EXPECT_EQ(costs.SharesWith(50), -1);
    EXPECT_EQ(costs.SharesWith(150), 50);
    EXPECT_GT(costs.Cost(50), 0);
    ExpectMatchesFreshCoding(costs, *g);
}

} // namespace
