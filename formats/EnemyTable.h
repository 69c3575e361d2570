#pragma once

#include <string>
#include <vector>

#include "formats/Result.h"
#include "text/EnemyData.h"

namespace formats {

// The enemy table as `atlasforge-cli enemies` prints it.
//
// CSV: the header "index,name,back_attack,hp,byte3,...,byte8,attack_power,byte10,...,byte15,
// gold,exp", then one line per enemy, every value in decimal; a name holding a comma, a quote
// or a line break is quoted. JSON: a list of
// {"index": i, "name": "...", "record": [16 bytes], "gold": g, "exp": e}.
std::string WriteEnemyCsv(const std::vector<text::EnemyInfo>& enemies);
std::string WriteEnemyJson(const std::vector<text::EnemyInfo>& enemies);

// One enemy's values as a table gives them: the whole record, gold and exp.
struct EnemyRow {
    int index = 0;
    text::EnemyInfo values;
};

// Read the same forms back, for any enemies in any order, each index at most once. Each
// name must be the one `romNames` (the ROM's names by index) has: the table cannot rename.
// Looser forms read too: a UTF-8 byte order mark, CRLF line ends, blank lines, blanks around
// numbers and quoted CSV fields, and any JSON white space and key order. The whole text is
// checked; the first fault fails with Fault::BadData naming `name` and the line and column
// (with the item of the list, counted from 0, and its index for JSON), and leaves `rows` as
// they were.
Result ParseEnemyCsv(const std::string& text, const std::string& name,
                     const std::vector<std::string>& romNames, std::vector<EnemyRow>& rows);
Result ParseEnemyJson(const std::string& text, const std::string& name,
                      const std::vector<std::string>& romNames, std::vector<EnemyRow>& rows);

} // namespace formats
