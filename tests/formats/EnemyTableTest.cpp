// The enemy table as CSV and JSON: what is written reads back, and bad rows are named.
#include <gtest/gtest.h>

#include "formats/EnemyTable.h"

namespace {

using formats::EnemyRow;

const std::vector<std::string> Names = {"Imp", "Ogre, \"Big\"", "Bat"};

// Enemy i: record bytes 16 i to 16 i + 15, so hp is 16 i + 1 + 256 (16 i + 2).
std::vector<text::EnemyInfo> Enemies() {
    std::vector<text::EnemyInfo> enemies(Names.size());
    for (std::size_t i = 0; i < enemies.size(); ++i) {
        enemies[i].name = Names[i];
        for (std::size_t b = 0; b < 16; ++b) {
            enemies[i].record[b] = static_cast<uint8_t>(16 * i + b);
        }
        enemies[i].gold = static_cast<uint16_t>(1000 * i + 7);
        enemies[i].exp = static_cast<uint16_t>(65535 - i);
    }
    return enemies;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

formats::Result Parse(const std::string& text, const std::string& name,
                      std::vector<EnemyRow>& rows) {
    return name.ends_with(".csv") ? formats::ParseEnemyCsv(text, name, Names, rows)
                                  : formats::ParseEnemyJson(text, name, Names, rows);
}

TEST(EnemyTable, ReadsWhatItWritesAndLooserFormsOfIt) {
    const auto enemies = Enemies();
    const std::string csv = formats::WriteEnemyCsv(enemies);
    const std::string json = formats::WriteEnemyJson(enemies);
    std::string crlf;
    for (char c : csv) {
        crlf += c == '\n' ? "\r\n" : std::string(1, c);
    }
    const std::string looseCsv =
        Replaced(Replaced("\xEF\xBB\xBF" + crlf, "0,Imp,0,513,", " \"0\" ,\"Imp\", 0 ,\"513\","),
                 "2,Bat", " \t\r\n\r\n2,Bat");
    const std::string looseJson =
        Replaced(Replaced(json, "{\"index\": 0, \"name\": \"Imp\",",
                          "\t{ \"name\":\"\\u0049mp\" ,\r\n\"\\u0069ndex\":0,"),
                 "\"gold\": 7, \"exp\": 65535", "\"exp\" : 65535,\"gold\":7\n ");
    for (const auto& [text, name] : {std::pair(csv, "t.csv"), std::pair(looseCsv, "t.csv"),
                                     std::pair(json, "t.json"), std::pair(looseJson, "t.json")}) {
        std::vector<EnemyRow> rows;
        const formats::Result result = Parse(text, name, rows);
        ASSERT_TRUE(result.Ok()) << result.message;
        ASSERT_EQ(rows.size(), 3u);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].index, static_cast<int>(i));
            EXPECT_EQ(std::tuple(rows[i].values.record, rows[i].values.gold, rows[i].values.exp),
                      std::tuple(enemies[i].record, enemies[i].gold, enemies[i].exp));
        }
    }
    std::vector<EnemyRow> rows;
    EXPECT_TRUE(Parse("[]", "t.json", rows).Ok() && rows.empty());
}

TEST(EnemyTable, BadRowsFailNamingTheirPlace) {
    const std::string csv = formats::WriteEnemyCsv(Enemies());
    const std::string json = formats::WriteEnemyJson(Enemies());
    const std::string renamed =
        " is not enemy 2's name 'Bat' (enemies cannot be renamed: the names are packed "
        "back to back)";
    const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
        {"t.csv", ",4625,", ",70000,", "line 3, column 22: hp 70000 is outside 0 to 65535"},
        {"t.csv", "2,Bat,32", "2,Bat,-1", "line 4, column 7: back_attack -1 is outside 0 to 255"},
        {"t.csv", ",1007,", ", 1.5 ,", "line 3, column 67: gold '1.5' is not a whole number"},
        {"t.csv", ",65534\n", ",\n", "line 3, column 71: exp is empty"},
        {"t.csv", "2,Bat", "0,Bat", "line 4, column 1: index 0 is already given on line 2"},
        {"t.csv", "2,Bat", "2,Rat", "line 4, column 3: name 'Rat'" + renamed},
        {"t.csv", ",1007,65534", ",1007", "line 3, column 70: the line has 18 of 19 columns"},
        {"t.csv", ",1007,65534", ",1007,65534,1",
         "line 3, column 77: the line has more than 19 columns"},
        {"t.csv", "\"\"\"", "\"\"\" x",
         "line 3, column 19: expected a comma after the closing quote"},
        {"t.csv", ",65533\n", ",\"65533\n",
         "line 4, column 59: a quoted field has no closing quote"},
        {"t.csv", ",hp,", ",HP,",
         "line 1, column 24: expected the column hp in the header, not 'HP'"},
        {"t.csv", "", "\n \n",
         "line 3, column 1: the file is empty; its first line must be the header"},
        {"t.json", "\"gold\": 1007", "\"gold\": 1e3",
         "line 3, column 125: gold '1e3' is not a whole number (item 1, index 1)"},
        {"t.json", "\"gold\": 1007", "\"gold\": \"1007\"",
         "line 3, column 125: expected a number for gold (item 1, index 1)"},
        {"t.json", "\"index\": 1,", "\"index\": 0,",
         "line 3, column 13: index 0 is already given by item 0 (item 1)"},
        {"t.json", "\"index\": 1,", "\"index\": 214,",
         "line 3, column 13: index 214 is outside 0 to 213 (item 1)"},
        {"t.json", ", \"exp\": 65534}", "}",
         "line 3, column 129: the key 'exp' is missing (item 1, index 1)"},
        {"t.json", "\"gold\": 1007", "\"gold\": 1007, \"hp\": 5",
         "line 3, column 131: unknown key 'hp' (item 1, index 1)"},
        {"t.json", "\"gold\": 1007", "\"gold\": 1007, \"gold\": 5",
         "line 3, column 131: the key 'gold' is given twice (item 1, index 1)"},
        {"t.json", "[16, 17, ", "[16, 17, 300, ",
         "line 3, column 60: record[2] 300 is outside 0 to 255 (item 1, index 1)"},
        {"t.json", "[16, ", "[",
         "line 3, column 110: the record has 15 of 16 bytes (item 1, index 1)"},
        {"t.json", "[16, ", "[1, 16, ",
         "line 3, column 115: the record has more than 16 bytes (item 1, index 1)"},
        // A quoted name stays on the message's one line.
        {"t.json", "\"Bat\"", "\"B\\nat\"",
         "line 4, column 24: name 'B\\x0Aat'" + renamed + " (item 2, index 2)"},
        {"t.json", "65534}", "65534,}",
         "line 3, column 145: not valid JSON: object is missing after a comma"},
        {"t.json", "", "\xEF\xBB\xBF[{\"index\": 0, \"name\": \"Imp\"}]",
         "line 1, column 28: the key 'record' is missing (item 0, index 0)"},
        {"t.json", "", "{}",
         "line 1, column 1: expected '[': the file must hold a JSON list of enemies"},
    };
    // Each case edits the good text; an empty `from` replaces it whole.
    for (const auto& [name, from, to, message] : cases) {
        const std::string& good = name == "t.csv" ? csv : json;
        // Rows read before the fault are not handed out: the caller's are left as they were.
        std::vector<EnemyRow> rows(1);
        rows[0].index = 99;
        const formats::Result result =
            Parse(from.empty() ? to : Replaced(good, from, to), name, rows);
        EXPECT_EQ(result.fault, formats::Fault::BadData);
        EXPECT_EQ(result.message, name + ": " + message);
        EXPECT_TRUE(rows.size() == 1 && rows[0].index == 99) << message;
    }
}

} // namespace
