#include <QComboBox>
#include <QListWidget>
#include <QStringList>
#include <gtest/gtest.h>

#include "enemies/NameList.h"
#include "tests/support/RomBuilder.h"

namespace {

constexpr uint32_t Start = 0x3D475;

QStringList Items(const QListWidget& list) {
    QStringList out;
    for (int i = 0; i < list.count(); ++i) {
        out << list.item(i)->text();
    }
    return out;
}

QStringList Items(const QComboBox& combo) {
    QStringList out;
    for (int i = 0; i < combo.count(); ++i) {
        out << combo.itemText(i);
    }
    return out;
}

std::unique_ptr<CRomImage> RomWithNames() {
    // "Goblin" ends in the pair "in"; 0x01 inside "TheA" adds nothing; then an empty name.
    return testsupport::RomBuilder()
        .EnemyNameBytes(
            {0x90, 0xB2, 0xA5, 0xAF, 0x36, 0x00, 0x9D, 0x35, 0x01, 0x8A, 0x00, 0x00, 0x8B, 0x00})
        .Build();
}

} // namespace

TEST(FillNameList, PutsEachNameAtItsIndexInBothControlsWithoutEmptyingThem) {
    auto rom = RomWithNames();
    ASSERT_TRUE(rom);
    QListWidget list;
    QComboBox combo;
    list.addItem("kept");
    combo.addItem("kept");

    FillNameList(*rom, Start, 4, &list, &combo);

    const QStringList expected{"Goblin", "TheA", "", "B", "kept"};
    EXPECT_EQ(Items(list), expected);
    EXPECT_EQ(Items(combo), expected);
}

TEST(FillNameList, FillsOnlyTheControlsGivenAndNothingForCountBelowOne) {
    auto rom = RomWithNames();
    ASSERT_TRUE(rom);
    QListWidget list;
    QComboBox combo;

    FillNameList(*rom, Start, 0, &list, &combo);
    FillNameList(*rom, Start, -5, &list, &combo);
    FillNameList(*rom, Start, 2, nullptr, nullptr);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(combo.count(), 0);

    FillNameList(*rom, Start, 2, &list, nullptr);
    FillNameList(*rom, Start, 2, nullptr, &combo);
    EXPECT_EQ(Items(list), (QStringList{"Goblin", "TheA"}));
    EXPECT_EQ(Items(combo), (QStringList{"Goblin", "TheA"}));
}
