#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <vector>

#include "enemies/EnemiesDlg.h"
#include "enemies/NameList.h"
#include "tests/support/RomBuilder.h"
#include "text/EnemyData.h"

namespace {

// The fields in the order they are filled.
const int FieldIds[] = {1007, 1002, 1008, 1009, 1010, 1011, 1012, 1013, 1014,
                        1017, 1018, 1019, 1020, 1021, 1022, 1023, 1024};
// Enemy 0 has every format case once, gold 10000 and exp 513; enemy 213 is the last, with
// its neighbours' gold and exp set so that they must not leak in.
const QStringList Enemy0{"255", "4660", "A", "0", "FF", "1",  "F",     "10", "16",
                         "AB",  "B",    "C", "D", "E",  "F0", "10000", "513"};
const QStringList Enemy213{"7", "1000", "C", "DD", "1", "0",  "0",     "0",  "254",
                           "F", "0",    "0", "0",  "0", "80", "65535", "256"};

QStringList Items(const QAbstractItemModel& model) {
    QStringList out;
    for (int i = 0; i < model.rowCount(); ++i) {
        out << model.index(i, 0).data().toString();
    }
    return out;
}

// Name bytes for all 214 enemies: five with the text table's awkward entries, then "X"
// followed by two small letters that spell the index in base 26.
std::vector<uint8_t> Names(QStringList& expected) {
    const std::vector<std::pair<std::vector<uint8_t>, QString>> special{
        {{0x90, 0xB2, 0xA5, 0xAF, 0x36, 0}, "Goblin"},    // pair "in" at the end
        {{0x9D, 0x35, 0x01, 0x8A, 0}, "TheA"},            // empty entry inside a name
        {{0}, ""},                                        // empty name
        {{0xC9, 0xC3, 0xFF, 0xCA, 0xCB, 0}, ".... \"\""}, // 0xC9 keeps two of its three stops
        {{0x51, 0x29, 0xFF, 0x7D, 0}, " ITh 's"},
    };
    std::vector<uint8_t> bytes;
    for (const auto& [code, text] : special) {
        bytes.insert(bytes.end(), code.begin(), code.end());
        expected << text;
    }
    for (int i = static_cast<int>(special.size()); i < 214; ++i) {
        bytes.insert(bytes.end(), {0xA1, static_cast<uint8_t>(0xA4 + i / 26),
                                   static_cast<uint8_t>(0xA4 + i % 26), 0});
        expected << QString("X%1%2").arg(QChar('a' + i / 26)).arg(QChar('a' + i % 26));
    }
    return bytes;
}

class EnemiesDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rom = testsupport::RomBuilder()
                  .EnemyNameBytes(Names(names))
                  .Poke(0x60010, {0xFF, 0x34, 0x12, 0x0A, 0x00, 0xFF, 0x01, 0x0F, 0x10, 0x10, 0xAB,
                                  0x0B, 0x0C, 0x0D, 0x0E, 0xF0})
                  .Poke(0x61C68, {0x10, 0x27})
                  .Poke(0x21D92, {0x01, 0x02})
                  .Poke(0x60D60, {0x07, 0xE8, 0x03, 0x0C, 0xDD, 0x01, 0x00, 0x00, 0x00, 0xFE, 0x0F,
                                  0x00, 0x00, 0x00, 0x00, 0x80})
                  .Poke(0x61E10, {0x11, 0x11, 0xFF, 0xFF, 0x77, 0x77})
                  .Poke(0x21F3A, {0x22, 0x22, 0x00, 0x01, 0x66, 0x66})
                  .Build();
        ASSERT_TRUE(rom);
        dlg.RomPtr = rom.get();
        ASSERT_TRUE(dlg.Create());
        list = dlg.Item<QListWidget>(1001);
        ASSERT_NE(list, nullptr);
    }

    QStringList Shown() const {
        QStringList out;
        for (int id : FieldIds) {
            out << dlg.GetDlgItemText(id);
        }
        return out;
    }
    void ClickRow(int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods,
                          list->visualItemRect(list->item(row)).center());
    }

    std::unique_ptr<CRomImage> rom;
    QStringList names;
    CEnemiesDlg dlg;
    QListWidget* list = nullptr;
};

TEST_F(EnemiesDlgTest, ListsAllNamesShowsTheSelectedEnemyOverTypedTextAndLeavesTheRomAlone) {
    const std::vector<uint8_t> before(rom->RomBytes, rom->RomBytes + RomFileSize);
    EXPECT_EQ(Items(*list->model()), names);
    EXPECT_TRUE(list->item(0)->isSelected());
    EXPECT_EQ(dlg.Item<QComboBox>(1016)->count(), 0);
    EXPECT_EQ(Shown(), Enemy0);

    list->setFocus();
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(Shown(), Enemy213);
    for (int id : FieldIds) {
        auto* edit = dlg.Item<QLineEdit>(id);
        edit->selectAll();
        QTest::keyClicks(edit, "77");
    }
    EXPECT_EQ(dlg.GetDlgItemText(1002), "77");
    ClickRow(0);
    EXPECT_EQ(Shown(), Enemy0);
    ClickRow(0, Qt::ControlModifier); // takes the selection away; the shown enemy stays
    EXPECT_EQ(Shown(), Enemy0);

    QTest::keyClicks(dlg.Item<QLineEdit>(1002), "123");
    QTest::mouseClick(dlg.GetDlgItem(IDOK), Qt::LeftButton);
    EXPECT_EQ(dlg.EndResult(), IDOK);
    EXPECT_EQ(std::vector<uint8_t>(rom->RomBytes, rom->RomBytes + RomFileSize), before);
}

// Names go in at their index, before what the controls already hold; a count below 1 adds
// nothing, and a missing control is skipped.
TEST_F(EnemiesDlgTest, FillNameListInsertsAtEachIndexWithoutEmptyingTheControls) {
    QListWidget listBox;
    QComboBox combo;
    combo.addItem("kept");
    for (int count : {0, -5, 2}) {
        FillNameList(*rom, text::EnemyNames, count, &listBox, &combo);
    }
    FillNameList(*rom, text::EnemyNames, 1, nullptr, &combo);
    FillNameList(*rom, text::EnemyNames, 1, &listBox, nullptr);
    EXPECT_EQ(Items(*listBox.model()), (QStringList{names[0], names[0], names[1]}));
    EXPECT_EQ(Items(*combo.model()), (QStringList{names[0], names[0], names[1], "kept"}));
}

} // namespace
