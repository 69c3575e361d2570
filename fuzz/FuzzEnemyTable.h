#pragma once

// Arbitrary bytes as an enemy table (CSV or JSON, one target each), and enemy tables of
// arbitrary names and values written and read back. Besides memory errors it checks what
// the readers promise: accepted rows have distinct indexes 0 to 213; a refused table names
// the line and column and leaves the caller's rows as they were; and every table the writer
// writes reads back to the same values, whatever the names hold (decoded from the ROM's
// bytes, so commas, quotes, apostrophes and blanks come up).
//
// Input: one steering byte, then the body. Bit 0 clear: the body is the table, read against
// the demo ROM's names. Bit 0 set: the first half of the body (at most 1 KiB) goes over the
// ROM's names, the rest, repeated, over every enemy's record, gold and exp.

#include <algorithm>
#include <memory>
#include <set>

#include "demo/DemoRom.h"
#include "formats/EnemyTable.h"
#include "fuzz/FuzzModes.h"
#include "text/EnemyData.h"
#include "text/TextTable.h"

namespace fuzzenemies {

using Parse = formats::Result (*)(const std::string&, const std::string&,
                                  const std::vector<std::string>&, std::vector<formats::EnemyRow>&);
using Write = std::string (*)(const std::vector<text::EnemyInfo>&);

inline const CRomImage& DemoRom() {
    static const std::unique_ptr<CRomImage> rom = [] {
        auto built = std::make_unique<CRomImage>();
        demo::BuildDemoRom(*built);
        text::BuildTextTable(*built);
        return built;
    }();
    return *rom;
}

inline std::vector<std::string> NamesOf(const std::vector<text::EnemyInfo>& enemies) {
    std::vector<std::string> names;
    for (const auto& enemy : enemies) {
        names.push_back(enemy.name);
    }
    return names;
}

inline void Read(Parse parse, const std::string& name, const std::string& text) {
    static const std::vector<std::string> names = NamesOf(text::ReadEnemies(DemoRom()));
    std::vector<formats::EnemyRow> rows(1);
    rows[0].index = -1;
    const formats::Result read = parse(text, name, names, rows);
    if (!read.Ok()) {
        FUZZ_CHECK_REFUSAL(read, name, "line ");
        FUZZ_CHECK(rows.size() == 1 && rows[0].index == -1);
        return;
    }
    std::set<int> seen;
    for (const auto& row : rows) {
        FUZZ_CHECK(row.index >= 0 && row.index < text::EnemyCount);
        FUZZ_CHECK(seen.insert(row.index).second);
    }
}

inline void RoundTrip(Parse parse, Write write, const std::string& name, const std::string& body) {
    auto rom = std::make_unique<CRomImage>(DemoRom());
    const std::size_t names = std::min<std::size_t>(body.size() / 2, 1024);
    std::copy_n(body.begin(), names, rom->RomBytes + text::EnemyNames);
    const std::string values = body.substr(names);
    std::size_t at = 0;
    const auto next = [&]() -> uint8_t {
        return values.empty() ? 0 : static_cast<uint8_t>(values[at++ % values.size()]);
    };
    for (int i = 0; i < text::EnemyCount; ++i) {
        text::EnemyInfo enemy;
        for (auto& b : enemy.record) {
            b = next();
        }
        for (uint16_t* word : {&enemy.gold, &enemy.exp}) {
            const uint8_t low = next();
            *word = static_cast<uint16_t>(low | next() << 8);
        }
        text::WriteEnemy(*rom, i, enemy);
    }
    const std::vector<text::EnemyInfo> enemies = text::ReadEnemies(*rom);
    FUZZ_CHECK(enemies.size() == static_cast<std::size_t>(text::EnemyCount));
    std::vector<formats::EnemyRow> rows;
    const formats::Result read = parse(write(enemies), name, NamesOf(enemies), rows);
    if (!read.Ok()) {
        std::fprintf(stderr, "%s\n", read.message.c_str());
    }
    FUZZ_CHECK(read.Ok());
    FUZZ_CHECK(rows.size() == enemies.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        FUZZ_CHECK(rows[i].index == static_cast<int>(i));
        FUZZ_CHECK(rows[i].values.record == enemies[i].record);
        FUZZ_CHECK(rows[i].values.gold == enemies[i].gold && rows[i].values.exp == enemies[i].exp);
    }
}

inline int Run(Parse parse, Write write, const std::string& name, const uint8_t* data,
               std::size_t size) {
    return ReadOrRoundTrip(
        data, size, [&](const std::string& text) { Read(parse, name, text); },
        [&](uint8_t, const std::string& body) { RoundTrip(parse, write, name, body); });
}

} // namespace fuzzenemies
