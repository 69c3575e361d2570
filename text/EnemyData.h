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

struct EnemyInfo {
    std::string name;
    std::array<uint8_t, EnemyRecordSize> record{};
    uint16_t gold = 0;
    uint16_t exp = 0;
};

// Enemy `index` (0 to 213); another index reads nothing and gives zeros.
EnemyInfo ReadEnemy(const CRomImage& rom, int index, std::string name = {});
std::vector<EnemyInfo> ReadEnemies(const CRomImage& rom); // names decoded too

// One shown field of the viewer: its control id and its text.
struct EnemyField {
    int controlId;
    std::string text;
};
inline constexpr int EnemyFieldCount = 17;

// The 17 field texts of enemy `index`, in the order the viewer rewrites them.
std::array<EnemyField, EnemyFieldCount> EnemyFieldTexts(const CRomImage& rom, int index);

} // namespace text
