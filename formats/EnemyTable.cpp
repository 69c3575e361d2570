#include "formats/EnemyTable.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "formats/TextFormat.h"

namespace formats {

namespace {

using text::EnemyField;

constexpr int ColumnCount = 2 + text::EnemyFieldCount; // index and name first
constexpr int LargestIndex = text::EnemyCount - 1;
constexpr std::size_t RecordSize = text::EnemyRecordSize;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

EnemyField FieldOfColumn(int column) {
    return static_cast<EnemyField>(column - 2);
}
std::string ColumnName(int column) {
    return column == 0   ? "index"
           : column == 1 ? "name"
                         : text::EnemyFieldName(FieldOfColumn(column));
}

std::string Trimmed(const std::string& text) {
    const auto first = std::find_if_not(text.begin(), text.end(), IsBlank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), IsBlank).base();
    return first < last ? std::string(first, last) : std::string();
}

// A piece of the file quoted in a message, clipped and on one line (a quoted CSV field or a
// JSON string may hold line breaks).
std::string Quoted(const std::string& text) {
    return "'" + Clip(text) + "'";
}

// `token` (blanks around it dropped) as a whole number 0 to `largest` into `value`; else the
// reason it is not one, in a message about `label`.
std::string CheckNumber(const std::string& label, const std::string& token, int largest,
                        int& value) {
    const std::string digits = Trimmed(token);
    if (digits.empty()) {
        return label + " is empty";
    }
    const std::size_t first = digits[0] == '-' ? 1 : 0;
    if (first == digits.size() ||
        !std::all_of(digits.begin() + static_cast<long>(first), digits.end(), IsDigit)) {
        return label + " " + Quoted(digits) + " is not a whole number";
    }
    long number = 0;
    for (std::size_t i = first; i < digits.size(); ++i) {
        number = std::min(number * 10 + (digits[i] - '0'), 1000000L); // past any limit: stop
    }
    if ((first == 1 && number > 0) || number > largest) {
        return label + " " + Clip(digits) + " is outside 0 to " + std::to_string(largest);
    }
    value = static_cast<int>(number);
    return {};
}

// Empty when `given` is the ROM's name of enemy `index`, else the message.
std::string NameProblem(int index, const std::string& given,
                        const std::vector<std::string>& romNames) {
    const auto at = static_cast<std::size_t>(index);
    const std::string rom = at < romNames.size() ? romNames[at] : std::string();
    if (given == rom) {
        return {};
    }
    return "name " + Quoted(given) + " is not enemy " + std::to_string(index) + "'s name " +
           Quoted(rom) + " (enemies cannot be renamed: the names are packed back to back)";
}

struct Where {
    int line = 1;
    std::size_t column = 1;
};

// A place in the text that counts lines, for the messages.
class Reader {
  public:
    Reader(const std::string& text, const std::string& name) : text_(text), name_(name) {
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            pos_ = lineStart_ = 3;
        }
    }

  protected:
    Where Here() const { return {line_, pos_ - lineStart_ + 1}; }
    Result Error(const Where& at, const std::string& what) const {
        return FileFail(Fault::BadData, name_,
                        "line " + std::to_string(at.line) + ", column " +
                            std::to_string(at.column) + ": " + what);
    }
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
    // After the reader has passed a line feed.
    void NewLine() {
        ++line_;
        lineStart_ = pos_;
    }

    const std::string& text_;
    const std::string& name_;
    std::size_t pos_ = 0;
    std::size_t lineStart_ = 0;
    int line_ = 1;
    std::vector<int> seen_ = std::vector<int>(text::EnemyCount, -1); // where each index came
};

class CsvReader : Reader {
  public:
    using Reader::Reader;

    Result Read(const std::vector<std::string>& romNames, std::vector<EnemyRow>& rows) {
        SkipBlankLines();
        if (AtEnd()) {
            return Error(Here(), "the file is empty; its first line must be the header");
        }
        if (Result header = Header(); !header.Ok()) {
            return header;
        }
        for (SkipBlankLines(); !AtEnd(); SkipBlankLines()) {
            if (Result row = Row(romNames, rows); !row.Ok()) {
                return row;
            }
        }
        return Done();
    }

  private:
    void SkipBlankLines() {
        for (;;) {
            std::size_t at = pos_;
            while (at < text_.size() && (IsBlank(text_[at]) || text_[at] == '\r')) {
                ++at;
            }
            if (at == text_.size()) {
                pos_ = at;
                return;
            }
            if (text_[at] != '\n') {
                return;
            }
            pos_ = at + 1;
            NewLine();
        }
    }

    bool AtFieldEnd() const {
        const char c = Peek();
        return AtEnd() || c == ',' || c == '\r' || c == '\n';
    }

    // One field, up to the comma or line end after it; `at` is where its text starts. A
    // quoted field may hold commas, line breaks and doubled quotes.
    Result Field(std::string& out, Where& at) {
        out.clear();
        std::size_t start = pos_;
        while (start < text_.size() && IsBlank(text_[start])) {
            ++start;
        }
        if (start == text_.size() || text_[start] != '"') {
            at = {line_, start - lineStart_ + 1};
            while (!AtFieldEnd()) {
                out += text_[pos_++];
            }
            return Done();
        }
        pos_ = start;
        at = Here();
        for (++pos_;;) {
            if (AtEnd()) {
                return Error(at, "a quoted field has no closing quote");
            }
            const char c = text_[pos_++];
            if (c == '"' && Peek() != '"') {
                break;
            }
            pos_ += c == '"' ? 1 : 0;
            if (c == '\n') {
                NewLine();
            }
            out += c;
        }
        while (IsBlank(Peek())) {
            ++pos_;
        }
        return AtFieldEnd() ? Done() : Error(Here(), "expected a comma after the closing quote");
    }

    Result EndOfLine() {
        if (Peek() == '\r') {
            ++pos_;
        }
        if (!AtEnd()) {
            if (text_[pos_] != '\n') {
                return Error(Here(), "expected the end of the line");
            }
            ++pos_;
        }
        NewLine();
        return Done();
    }

    // Reads the fields of a line one by one, handing each to `take`.
    template <typename Take> Result Line(const char* what, Take take) {
        std::string field;
        Where at;
        for (int column = 0;; ++column) {
            if (Result read = Field(field, at); !read.Ok()) {
                return read;
            }
            if (column == ColumnCount) {
                return Error(at, std::string(what) + " has more than " +
                                     std::to_string(ColumnCount) + " columns");
            }
            if (Result taken = take(column, field, at); !taken.Ok()) {
                return taken;
            }
            if (Peek() != ',') {
                if (column + 1 < ColumnCount) {
                    return Error(Here(), std::string(what) + " has " + std::to_string(column + 1) +
                                             " of " + std::to_string(ColumnCount) + " columns");
                }
                return EndOfLine();
            }
            ++pos_;
        }
    }

    Result Header() {
        return Line("the header", [this](int column, const std::string& field, const Where& at) {
            const std::string want = ColumnName(column);
            if (Trimmed(field) == want) {
                return Done();
            }
            return Error(at, "expected the column " + want + " in the header, not " +
                                 Quoted(Trimmed(field)));
        });
    }

    Result Row(const std::vector<std::string>& romNames, std::vector<EnemyRow>& rows) {
        EnemyRow row;
        const int line = line_;
        Result read = Line("the line", [&](int column, const std::string& field, const Where& at) {
            if (column == 1) {
                const std::string problem = NameProblem(row.index, field, romNames);
                return problem.empty() ? Done() : Error(at, problem);
            }
            const std::string label = ColumnName(column);
            const int largest =
                column == 0 ? LargestIndex : text::EnemyFieldLargest(FieldOfColumn(column));
            int value = 0;
            if (const std::string problem = CheckNumber(label, field, largest, value);
                !problem.empty()) {
                return Error(at, problem);
            }
            if (column > 0) {
                text::SetEnemyField(row.values, FieldOfColumn(column), value);
                return Done();
            }
            int& first = seen_[static_cast<std::size_t>(value)];
            if (first >= 0) {
                return Error(at, "index " + std::to_string(value) + " is already given on line " +
                                     std::to_string(first));
            }
            first = line;
            row.index = value;
            return Done();
        });
        if (read.Ok()) {
            rows.push_back(row);
        }
        return read;
    }
};

class JsonReader : Reader {
  public:
    using Reader::Reader;

    Result Read(const std::vector<std::string>& romNames, std::vector<EnemyRow>& rows) {
        SkipSpace();
        if (Peek() != '[') {
            return Error(Here(), "expected '[': the file must hold a JSON list of enemies");
        }
        int item = 0;
        const auto none = [] { return std::string(); };
        Result read = Members(
            ']', "after an item of the list", [&] { return Item(item++, romNames, rows); }, none);
        if (!read.Ok()) {
            return read;
        }
        SkipSpace();
        return AtEnd() ? Done() : Error(Here(), "unexpected text after the list");
    }

  private:
    void SkipSpace() {
        while (!AtEnd()) {
            const char c = text_[pos_];
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
                return;
            }
            ++pos_;
            if (c == '\n') {
                NewLine();
            }
        }
    }

    Result Expected(const std::string& what, const std::string& suffix = {}) const {
        return Error(Here(),
                     "expected " + what + (AtEnd() ? " before the end of the file" : "") + suffix);
    }

    // From the opening bracket or brace to `close`: `member` for each member, with a comma
    // between two and none after the last.
    template <typename Member, typename Suffix>
    Result Members(char close, const std::string& what, Member member, Suffix suffix) {
        ++pos_;
        SkipSpace();
        if (Peek() == close) {
            ++pos_;
            return Done();
        }
        for (;;) {
            if (Result read = member(); !read.Ok()) {
                return read;
            }
            SkipSpace();
            if (Peek() == close) {
                ++pos_;
                return Done();
            }
            if (Peek() != ',') {
                return Expected("',' or '" + std::string(1, close) + "' " + what, suffix());
            }
            ++pos_;
            SkipSpace();
        }
    }
    // Where the closing character Members took stands.
    Where Closing() const { return {line_, pos_ - lineStart_}; }

    Result Item(int item, const std::vector<std::string>& romNames, std::vector<EnemyRow>& rows) {
        static const char* const keys[] = {"index", "name", "record", "gold", "exp"};
        EnemyRow row;
        row.index = -1;
        std::string name;
        Where nameAt;
        bool have[std::size(keys)] = {};
        const auto suffix = [&] {
            return " (item " + std::to_string(item) +
                   (row.index >= 0 ? ", index " + std::to_string(row.index) : "") + ")";
        };
        if (Peek() != '{') {
            return Expected("'{' to open an enemy", suffix());
        }
        const auto member = [&]() -> Result {
            const Where keyAt = Here();
            std::string key;
            if (Peek() != '"') {
                return Expected("a key in quotes", suffix());
            }
            if (Result read = String(key); !read.Ok()) {
                return read;
            }
            const auto k = static_cast<std::size_t>(
                std::find(std::begin(keys), std::end(keys), key) - std::begin(keys));
            if (k == std::size(keys)) {
                return Error(keyAt, "unknown key " + Quoted(key) + suffix());
            }
            if (have[k]) {
                return Error(keyAt, "the key '" + key + "' is given twice" + suffix());
            }
            have[k] = true;
            SkipSpace();
            if (Peek() != ':') {
                return Expected("':' after the key", suffix());
            }
            ++pos_;
            SkipSpace();
            switch (k) {
            case 0:
                return Index(item, row.index);
            case 1:
                nameAt = Here();
                return Peek() == '"' ? String(name) : Expected("the name in quotes", suffix());
            case 2:
                return Record(row.values.record, suffix);
            default: {
                int number = 0;
                Result read = Number(keys[k], 0xFFFF, number, suffix);
                (k == 3 ? row.values.gold : row.values.exp) = static_cast<uint16_t>(number);
                return read;
            }
            }
        };
        if (Result read = Members('}', "in an enemy", member, suffix); !read.Ok()) {
            return read;
        }
        for (std::size_t k = 0; k < std::size(keys); ++k) {
            if (!have[k]) {
                return Error(Closing(),
                             "the key '" + std::string(keys[k]) + "' is missing" + suffix());
            }
        }
        if (const std::string problem = NameProblem(row.index, name, romNames); !problem.empty()) {
            return Error(nameAt, problem + suffix());
        }
        rows.push_back(row);
        return Done();
    }

    Result Index(int item, int& index) {
        const std::string suffix = " (item " + std::to_string(item) + ")";
        const Where at = Here();
        if (Result read = Number("index", LargestIndex, index, [&] { return suffix; });
            !read.Ok()) {
            return read;
        }
        int& first = seen_[static_cast<std::size_t>(index)];
        if (first >= 0) {
            const int given = index;
            index = -1;
            return Error(at, "index " + std::to_string(given) + " is already given by item " +
                                 std::to_string(first) + suffix);
        }
        first = item;
        return Done();
    }

    template <typename Suffix>
    Result Number(const std::string& label, int largest, int& value, Suffix suffix) {
        const Where at = Here();
        const std::size_t start = pos_;
        while (!AtEnd() && std::string_view("+-.eE0123456789").find(Peek()) != std::string::npos) {
            ++pos_;
        }
        if (pos_ == start) {
            return Expected("a number for " + label, suffix());
        }
        const std::string problem =
            CheckNumber(label, text_.substr(start, pos_ - start), largest, value);
        return problem.empty() ? Done() : Error(at, problem + suffix());
    }

    template <typename Suffix>
    Result Record(std::array<uint8_t, RecordSize>& record, Suffix suffix) {
        const std::string bytes = std::to_string(RecordSize) + " bytes";
        if (Peek() != '[') {
            return Expected("a list of " + bytes + " for record", suffix());
        }
        std::size_t count = 0;
        const auto member = [&]() -> Result {
            if (count == RecordSize) {
                return Error(Here(), "the record has more than " + bytes + suffix());
            }
            int byte = 0;
            Result read = Number("record[" + std::to_string(count) + "]", 0xFF, byte, suffix);
            record[count++] = static_cast<uint8_t>(byte);
            return read;
        };
        if (Result read = Members(']', "in the record", member, suffix); !read.Ok()) {
            return read;
        }
        if (count < RecordSize) {
            return Error(Closing(),
                         "the record has " + std::to_string(count) + " of " + bytes + suffix());
        }
        return Done();
    }

    // A string from its opening quote, escapes decoded (\u to UTF-8).
    Result String(std::string& out) {
        const Where at = Here();
        out.clear();
        for (++pos_;;) {
            if (AtEnd()) {
                return Error(at, "a string has no closing quote");
            }
            const Where here = Here();
            const char c = text_[pos_++];
            if (c == '"') {
                return Done();
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return Error(here, "a control character in a string");
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = Peek();
            ++pos_;
            if (e == 'u') {
                if (Result read = Unicode(here, out); !read.Ok()) {
                    return read;
                }
                continue;
            }
            static const std::string_view from = "\"\\/bfnrt", to = "\"\\/\b\f\n\r\t";
            const std::size_t which = e == '\0' ? std::string::npos : from.find(e);
            if (which == std::string::npos) {
                return Error(here, "a bad escape in a string");
            }
            out += to[which];
        }
    }

    // The four hex digits after "\u" (a pair of them for a character past U+FFFF).
    Result Unicode(const Where& at, std::string& out) {
        const auto hex4 = [this](uint32_t& unit) {
            if (text_.size() - pos_ < 4) {
                return false;
            }
            unit = 0;
            for (int i = 0; i < 4; ++i) {
                const char c = text_[pos_++];
                const int digit = IsDigit(c)             ? c - '0'
                                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                         : -1;
                if (digit < 0) {
                    return false;
                }
                unit = unit << 4 | static_cast<uint32_t>(digit);
            }
            return true;
        };
        uint32_t code = 0;
        if (!hex4(code) || (code >= 0xDC00 && code <= 0xDFFF)) {
            return Error(at, "a bad \\u escape in a string");
        }
        if (code >= 0xD800 && code <= 0xDBFF) {
            uint32_t low = 0;
            const bool escaped = text_.compare(pos_, 2, "\\u") == 0;
            pos_ += escaped ? 2 : 0;
            if (!escaped || !hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                return Error(at, "a bad \\u escape in a string");
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        const auto put = [&out](uint32_t byte) { out += static_cast<char>(byte); };
        if (code < 0x80) {
            put(code);
        } else if (code < 0x800) {
            put(0xC0 | (code >> 6));
            put(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            put(0xE0 | (code >> 12));
            put(0x80 | ((code >> 6) & 0x3F));
            put(0x80 | (code & 0x3F));
        } else {
            put(0xF0 | (code >> 18));
            put(0x80 | ((code >> 12) & 0x3F));
            put(0x80 | ((code >> 6) & 0x3F));
            put(0x80 | (code & 0x3F));
        }
        return Done();
    }
};

} // namespace

std::string WriteEnemyCsv(const std::vector<text::EnemyInfo>& enemies) {
    std::string out;
    for (int column = 0; column < ColumnCount; ++column) {
        out += (column ? "," : "") + ColumnName(column);
    }
    out += '\n';
    for (std::size_t i = 0; i < enemies.size(); ++i) {
        out += std::to_string(i) + ',' + CsvField(enemies[i].name);
        for (int f = 0; f < text::EnemyFieldCount; ++f) {
            out +=
                ',' + std::to_string(text::EnemyFieldValue(enemies[i], static_cast<EnemyField>(f)));
        }
        out += '\n';
    }
    return out;
}

std::string WriteEnemyJson(const std::vector<text::EnemyInfo>& enemies) {
    std::string out = "[\n";
    for (std::size_t i = 0; i < enemies.size(); ++i) {
        const text::EnemyInfo& e = enemies[i];
        out += "  {\"index\": " + std::to_string(i) + ", \"name\": " + JsonString(e.name) +
               ", \"record\": [";
        for (std::size_t b = 0; b < e.record.size(); ++b) {
            out += (b ? ", " : "") + std::to_string(e.record[b]);
        }
        out += "], \"gold\": " + std::to_string(e.gold) + ", \"exp\": " + std::to_string(e.exp) +
               "}" + (i + 1 < enemies.size() ? "," : "") + "\n";
    }
    return out + "]\n";
}

Result ParseEnemyCsv(const std::string& text, const std::string& name,
                     const std::vector<std::string>& romNames, std::vector<EnemyRow>& rows) {
    std::vector<EnemyRow> read;
    Result result = CsvReader(text, name).Read(romNames, read);
    if (result.Ok()) {
        rows = std::move(read);
    }
    return result;
}

Result ParseEnemyJson(const std::string& text, const std::string& name,
                      const std::vector<std::string>& romNames, std::vector<EnemyRow>& rows) {
    std::vector<EnemyRow> read;
    Result result = JsonReader(text, name).Read(romNames, read);
    if (result.Ok()) {
        rows = std::move(read);
    }
    return result;
}

} // namespace formats
