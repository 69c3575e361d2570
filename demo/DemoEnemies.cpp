// The demo's 214 enemies: names made of a creature and a qualifier, written in the game's
// text encoding, and records, gold and experience that grow with the index.
#include <string>
#include <vector>

#include "demo/DemoParts.h"
#include "text/EnemyData.h"
#include "text/TextTable.h"

namespace demo {

namespace {

constexpr const char* Creatures[] = {
    "Goblin", "Wolf",   "Slime",    "Bat",      "Rat",    "Spider",  "Scorpion", "Lizard",
    "Toad",   "Hornet", "Crab",     "Eel",      "Shark",  "Serpent", "Golem",    "Ogre",
    "Troll",  "Wraith", "Ghost",    "Skeleton", "Zombie", "Imp",     "Harpy",    "Griffin",
    "Wyvern", "Drake",  "Basilisk", "Mimic",    "Knight", "Mage",    "Bandit",   "Beetle",
    "Mantis", "Jelly",  "Kraken",   "Hydra",
};
constexpr const char* Qualifiers[] = {"", "Red ", "Ice ", "Giant ", "Dark ", "Elder "};
constexpr int CreatureCount = static_cast<int>(sizeof Creatures / sizeof Creatures[0]);

uint8_t Byte(int value) {
    return static_cast<uint8_t>(value & 0xFF);
}

} // namespace

void WriteDemoEnemies(CRomImage& rom) {
    uint32_t at = text::EnemyNames;
    for (int i = 0; i < text::EnemyCount; ++i) {
        const std::string name =
            std::string(Qualifiers[i / CreatureCount]) + Creatures[i % CreatureCount];
        // Creatures and qualifiers are made of letters and spaces, which all have codes.
        std::vector<uint8_t> coded;
        text::EncodeText(name, coded);
        for (uint8_t b : coded) {
            rom.WriteByte(at++, b);
        }
        rom.WriteByte(at++, 0);

        const int tier = i / CreatureCount + 1;
        const int hp = 8 + i * i / 3 + tier * 20;
        const uint32_t record =
            text::EnemyRecords + text::EnemyRecordSize * static_cast<uint32_t>(i);
        rom.WriteByte(record + 0, Byte(i % 7 == 0 ? 1 : 0));
        rom.WriteWord(record + 1, static_cast<uint32_t>(hp));
        for (uint32_t b = 3; b <= 8; ++b) {
            rom.WriteByte(record + b, Byte(i * static_cast<int>(b) * 17 + tier));
        }
        rom.WriteByte(record + 9, Byte(4 + i));
        rom.WriteByte(record + 10, Byte(i % 12 == 5 ? 0x21 : 0));
        for (uint32_t b = 11; b < text::EnemyRecordSize; ++b) {
            rom.WriteByte(record + b, Byte(i * 3 + static_cast<int>(b)));
        }
        rom.WriteWord(text::EnemyGold + 2 * static_cast<uint32_t>(i),
                      static_cast<uint32_t>(5 + i * i));
        rom.WriteWord(text::EnemyExp + 2 * static_cast<uint32_t>(i),
                      static_cast<uint32_t>(3 + i * 11 + tier * tier * 40));
    }
}

} // namespace demo
