// enemies.
#include <cstdio>
#include <memory>

#include "cli/Commands.h"
#include "formats/FileIo.h"
#include "formats/TextFormat.h"
#include "text/EnemyData.h"
#include "text/TextTable.h"

namespace cli {

using namespace formats;

namespace {

constexpr const char* EnemyCsvHeader =
    "index,name,back_attack,hp,byte3,byte4,byte5,byte6,byte7,byte8,attack_power,byte10,"
    "byte11,byte12,byte13,byte14,byte15,gold,exp";

void PrintEnemyCsv(const std::vector<text::EnemyInfo>& enemies) {
    std::printf("%s\n", EnemyCsvHeader);
    for (std::size_t i = 0; i < enemies.size(); ++i) {
        const text::EnemyInfo& e = enemies[i];
        const auto& r = e.record;
        std::printf("%zu,%s,%d,%d", i, CsvField(e.name).c_str(), e.BackAttack(), e.Hp());
        for (std::size_t b = 3; b < r.size(); ++b) {
            std::printf(",%d", r[b]);
        }
        std::printf(",%d,%d\n", e.gold, e.exp);
    }
}

void PrintEnemyJson(const std::vector<text::EnemyInfo>& enemies) {
    std::printf("[\n");
    for (std::size_t i = 0; i < enemies.size(); ++i) {
        const text::EnemyInfo& e = enemies[i];
        std::printf("  {\"index\": %zu, \"name\": %s, \"record\": [", i,
                    JsonString(e.name).c_str());
        for (std::size_t b = 0; b < e.record.size(); ++b) {
            std::printf("%s%d", b ? ", " : "", e.record[b]);
        }
        std::printf("], \"gold\": %d, \"exp\": %d}%s\n", e.gold, e.exp,
                    i + 1 < enemies.size() ? "," : "");
    }
    std::printf("]\n");
}

} // namespace

Result RunEnemies(const Args& args) {
    auto rom = std::make_unique<CRomImage>();
    if (Result loaded = LoadRom(args.positional[0], *rom); !loaded.Ok()) {
        return loaded;
    }
    text::BuildTextTable(*rom);
    const std::vector<text::EnemyInfo> enemies = text::ReadEnemies(*rom);
    if (args.json) {
        PrintEnemyJson(enemies);
    } else {
        PrintEnemyCsv(enemies);
    }
    return Done();
}

} // namespace cli
