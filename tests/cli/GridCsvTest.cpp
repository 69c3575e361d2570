#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "cli/GridCsv.h"

namespace {

using namespace clitest;

cli::Outcome Parse(const std::string& text, Grid& grid) {
    grid.assign(worldmap::GridSize, 0xFF);
    return cli::ParseGridCsv(text, "map.csv", grid.data());
}

TEST(GridCsv, WritesLinesOfNumbersAndReadsThemBackInLooserForms) {
    const Grid grid = NoiseGrid(1);
    const std::string text = cli::WriteGridCsv(grid.data());
    EXPECT_EQ(text.substr(0, text.find(',')), std::to_string(grid[0]));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 256);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find('\r'), std::string::npos);
    // A byte order mark, spaces and tabs around numbers, CRLF, no final newline.
    std::string loose = "\xEF\xBB\xBF";
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            loose += (x ? " ,\t" : " ") + std::to_string(grid[y * 256 + x]) + " ";
        }
        loose += y < 255 ? "\r\n" : "";
    }
    for (const std::string& form : {text, loose, text + "\n \r\n"}) {
        Grid back;
        const cli::Outcome result = Parse(form, back);
        ASSERT_TRUE(result.Ok()) << result.message;
        EXPECT_EQ(back, grid);
    }
}

TEST(GridCsv, NamesTheLineAndColumnOfBadData) {
    const std::string good = cli::WriteGridCsv(Grid(worldmap::GridSize, 7).data());
    const std::string row = good.substr(0, 511); // each line is 512 bytes with its LF
    // The good map with its third line replaced.
    const auto third = [&](const std::string& line) {
        return std::string(good).replace(1024, 511, line);
    };
    const std::string at = "map.csv: line 3, column ";
    const std::pair<std::string, std::string> cases[] = {
        {third("7,128" + row.substr(3)), at + "3: tile 128 is outside 0 to 127 (cell x 1, y 2)"},
        {third("7,-1" + row.substr(3)), at + "3: tile -1 is outside 0 to 127 (cell x 1, y 2)"},
        {third("7,x" + row.substr(3)), at + "3: not a number (cell x 1, y 2)"},
        {third("7,,7" + row.substr(5)), at + "3: a number is missing (cell x 1, y 2)"},
        {third("7 7" + row.substr(3)), at + "3: not a number (cell x 0, y 2)"},
        {third("7,7"), at + "4: the line has 2 of 256 numbers"},
        {third(row + ",7"), at + "512: the line has more than 256 numbers"},
        {good.substr(0, 255 * 512),
         "map.csv: line 256, column 1: the file ends after 255 of 256 lines"},
        {good + row + "\n", "map.csv: line 257, column 1: more than 256 lines"},
        {"", "map.csv: line 1, column 1: the file ends after 0 of 256 lines"},
    };
    for (const auto& [text, message] : cases) {
        Grid grid;
        const cli::Outcome result = Parse(text, grid);
        EXPECT_EQ(result.code, cli::ExitBadData);
        EXPECT_EQ(result.message, message);
    }
}

} // namespace
