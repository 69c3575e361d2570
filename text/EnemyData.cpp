#include "text/EnemyData.h"

#include <cstdio>

#include "text/TextTable.h"

namespace text {

namespace {

std::string Format(const char* format, unsigned value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

} // namespace

EnemyInfo ReadEnemy(const CRomImage& rom, int index, std::string name) {
    EnemyInfo info;
    info.name = std::move(name);
    if (index < 0 || index >= EnemyCount) {
        return info;
    }
    const uint32_t i = static_cast<uint32_t>(index);
    for (uint32_t b = 0; b < EnemyRecordSize; ++b) {
        info.record[b] = rom.ReadByte(EnemyRecords + EnemyRecordSize * i + b);
    }
    info.gold = rom.ReadWord(EnemyGold + 2 * i);
    info.exp = rom.ReadWord(EnemyExp + 2 * i);
    return info;
}

std::vector<EnemyInfo> ReadEnemies(const CRomImage& rom) {
    std::vector<std::string> names = DecodeNames(rom, EnemyNames, EnemyCount);
    std::vector<EnemyInfo> enemies;
    enemies.reserve(EnemyCount);
    for (int i = 0; i < EnemyCount; ++i) {
        enemies.push_back(ReadEnemy(rom, i, std::move(names[static_cast<std::size_t>(i)])));
    }
    return enemies;
}

std::array<std::string, EnemyFieldCount> EnemyFieldTexts(const EnemyInfo& enemy) {
    const auto& r = enemy.record;
    const auto hex = [&r](int b) { return Format("%X", r[static_cast<std::size_t>(b)]); };
    return {
        Format("%d", static_cast<unsigned>(enemy.BackAttack())),
        Format("%d", static_cast<unsigned>(enemy.Hp())),
        hex(3),
        hex(4),
        hex(5),
        hex(6),
        hex(7),
        hex(8),
        Format("%d", static_cast<unsigned>(enemy.AttackPower())),
        hex(10),
        hex(11),
        hex(12),
        hex(13),
        hex(14),
        hex(15),
        Format("%d", enemy.gold),
        Format("%d", enemy.exp),
    };
}

} // namespace text
