// Arbitrary bytes as a map's CSV file and as a block of cells to paste, and grids written
// as CSV and read back. Besides memory errors it checks what the readers promise: an
// accepted map is 65,536 tiles 0 to 127, an accepted block 1 to 256 lines of equal length;
// a refused file names the line and column and leaves the caller's grid or block as it was;
// and whatever grid the writer writes, in any of the looser forms the reader allows, reads
// back as it was.
//
// Input: one steering byte, then the body. Bit 0 clear: the body is the file. Bit 0 set:
// the body's bytes are the grid's tiles (repeated to fill it), and bits 1 to 6 choose the
// looser forms.

#include <algorithm>

#include "formats/GridCsv.h"
#include "fuzz/FuzzModes.h"
#include "worldmap/WorldMap.h"

namespace {

using worldmap::Grid;

void Read(const std::string& text) {
    Grid grid;
    grid.fill(NotATile);
    const formats::Result map = formats::ParseGridCsv(text, "fuzz.csv", grid);
    if (map.Ok()) {
        FUZZ_CHECK(AllTiles(grid));
    } else {
        FUZZ_CHECK_REFUSAL(map, "fuzz.csv", "line ");
        FUZZ_CHECK(Untouched(grid));
    }

    edit::Block block{1, 1, {NotATile}};
    const formats::Result paste = formats::ParseBlockCsv(text, "fuzz.csv", block);
    if (paste.Ok()) {
        FUZZ_CHECK(block.width >= 1 && block.width <= worldmap::MapWidth);
        FUZZ_CHECK(block.height >= 1 && block.height <= worldmap::MapHeight);
        FUZZ_CHECK(block.tiles.size() == static_cast<std::size_t>(block.width * block.height));
        FUZZ_CHECK(AllTiles(block.tiles));
    } else {
        FUZZ_CHECK_REFUSAL(paste, "fuzz.csv", "line ");
        FUZZ_CHECK(block.width == 1 && block.height == 1 && block.tiles.size() == 1 &&
                   block.tiles[0] == NotATile);
    }
    // A whole map is a block too, cell for cell.
    if (map.Ok()) {
        FUZZ_CHECK(paste.Ok() && block.width == 256 && block.height == 256);
        FUZZ_CHECK(std::equal(grid.begin(), grid.end(), block.tiles.begin()));
    }
}

std::string Replaced(const std::string& text, char from, const std::string& to) {
    std::string out;
    for (const char c : text) {
        out += c == from ? to : std::string(1, c);
    }
    return out;
}

void RoundTrip(uint8_t steer, const std::string& body) {
    const Grid grid = GridOf(body);
    std::string text = formats::WriteGridCsv(grid);
    if (steer & 0x02) {
        text = Replaced(text, ',', steer & 0x04 ? "\t, " : " ,\t");
    }
    if (steer & 0x08) {
        text = Replaced(text, '\n', "\r\n");
    }
    if (steer & 0x10) {
        text.pop_back(); // no final line end
        if (text.back() == '\r') {
            text.pop_back();
        }
    }
    if (steer & 0x20) {
        text += "\n \r\n\t\n";
    }
    if (steer & 0x40) {
        text = "\xEF\xBB\xBF" + text;
    }
    Grid back{};
    const formats::Result read = formats::ParseGridCsv(text, "fuzz.csv", back);
    FUZZ_CHECK(read.Ok());
    FUZZ_CHECK(back == grid);
    edit::Block block;
    FUZZ_CHECK(formats::ParseBlockCsv(text, "fuzz.csv", block).Ok());
    FUZZ_CHECK(std::equal(grid.begin(), grid.end(), block.tiles.begin(), block.tiles.end()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return ReadOrRoundTrip(data, size, Read, RoundTrip);
}
