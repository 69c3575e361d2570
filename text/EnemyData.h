#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "rom/RomImage.h"

namespace text {

inline constexpr int EnemyCount = 214;
inline constexpr uint32_t EnemyNames = 0x3D475;
inline constexpr uint32_t EnemyRecords = 0x60010;
inline constexpr uint32_t EnemyRecordSize = 16;
inline constexpr uint32_t EnemyGold = 0x61C68;
inline constexpr uint32_t EnemyExp = 0x21D92;

// One enemy's values: its 16-byte record and the two parallel tables.
struct EnemyInfo {
    std::string name;
    std::array<uint8_t, EnemyRecordSize> record{};
    uint16_t gold = 0;
    uint16_t exp = 0;

    // The record bytes that have a meaning of their own; the rest are shown as they are.
    int BackAttack() const { return record[0]; }
    int Hp() const { return record[1] | record[2] << 8; } // low byte first
    int AttackPower() const { return record[9]; }
};

// Enemy `index` (0 to 213); another index reads nothing and gives zeros.
EnemyInfo ReadEnemy(const CRomImage& rom, int index, std::string name = {});
std::vector<EnemyInfo> ReadEnemies(const CRomImage& rom); // names decoded too

// Writes enemy `index`'s record, gold and exp where ReadEnemy reads them; another index
// writes nothing. The name is left alone: the names are packed back to back, so one of
// another length would move all the names after it.
void WriteEnemy(CRomImage& rom, int index, const EnemyInfo& enemy);

// The shown values of an enemy, in the order they are shown: back attack, hp, record bytes
// 3 to 8, attack power, record bytes 10 to 15, gold, exp.
enum class EnemyField {
    BackAttack,
    Hp,
    Byte3,
    Byte4,
    Byte5,
    Byte6,
    Byte7,
    Byte8,
    AttackPower,
    Byte10,
    Byte11,
    Byte12,
    Byte13,
    Byte14,
    Byte15,
    Gold,
    Exp,
};
inline constexpr int EnemyFieldCount = 17;

// A field as a column of the enemy table: back_attack, hp, byte3 ... byte8, attack_power,
// byte10 ... byte15, gold, exp.
const char* EnemyFieldName(EnemyField field);
// A field's value as a number: hp is record bytes 1 and 2 (low byte first), gold and exp
// their words, every other field one record byte.
int EnemyFieldValue(const EnemyInfo& enemy, EnemyField field);
// 65,535 for hp, gold and exp, 255 for the one-byte fields.
int EnemyFieldLargest(EnemyField field);
// Stores `value` (0 to EnemyFieldLargest) where EnemyFieldValue reads it.
void SetEnemyField(EnemyInfo& enemy, EnemyField field, int value);

// The texts of every EnemyField in that order: back attack, hp, attack power, gold and exp
// in decimal, the other record bytes in upper-case hexadecimal without prefix.
std::array<std::string, EnemyFieldCount> EnemyFieldTexts(const EnemyInfo& enemy);

} // namespace text
