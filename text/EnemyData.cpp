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

// The record byte of a one-byte field: back attack is byte 0, and from byte 3 on the fields
// follow the record one byte each.
std::size_t RecordByte(EnemyField field) {
    const auto f = static_cast<std::size_t>(field);
    return f == 0 ? 0 : f + 1;
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

void WriteEnemy(CRomImage& rom, int index, const EnemyInfo& enemy) {
    if (index < 0 || index >= EnemyCount) {
        return;
    }
    const uint32_t i = static_cast<uint32_t>(index);
    for (uint32_t b = 0; b < EnemyRecordSize; ++b) {
        rom.WriteByte(EnemyRecords + EnemyRecordSize * i + b, enemy.record[b]);
    }
    rom.WriteWord(EnemyGold + 2 * i, enemy.gold);
    rom.WriteWord(EnemyExp + 2 * i, enemy.exp);
}

const char* EnemyFieldName(EnemyField field) {
    static const char* const names[EnemyFieldCount] = {
        "back_attack", "hp",     "byte3",        "byte4",  "byte5",  "byte6",
        "byte7",       "byte8",  "attack_power", "byte10", "byte11", "byte12",
        "byte13",      "byte14", "byte15",       "gold",   "exp",
    };
    return names[static_cast<std::size_t>(field)];
}

int EnemyFieldValue(const EnemyInfo& enemy, EnemyField field) {
    switch (field) {
    case EnemyField::Hp:
        return enemy.Hp();
    case EnemyField::Gold:
        return enemy.gold;
    case EnemyField::Exp:
        return enemy.exp;
    default:
        return enemy.record[RecordByte(field)];
    }
}

int EnemyFieldLargest(EnemyField field) {
    return field == EnemyField::Hp || field == EnemyField::Gold || field == EnemyField::Exp ? 0xFFFF
                                                                                            : 0xFF;
}

void SetEnemyField(EnemyInfo& enemy, EnemyField field, int value) {
    switch (field) {
    case EnemyField::Hp:
        enemy.record[1] = static_cast<uint8_t>(value & 0xFF);
        enemy.record[2] = static_cast<uint8_t>((value >> 8) & 0xFF);
        break;
    case EnemyField::Gold:
        enemy.gold = static_cast<uint16_t>(value);
        break;
    case EnemyField::Exp:
        enemy.exp = static_cast<uint16_t>(value);
        break;
    default:
        enemy.record[RecordByte(field)] = static_cast<uint8_t>(value);
    }
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
