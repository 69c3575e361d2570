#include "formats/EnemyTable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <functional>
#include <string_view>
#include <utility>

#include "formats/Scanner.h"
#include "formats/TextFormat.h"

namespace formats {

namespace {

using text::EnemyField;

constexpr int ColumnCount = 2 + text::EnemyFieldCount; // index and name first
constexpr int LargestIndex = text::EnemyCount - 1;
constexpr std::size_t RecordSize = text::EnemyRecordSize;

EnemyField FieldOfColumn(int column) {
    return static_cast<EnemyField>(column - 2);
}
std::string ColumnName(int column) {
    return column == 0   ? "index"
           : column == 1 ? "name"
                         : text::EnemyFieldName(FieldOfColumn(column));
}

// A piece of the file quoted in a message, clipped and on one line (a quoted CSV field or a
// JSON string may hold line breaks).
std::string Quoted(const std::string& text) {
    return "'" + Clip(text) + "'";
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

class CsvReader {
  public:
    CsvReader(const std::string& text, const std::string& name) : scan_(text), name_(name) {}

    Result Read(const std::vector<std::string>& romNames, std::vector<EnemyRow>& rows) {
        SkipBlankLines();
        if (scan_.AtEnd()) {
            return Error(scan_.Here(), "the file is empty; its first line must be the header");
        }
        if (Result header = Header(); !header.Ok()) {
            return header;
        }
        for (SkipBlankLines(); !scan_.AtEnd(); SkipBlankLines()) {
            if (Result row = Row(romNames, rows); !row.Ok()) {
                return row;
            }
        }
        return Done();
    }

  private:
    using Place = Scanner::Place;

    Result Error(const Place& at, const std::string& what) const {
        return Scanner::Error(name_, at, what);
    }

    void SkipBlankLines() {
        for (;;) {
            Scanner line = scan_;
            while (Scanner::IsBlank(line.Peek()) || line.Peek() == '\r') {
                line.Next();
            }
            if (!line.AtEnd() && line.Peek() != '\n') {
                return;
            }
            if (!line.AtEnd()) {
                line.Next();
            }
            scan_ = line;
            if (scan_.AtEnd()) {
                return;
            }
        }
    }

    bool AtFieldEnd() const {
        return scan_.AtEnd() || scan_.Peek() == ',' || Scanner::IsLineEnd(scan_.Peek());
    }

    // One field, up to the comma or line end after it; `at` is where its text starts. A
    // quoted field may hold commas, line breaks and doubled quotes.
    Result Field(std::string& out, Place& at) {
        out.clear();
        Scanner start = scan_;
        start.SkipBlanks();
        at = start.Here();
        if (start.Peek() != '"') {
            while (!AtFieldEnd()) {
                out += scan_.Peek();
                scan_.Next();
            }
            return Done();
        }
        scan_ = start;
        for (scan_.Next();;) {
            if (scan_.AtEnd()) {
                return Error(at, "a quoted field has no closing quote");
            }
            const char c = scan_.Peek();
            scan_.Next();
            if (c == '"') {
                if (scan_.Peek() != '"') {
                    break;
                }
                scan_.Next();
            }
            out += c;
        }
        scan_.SkipBlanks();
        return AtFieldEnd() ? Done()
                            : Error(scan_.Here(), "expected a comma after the closing quote");
    }

    // Reads the fields of a line one by one, handing each to `take`.
    template <typename Take> Result Line(const char* what, Take take) {
        std::string field;
        Place at;
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
            if (scan_.Peek() != ',') {
                if (column + 1 < ColumnCount) {
                    return Error(scan_.Here(), std::string(what) + " has " +
                                                   std::to_string(column + 1) + " of " +
                                                   std::to_string(ColumnCount) + " columns");
                }
                return scan_.EndLine() ? Done()
                                       : Error(scan_.Here(), "expected the end of the line");
            }
            scan_.Next();
        }
    }

    Result Header() {
        return Line("the header", [this](int column, const std::string& field, const Place& at) {
            const std::string want = ColumnName(column);
            const std::string trimmed(Trimmed(field));
            if (trimmed == want) {
                return Done();
            }
            return Error(at,
                         "expected the column " + want + " in the header, not " + Quoted(trimmed));
        });
    }

    Result Row(const std::vector<std::string>& romNames, std::vector<EnemyRow>& rows) {
        EnemyRow row;
        const long line = scan_.Here().line;
        Result read = Line("the line", [&](int column, const std::string& field, const Place& at) {
            if (column == 1) {
                const std::string problem = NameProblem(row.index, field, romNames);
                return problem.empty() ? Done() : Error(at, problem);
            }
            const int largest =
                column == 0 ? LargestIndex : text::EnemyFieldLargest(FieldOfColumn(column));
            int value = 0;
            if (const std::string problem = CheckNumber(ColumnName(column), field, largest, value);
                !problem.empty()) {
                return Error(at, problem);
            }
            if (column > 0) {
                text::SetEnemyField(row.values, FieldOfColumn(column), value);
                return Done();
            }
            long& first = seen_[static_cast<std::size_t>(value)];
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

    Scanner scan_;
    const std::string& name_;
    std::vector<long> seen_ = std::vector<long>(text::EnemyCount, -1); // the line of each index
};

// Where an item of the list and its keys stand in the text (byte offsets): Qt keeps no
// places, and keeps only the last of two equal keys.
struct KeyPlace {
    std::string key;
    std::size_t keyAt;
    std::size_t valueAt;
};
struct ItemPlace {
    std::size_t start = 0;
    std::size_t end = 0; // its closing brace, for an object
    std::vector<KeyPlace> keys;
};

// JSON's white space is the scanner's blanks and line ends.
bool IsJsonSpace(char c) {
    return Scanner::IsBlank(c) || Scanner::IsLineEnd(c);
}
std::size_t SkipJsonSpace(std::string_view text, std::size_t at) {
    while (at < text.size() && IsJsonSpace(text[at])) {
        ++at;
    }
    return at;
}

// The items of the top list and the keys of each, in a text Qt has read as valid JSON.
std::vector<ItemPlace> ItemPlaces(std::string_view text) {
    std::vector<ItemPlace> items;
    int depth = 0;
    for (std::size_t i = text.starts_with("\xEF\xBB\xBF") ? 3 : 0; i < text.size(); ++i) {
        const char c = text[i];
        if (IsJsonSpace(c) || c == ',' || c == ':') {
            continue;
        }
        if (depth == 1 && c != ']') {
            items.push_back({i, i, {}});
        }
        if (c == '"') {
            const std::size_t open = i;
            for (++i; text[i] != '"'; ++i) {
                i += text[i] == '\\' ? 1 : 0;
            }
            const std::size_t after = SkipJsonSpace(text, i + 1);
            if (depth == 2 && text[items.back().start] == '{' && after < text.size() &&
                text[after] == ':') {
                const std::string raw(text.substr(open, i + 1 - open));
                const std::string key =
                    raw.find('\\') == std::string::npos
                        ? raw.substr(1, raw.size() - 2)
                        : QJsonDocument::fromJson(QByteArray::fromStdString("[" + raw + "]"))
                              .array()[0]
                              .toString()
                              .toStdString();
                items.back().keys.push_back({key, open, SkipJsonSpace(text, after + 1)});
            }
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if (c == ']' || c == '}') {
            if (--depth == 1) {
                items.back().end = i;
            }
        } else { // a number, true, false or null
            while (i + 1 < text.size() && !IsJsonSpace(text[i + 1]) &&
                   std::string_view(",:[]{}\"").find(text[i + 1]) == std::string_view::npos) {
                ++i;
            }
        }
    }
    return items;
}

// The JSON form, parsed by Qt; the places of items and keys from the text, for messages,
// and the numbers as written, so that a fraction or an exponent is refused as in CSV.
class JsonReader {
  public:
    JsonReader(const std::string& text, const std::string& name)
        : text_(text), name_(name), scan_(text) {}

    Result Read(const std::vector<std::string>& romNames, std::vector<EnemyRow>& rows) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(
            QByteArray::fromRawData(text_.data(), static_cast<qsizetype>(text_.size())), &error);
        if (error.error != QJsonParseError::NoError) {
            return Error(static_cast<std::size_t>(error.offset),
                         "not valid JSON: " + error.errorString().toStdString());
        }
        if (!document.isArray()) {
            return Error(SkipJsonSpace(text_, scan_.Pos()),
                         "expected '[': the file must hold a JSON list of enemies");
        }
        const QJsonArray list = document.array();
        std::vector<ItemPlace> places = ItemPlaces(text_);
        places.resize(static_cast<std::size_t>(list.size()));
        for (qsizetype item = 0; item < list.size(); ++item) {
            if (Result read = Item(static_cast<int>(item), list[item],
                                   places[static_cast<std::size_t>(item)], romNames, rows);
                !read.Ok()) {
                return read;
            }
        }
        return Done();
    }

  private:
    using Suffix = std::function<std::string()>;

    Result Error(std::size_t offset, const std::string& what) const {
        return Scanner::Error(name_, scan_.PlaceOf(offset), what);
    }

    Result Item(int item, const QJsonValue& value, const ItemPlace& at,
                const std::vector<std::string>& romNames, std::vector<EnemyRow>& rows) {
        static const char* const keys[] = {"index", "name", "record", "gold", "exp"};
        EnemyRow row;
        row.index = -1;
        const Suffix suffix = [&] {
            return " (item " + std::to_string(item) +
                   (row.index >= 0 ? ", index " + std::to_string(row.index) : "") + ")";
        };
        if (!value.isObject()) {
            return Error(at.start, "expected '{' to open an enemy" + suffix());
        }
        const QJsonObject object = value.toObject();
        bool have[std::size(keys)] = {};
        std::string name;
        std::size_t nameAt = 0;
        // In the order written, as a reader of the file would meet them.
        for (const KeyPlace& key : at.keys) {
            const auto k = static_cast<std::size_t>(
                std::find(std::begin(keys), std::end(keys), key.key) - std::begin(keys));
            if (k == std::size(keys)) {
                return Error(key.keyAt, "unknown key " + Quoted(key.key) + suffix());
            }
            if (have[k]) {
                return Error(key.keyAt, "the key '" + key.key + "' is given twice" + suffix());
            }
            have[k] = true;
            const QJsonValue v = object.value(QLatin1String(keys[k]));
            Result read;
            if (k == 0) {
                read = Index(item, v, key.valueAt, row.index);
            } else if (k == 1) {
                read = v.isString() ? Done()
                                    : Error(key.valueAt, "expected the name in quotes" + suffix());
                name = v.toString().toStdString();
                nameAt = key.valueAt;
            } else if (k == 2) {
                read = Record(v, key.valueAt, row.values.record, suffix);
            } else {
                int number = 0;
                read = Number(keys[k], 0xFFFF, v, key.valueAt, number, suffix);
                (k == 3 ? row.values.gold : row.values.exp) = static_cast<uint16_t>(number);
            }
            if (!read.Ok()) {
                return read;
            }
        }
        for (std::size_t k = 0; k < std::size(keys); ++k) {
            if (!have[k]) {
                return Error(at.end,
                             "the key '" + std::string(keys[k]) + "' is missing" + suffix());
            }
        }
        if (const std::string problem = NameProblem(row.index, name, romNames); !problem.empty()) {
            return Error(nameAt, problem + suffix());
        }
        rows.push_back(row);
        return Done();
    }

    Result Index(int item, const QJsonValue& v, std::size_t at, int& index) {
        const std::string suffix = " (item " + std::to_string(item) + ")";
        if (Result read = Number("index", LargestIndex, v, at, index, [&] { return suffix; });
            !read.Ok()) {
            index = -1;
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

    // A number as written at `at`: Qt reads 1e3 as 1000, and a number as a double.
    Result Number(const std::string& label, int largest, const QJsonValue& v, std::size_t at,
                  int& value, const Suffix& suffix) const {
        if (!v.isDouble()) {
            return Error(at, "expected a number for " + label + suffix());
        }
        std::size_t end = at;
        while (end < text_.size() &&
               std::string_view("+-.eE0123456789").find(text_[end]) != std::string_view::npos) {
            ++end;
        }
        const std::string problem =
            CheckNumber(label, std::string_view(text_).substr(at, end - at), largest, value);
        return problem.empty() ? Done() : Error(at, problem + suffix());
    }

    Result Record(const QJsonValue& v, std::size_t at, std::array<uint8_t, RecordSize>& record,
                  const Suffix& suffix) const {
        const std::string bytes = std::to_string(RecordSize) + " bytes";
        if (!v.isArray()) {
            return Error(at, "expected a list of " + bytes + " for record" + suffix());
        }
        const QJsonArray list = v.toArray();
        std::size_t pos = at + 1;
        for (qsizetype k = 0; k < list.size(); ++k) {
            pos = SkipJsonSpace(text_, pos);
            pos = SkipJsonSpace(text_, pos + (k > 0 ? 1 : 0)); // the comma
            if (k == static_cast<qsizetype>(RecordSize)) {
                return Error(pos, "the record has more than " + bytes + suffix());
            }
            int byte = 0;
            if (Result read =
                    Number("record[" + std::to_string(k) + "]", 0xFF, list[k], pos, byte, suffix);
                !read.Ok()) {
                return read;
            }
            record[static_cast<std::size_t>(k)] = static_cast<uint8_t>(byte);
            while (pos < text_.size() &&
                   std::string_view(",] \t\r\n").find(text_[pos]) == std::string_view::npos) {
                ++pos;
            }
        }
        if (list.size() < static_cast<qsizetype>(RecordSize)) {
            return Error(SkipJsonSpace(text_, pos), "the record has " +
                                                        std::to_string(list.size()) + " of " +
                                                        bytes + suffix());
        }
        return Done();
    }

    const std::string& text_;
    const std::string& name_;
    Scanner scan_;                                                   // for the places of messages
    std::vector<int> seen_ = std::vector<int>(text::EnemyCount, -1); // the item of each index
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
