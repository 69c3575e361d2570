#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "cli/GridCsv.h"
#include "worldmap/WorldMap.h"

namespace {

using namespace clitest;

std::string Csv(const Grid& grid) {
    return cli::WriteGridCsv(grid.data());
}

cli::Outcome Parse(const std::string& text, Grid& grid) {
    grid.assign(worldmap::GridSize, 0xFF);
    return cli::ParseGridCsv(text, "map.csv", grid.data());
}

// Replaces the `n`th line (0-based) of `text`, line end not included.
std::string WithLine(std::string text, int n, const std::string& line) {
    std::size_t start = 0;
    for (int i = 0; i < n; ++i) {
        start = text.find('\n', start) + 1;
    }
    return text.replace(start, text.find('\n', start) - start, line);
}

TEST(GridCsv, WritesTheGridAsLinesOfNumbersAndReadsItBack) {
    const Grid grid = NoiseGrid(1);
    const std::string text = Csv(grid);
    EXPECT_EQ(text.substr(0, text.find(',')), std::to_string(grid[0]));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 256);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find('\r'), std::string::npos);
    Grid back;
    ASSERT_TRUE(Parse(text, back).Ok());
    EXPECT_EQ(back, grid);
}

TEST(GridCsv, AcceptsCrlfSpacesByteOrderMarkAndNoFinalNewline) {
    Grid grid = NoiseGrid(2);
    std::string loose = "\xEF\xBB\xBF";
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            loose += (x ? " ,\t" : " ") + std::to_string(grid[y * 256 + x]) + " ";
        }
        loose += y < 255 ? "\r\n" : "";
    }
    Grid back;
    ASSERT_TRUE(Parse(loose, back).Ok()) << Parse(loose, back).message;
    EXPECT_EQ(back, grid);
    ASSERT_TRUE(Parse(Csv(grid) + "\n \r\n", back).Ok()); // blank lines at the end
}

TEST(GridCsv, NamesTheLineAndColumnOfBadData) {
    const std::string good = Csv(Grid(worldmap::GridSize, 7));
    const std::string prefix = "map.csv: line 3, column ";
    struct Case {
        std::string text;
        std::string message;
    } cases[] = {
        {WithLine(good, 2, "7,128" + good.substr(3, 508)),
         prefix + "3: tile 128 is outside 0 to 127 (cell x 1, y 2)"},
        {WithLine(good, 2, "7,-1" + good.substr(3, 508)),
         prefix + "3: tile -1 is outside 0 to 127 (cell x 1, y 2)"},
        {WithLine(good, 2, "7,x" + good.substr(3, 508)),
         prefix + "3: not a number (cell x 1, y 2)"},
        {WithLine(good, 2, "7,,7" + good.substr(5, 508)),
         prefix + "3: a number is missing (cell x 1, y 2)"},
        {WithLine(good, 2, "7 7" + good.substr(3, 508)),
         prefix + "3: not a number (cell x 0, y 2)"},
        {WithLine(good, 2, "7,7"), prefix + "4: the line has 2 of 256 numbers"},
        {WithLine(good, 2, good.substr(0, 511) + ",7"),
         prefix + "512: the line has more than 256 numbers"},
    };
    for (const Case& c : cases) {
        Grid grid;
        const cli::Outcome result = Parse(c.text, grid);
        EXPECT_EQ(result.code, cli::ExitBadData);
        EXPECT_EQ(result.message, c.message);
    }
    Grid grid;
    const std::string short_ = good.substr(0, good.size() - 512);
    EXPECT_EQ(Parse(short_, grid).message,
              "map.csv: line 256, column 1: the file ends after 255 of 256 lines");
    EXPECT_EQ(Parse(good + "7\n", grid).message,
              "map.csv: line 257, column 1: more than 256 lines");
    EXPECT_EQ(Parse("", grid).code, cli::ExitBadData);
}

} // namespace
