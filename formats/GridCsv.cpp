#include "formats/GridCsv.h"

#include "worldmap/WorldMap.h"

namespace formats {

namespace {

constexpr int LargestTile = 127;

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
        for (int y = 0; y < worldmap::MapHeight; ++y) {
            if (pos_ >= text_.size()) {
                return Error("the file ends after " + std::to_string(y) + " of " +
                             std::to_string(worldmap::MapHeight) + " lines");
            }
            for (int x = 0; x < worldmap::MapWidth; ++x) {
                int tile = 0;
                if (Result cell = Cell(x, y, tile); !cell.Ok()) {
                    return cell;
                }
                grid[y * worldmap::MapWidth + x] = static_cast<uint8_t>(tile);
                if (x + 1 < worldmap::MapWidth) {
                    if (Peek() != ',') {
                        return Error("the line has " + std::to_string(x + 1) + " of " +
                                     std::to_string(worldmap::MapWidth) + " numbers");
                    }
                    ++pos_;
                }
            }
            if (Result end = EndOfLine(); !end.Ok()) {
                return end;
            }
        }
        return Rest();
    }

  private:
    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\n'; }
    void SkipBlanks() {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) {
            ++pos_;
        }
    }

    Result Error(const std::string& what) const {
        return Fail(Fault::BadData, name_ + ": line " + std::to_string(line_) + ", column " +
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
        const std::string where =
            " (cell x " + std::to_string(x) + ", y " + std::to_string(y) + ")";
        if (pos_ == start + (negative ? 1 : 0)) {
            pos_ = start;
            const char c = Peek();
            return Error(c == ',' || c == '\n' || c == '\r' ? "a number is missing" + where
                                                            : "not a number" + where);
        }
        const std::string digits = text_.substr(start, pos_ - start);
        SkipBlanks();
        const char after = Peek();
        if (after != ',' && after != '\n' && after != '\r') {
            return Error("not a number" + where);
        }
        if (negative || value > LargestTile) {
            pos_ = start;
            return Error("tile " + Clip(digits) + " is outside 0 to 127" + where);
        }
        tile = static_cast<int>(value);
        return Done();
    }

    Result EndOfLine() {
        if (Peek() == ',') {
            return Error("the line has more than " + std::to_string(worldmap::MapWidth) +
                         " numbers");
        }
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

Result ParseGridCsv(const std::string& text, const std::string& name, worldmap::GridSpan grid) {
    return CsvReader(text, name).Read(grid);
}

} // namespace formats
