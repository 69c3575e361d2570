#include "formats/GridCsv.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "formats/Scanner.h"
#include "worldmap/WorldMap.h"

namespace formats {

namespace {

class CsvReader {
  public:
    CsvReader(const std::string& text, const std::string& name) : scan_(text), name_(name) {}

    Result Read(worldmap::GridSpan grid) {
        std::vector<uint8_t> row;
        for (int y = 0; y < worldmap::MapHeight; ++y) {
            if (scan_.AtEnd()) {
                return Error("the file ends after " + std::to_string(y) + " of " +
                             std::to_string(worldmap::MapHeight) + " lines");
            }
            if (Result line = Row(y, worldmap::MapWidth, row); !line.Ok()) {
                return line;
            }
            std::copy(row.begin(), row.end(), grid.begin() + y * worldmap::MapWidth);
        }
        // After the last row only blank lines may follow.
        scan_.SkipBlanks(true);
        return scan_.AtEnd() ? Done()
                             : Error("more than " + std::to_string(worldmap::MapHeight) + " lines");
    }

    // Lines as long as the first, up to the blank lines that may end the file.
    Result ReadBlock(edit::Block& block) {
        block = edit::Block{};
        std::vector<uint8_t> row;
        while (!scan_.OnlySpaceLeft()) {
            if (block.height == worldmap::MapHeight) {
                return Error("more than " + std::to_string(worldmap::MapHeight) + " lines");
            }
            if (Result line = Row(block.height, block.width, row); !line.Ok()) {
                return line;
            }
            block.width = static_cast<int>(row.size());
            block.tiles.insert(block.tiles.end(), row.begin(), row.end());
            ++block.height;
        }
        if (block.height == 0) {
            return Error("the file holds no tile numbers");
        }
        return Done();
    }

  private:
    Result Error(const std::string& what) const {
        return Scanner::Error(name_, scan_.Here(), what);
    }

    bool AtCellEnd() const {
        return scan_.AtEnd() || scan_.Peek() == ',' || Scanner::IsLineEnd(scan_.Peek());
    }

    // One line of `width` numbers, or of any count up to the map's width when `width` is 0.
    Result Row(int y, int width, std::vector<uint8_t>& row) {
        row.clear();
        const int most = width > 0 ? width : worldmap::MapWidth;
        for (int x = 0;; ++x) {
            int tile = 0;
            if (Result cell = Cell(x, y, tile); !cell.Ok()) {
                return cell;
            }
            row.push_back(static_cast<uint8_t>(tile));
            if (scan_.Peek() != ',') {
                if (x + 1 < width) {
                    return Error("the line has " + std::to_string(x + 1) + " of " +
                                 std::to_string(width) + " numbers");
                }
                break;
            }
            if (x + 1 == most) {
                return Error("the line has more than " + std::to_string(most) + " numbers");
            }
            scan_.Next();
        }
        return scan_.EndLine() ? Done() : Error("expected the end of the line");
    }

    Result Cell(int x, int y, int& tile) {
        scan_.SkipBlanks();
        const Scanner::Number n = scan_.ReadNumber(true, 1000000);
        // Built only for a message: a map has 65,536 cells.
        const auto where = [&] {
            return " (cell x " + std::to_string(x) + ", y " + std::to_string(y) + ")";
        };
        if (!n.hasDigits) {
            scan_.Back(n);
            return Error((AtCellEnd() ? "a number is missing" : "not a number") + where());
        }
        scan_.SkipBlanks();
        if (!AtCellEnd()) {
            return Error("not a number" + where());
        }
        if (n.negative || n.value > static_cast<uint64_t>(worldmap::MaxTile)) {
            scan_.Back(n);
            return Error("tile " + Clip(scan_.Token(n)) + " is outside 0 to " +
                         std::to_string(worldmap::MaxTile) + where());
        }
        tile = static_cast<int>(n.value);
        return Done();
    }

    Scanner scan_;
    const std::string& name_;
};

} // namespace

std::string WriteGridCsv(worldmap::GridView grid) {
    std::string out;
    out.reserve(static_cast<std::size_t>(worldmap::GridSize) * 4);
    for (int y = 0; y < worldmap::MapHeight; ++y) {
        for (int x = 0; x < worldmap::MapWidth; ++x) {
            if (x > 0) {
                out += ',';
            }
            out += std::to_string(grid[y * worldmap::MapWidth + x]);
        }
        out += '\n';
    }
    return out;
}

// Both read into a copy, so that a refused file leaves the caller's grid or block as it was.
Result ParseGridCsv(const std::string& text, const std::string& name, worldmap::GridSpan grid) {
    worldmap::Grid read{};
    Result result = CsvReader(text, name).Read(read);
    if (result.Ok()) {
        std::copy(read.begin(), read.end(), grid.begin());
    }
    return result;
}

Result ParseBlockCsv(const std::string& text, const std::string& name, edit::Block& block) {
    edit::Block read;
    Result result = CsvReader(text, name).ReadBlock(read);
    if (result.Ok()) {
        block = std::move(read);
    }
    return result;
}

} // namespace formats
