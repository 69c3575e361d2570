#include "formats/GridCsv.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "worldmap/WorldMap.h"

namespace formats {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

class CsvReader {
  public:
    CsvReader(const std::string& text, const std::string& name) : text_(text), name_(name) {
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            pos_ = 3;
            lineStart_ = 3;
        }
    }

    Result Read(worldmap::GridSpan grid) {
        std::vector<uint8_t> row;
        for (int y = 0; y < worldmap::MapHeight; ++y) {
            if (pos_ >= text_.size()) {
                return Error("the file ends after " + std::to_string(y) + " of " +
                             std::to_string(worldmap::MapHeight) + " lines");
            }
            if (Result line = Row(y, worldmap::MapWidth, row); !line.Ok()) {
                return line;
            }
            std::copy(row.begin(), row.end(), grid.begin() + y * worldmap::MapWidth);
        }
        return Rest();
    }

    // Lines as long as the first, up to the blank lines that may end the file.
    Result ReadBlock(edit::Block& block) {
        block = edit::Block{};
        std::vector<uint8_t> row;
        while (!OnlyBlanksLeft()) {
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
            if (Peek() != ',') {
                if (x + 1 < width) {
                    return Error("the line has " + std::to_string(x + 1) + " of " +
                                 std::to_string(width) + " numbers");
                }
                break;
            }
            if (x + 1 == most) {
                return Error("the line has more than " + std::to_string(most) + " numbers");
            }
            ++pos_;
        }
        return EndOfLine();
    }

    bool OnlyBlanksLeft() const {
        for (std::size_t i = pos_; i < text_.size(); ++i) {
            if (!IsBlank(text_[i]) && text_[i] != '\r' && text_[i] != '\n') {
                return false;
            }
        }
        return true;
    }

    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\n'; }
    void SkipBlanks() {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) {
            ++pos_;
        }
    }

    Result Error(const std::string& what) const {
        return FileFail(Fault::BadData, name_,
                        "line " + std::to_string(line_) + ", column " +
                            std::to_string(pos_ - lineStart_ + 1) + ": " + what);
    }

    Result Cell(int x, int y, int& tile) {
        SkipBlanks();
        const std::size_t start = pos_;
        const bool negative = Peek() == '-';
        if (negative) {
            ++pos_;
        }
        long value = 0;
        while (IsDigit(Peek())) {
            value = value * 10 + (Peek() - '0');
            if (value > 1000000) {
                value = 1000000; // anything this large is out of range; stop growing
            }
            ++pos_;
        }
        // Built only for a message: a map has 65,536 cells.
        const auto where = [&] {
            return " (cell x " + std::to_string(x) + ", y " + std::to_string(y) + ")";
        };
        if (pos_ == start + (negative ? 1 : 0)) {
            pos_ = start;
            const char c = Peek();
            return Error(c == ',' || c == '\n' || c == '\r' ? "a number is missing" + where()
                                                            : "not a number" + where());
        }
        const std::size_t end = pos_;
        SkipBlanks();
        const char after = Peek();
        if (after != ',' && after != '\n' && after != '\r') {
            return Error("not a number" + where());
        }
        if (negative || value > worldmap::MaxTile) {
            pos_ = start;
            return Error("tile " + Clip(text_.substr(start, end - start)) + " is outside 0 to " +
                         std::to_string(worldmap::MaxTile) + where());
        }
        tile = static_cast<int>(value);
        return Done();
    }

    Result EndOfLine() {
        if (pos_ < text_.size() && text_[pos_] == '\r') {
            ++pos_;
        }
        if (pos_ < text_.size()) {
            if (text_[pos_] != '\n') {
                return Error("expected the end of the line");
            }
            ++pos_;
        }
        ++line_;
        lineStart_ = pos_;
        return Done();
    }

    // After the last row only blank lines may follow.
    Result Rest() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                lineStart_ = ++pos_;
            } else if (c == '\r' || IsBlank(c)) {
                ++pos_;
            } else {
                return Error("more than " + std::to_string(worldmap::MapHeight) + " lines");
            }
        }
        return Done();
    }

    const std::string& text_;
    const std::string& name_;
    std::size_t pos_ = 0;
    std::size_t lineStart_ = 0;
    int line_ = 1;
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
