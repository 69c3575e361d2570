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

std::array<EnemyField, EnemyFieldCount> EnemyFieldTexts(const CRomImage& rom, int index) {
    const EnemyInfo e = ReadEnemy(rom, index);
    const auto& r = e.record;
    const unsigned hp = static_cast<unsigned>(r[1] | (r[2] << 8));
    return {{
        {1007, Format("%d", r[0])},
        {1002, Format("%d", hp)},
        {1008, Format("%X", r[3])},
        {1009, Format("%X", r[4])},
        {1010, Format("%X", r[5])},
        {1011, Format("%X", r[6])},
        {1012, Format("%X", r[7])},
        {1013, Format("%X", r[8])},
        {1014, Format("%d", r[9])},
        {1017, Format("%X", r[10])},
        {1018, Format("%X", r[11])},
        {1019, Format("%X", r[12])},
        {1020, Format("%X", r[13])},
        {1021, Format("%X", r[14])},
        {1022, Format("%X", r[15])},
        {1023, Format("%d", e.gold)},
        {1024, Format("%d", e.exp)},
    }};
}

} // namespace text
