#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "enemies/EnemiesDlg.h"
#include "enemies/NameList.h"
#include "tests/support/RomBuilder.h"

namespace {

constexpr int ListId = 1001;
const std::vector<int> FieldIds{1007, 1002, 1008, 1009, 1010, 1011, 1012, 1013, 1014,
                                1017, 1018, 1019, 1020, 1021, 1022, 1023, 1024};
using Fields = std::map<int, std::string>;

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
        {{0x90, 0xB2, 0xA5, 0xAF, 0x36}, "Goblin"},    // pair "in" at the end
        {{0x9D, 0x35, 0x01, 0x8A}, "TheA"},            // empty entry inside a name
        {{}, ""},                                      // empty name
        {{0xC9, 0xC3, 0xFF, 0xCA, 0xCB}, ".... \"\""}, // 0xC9 keeps two of its three stops
        {{0x51, 0x29, 0xFF, 0x7D}, " ITh 's"},
    };
    std::vector<uint8_t> bytes;
    for (const auto& [code, text] : special) {
        bytes.insert(bytes.end(), code.begin(), code.end());
        bytes.push_back(0);
        expected << text;
    }
    for (int i = static_cast<int>(special.size()); i < 214; ++i) {
        bytes.insert(bytes.end(), {0xA1, static_cast<uint8_t>(0xA4 + i / 26),
                                   static_cast<uint8_t>(0xA4 + i % 26), 0});
        expected << QString("X%1%2").arg(QChar('a' + i / 26)).arg(QChar('a' + i % 26));
    }
    return bytes;
}

// Enemy 0 has every format case once, gold 10000 and exp 513; enemy 213 is the last, and
// its neighbours' bytes must not leak in.
const Fields Enemy0{{1007, "255"},   {1002, "4660"}, {1008, "A"},  {1009, "0"},  {1010, "FF"},
                    {1011, "1"},     {1012, "F"},    {1013, "10"}, {1014, "16"}, {1017, "AB"},
                    {1018, "B"},     {1019, "C"},    {1020, "D"},  {1021, "E"},  {1022, "F0"},
                    {1023, "10000"}, {1024, "513"}};
const Fields Enemy213{{1007, "7"},     {1002, "1000"}, {1008, "C"}, {1009, "DD"},  {1010, "1"},
                      {1011, "0"},     {1012, "0"},    {1013, "0"}, {1014, "254"}, {1017, "F"},
                      {1018, "0"},     {1019, "0"},    {1020, "0"}, {1021, "0"},   {1022, "80"},
                      {1023, "65535"}, {1024, "256"}};

class EnemiesDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rom = testsupport::RomBuilder()
                  .EnemyNameBytes(Names(names))
                  .Poke(0x60010, {0xFF, 0x34, 0x12, 0x0A, 0x00, 0xFF, 0x01, 0x0F, 0x10, 0x10, 0xAB,
                                  0x0B, 0x0C, 0x0D, 0x0E, 0xF0})
                  .Poke(0x61C68, {0x10, 0x27})
                  .Poke(0x21D92, {0x01, 0x02})
                  .Poke(0x60D50, std::vector<uint8_t>(16, 0xEE))
                  .Poke(0x60D60, {0x07, 0xE8, 0x03, 0x0C, 0xDD, 0x01, 0x00, 0x00, 0x00, 0xFE, 0x0F,
                                  0x00, 0x00, 0x00, 0x00, 0x80})
                  .Poke(0x60D70, std::vector<uint8_t>(16, 0x99))
                  .Poke(0x61E10, {0x11, 0x11, 0xFF, 0xFF, 0x77, 0x77})
                  .Poke(0x21F3A, {0x22, 0x22, 0x00, 0x01, 0x66, 0x66})
                  .Build();
        ASSERT_TRUE(rom);
        dlg.RomPtr = rom.get();
        ASSERT_TRUE(dlg.Create());
        list = dlg.Item<QListWidget>(ListId);
        ASSERT_NE(list, nullptr);
    }

    Fields Shown() const {
        Fields out;
        for (int id : FieldIds) {
            out[id] = dlg.GetDlgItemText(id).toStdString();
        }
        return out;
    }
    // Selects row `row` the way a user does: a click on the item.
    void ClickRow(int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods,
                          list->visualItemRect(list->item(row)).center());
    }

    std::unique_ptr<CRomImage> rom;
    QStringList names;
    CEnemiesDlg dlg;
    QListWidget* list = nullptr;
};

TEST_F(EnemiesDlgTest, ListsAllNamesInRomOrderAndShowsTheSelectedEnemy) {
    EXPECT_EQ(Items(*list->model()), names);
    EXPECT_EQ(dlg.GetCurSel(ListId), 0);
    EXPECT_TRUE(list->item(0)->isSelected());
    EXPECT_EQ(dlg.Item<QComboBox>(1016)->count(), 0);
    EXPECT_EQ(Shown(), Enemy0);

    list->setFocus();
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(Shown(), Enemy213);
    ClickRow(0);
    EXPECT_EQ(Shown(), Enemy0);
    ClickRow(0, Qt::ControlModifier); // takes the selection away; the shown enemy stays
    EXPECT_EQ(Shown(), Enemy0);
}

TEST_F(EnemiesDlgTest, TypedTextIsReplacedOnSelectionAndNeverReachesTheRom) {
    const std::vector<uint8_t> before(rom->RomBytes, rom->RomBytes + RomFileSize);
    for (int id : FieldIds) {
        auto* edit = dlg.Item<QLineEdit>(id);
        edit->selectAll();
        QTest::keyClicks(edit, "77");
    }
    EXPECT_EQ(dlg.GetDlgItemText(1002), "77");
    ClickRow(1);
    ClickRow(0);
    EXPECT_EQ(Shown(), Enemy0);
    QTest::keyClicks(dlg.Item<QLineEdit>(1002), "123");
    QTest::mouseClick(dlg.GetDlgItem(IDOK), Qt::LeftButton);
    EXPECT_EQ(dlg.EndResult(), IDOK);
    EXPECT_EQ(std::vector<uint8_t>(rom->RomBytes, rom->RomBytes + RomFileSize), before);
}

TEST_F(EnemiesDlgTest, FillNameListInsertsAtEachIndexIntoTheControlsGivenWithoutEmptying) {
    constexpr uint32_t Start = 0x3D475;
    QListWidget listBox;
    QComboBox combo;
    FillNameList(*rom, Start, 0, &listBox, &combo);
    FillNameList(*rom, Start, -5, &listBox, &combo);
    FillNameList(*rom, Start, 2, nullptr, nullptr);
    EXPECT_EQ(listBox.count() + combo.count(), 0);

    listBox.addItem("kept");
    combo.addItem("kept");
    FillNameList(*rom, Start, 3, &listBox, &combo);
    FillNameList(*rom, Start, 1, &listBox, nullptr);
    FillNameList(*rom, Start, 1, nullptr, &combo);
    const QStringList expected{names[0], names[0], names[1], names[2], "kept"};
    EXPECT_EQ(Items(*listBox.model()), expected);
    EXPECT_EQ(Items(*combo.model()), expected);
}

} // namespace
