#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <vector>

#include "enemies/EnemiesDlg.h"
#include "tests/support/RomBuilder.h"

// Readable failure messages: gtest finds this next to QString.
void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

constexpr int ListId = 1001;
constexpr int ComboId = 1016;
constexpr int EnemyTotal = 214;
const std::vector<int> FieldIds{1007, 1002, 1008, 1009, 1010, 1011, 1012, 1013, 1014,
                                1017, 1018, 1019, 1020, 1021, 1022, 1023, 1024};

using Fields = std::map<int, QString>;

// Name bytes for all 214 enemies: five with the text table's awkward entries, then "X"
// followed by two small letters that spell the index in base 26.
void Names(std::vector<uint8_t>& bytes, QStringList& expected) {
    const std::vector<std::pair<std::vector<uint8_t>, QString>> special{
        {{0x90, 0xB2, 0xA5, 0xAF, 0x36}, "Goblin"},    // pair "in" at the end
        {{0x9D, 0x35, 0x01, 0x8A}, "TheA"},            // empty entry inside a name
        {{}, ""},                                      // empty name
        {{0xC9, 0xC3, 0xFF, 0xCA, 0xCB}, ".... \"\""}, // 0xC9 keeps two of its three stops
        {{0x51, 0x29, 0xFF, 0x7D}, " ITh 's"},
    };
    for (const auto& [code, text] : special) {
        bytes.insert(bytes.end(), code.begin(), code.end());
        bytes.push_back(0);
        expected << text;
    }
    for (int i = static_cast<int>(special.size()); i < EnemyTotal; ++i) {
        bytes.insert(bytes.end(), {0xA1, static_cast<uint8_t>(0xA4 + i / 26),
                                   static_cast<uint8_t>(0xA4 + i % 26), 0});
        expected << QString("X%1%2").arg(QChar('a' + i / 26)).arg(QChar('a' + i % 26));
    }
}

// Runs the viewer modally; `act` runs inside the modal loop and should close it. Whatever
// `act` leaves open is cancelled, so a failed check never hangs the test.
int RunModal(CEnemiesDlg& dlg, const std::function<void()>& act) {
    QTimer::singleShot(0, &dlg, [&] {
        act();
        if (dlg.isVisible()) {
            static_cast<QDialog&>(dlg).done(IDCANCEL);
        }
    });
    return dlg.DoModal();
}

Fields Shown(const CEnemiesDlg& dlg) {
    Fields out;
    for (int id : FieldIds) {
        out[id] = dlg.GetDlgItemText(id);
    }
    return out;
}

// Selects row `row` the way a user does: a click on the item.
void ClickRow(QListWidget* list, int row) {
    QListWidgetItem* item = list->item(row);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

void Click(CEnemiesDlg& dlg, int id) {
    QTest::mouseClick(dlg.Item<QPushButton>(id), Qt::LeftButton);
}

class EnemiesDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<uint8_t> nameBytes;
        Names(nameBytes, names);
        rom = testsupport::RomBuilder()
                  .EnemyNameBytes(nameBytes)
                  // Enemy 0: every format case once; gold 10000, exp 513.
                  .Poke(0x60010, {0xFF, 0x34, 0x12, 0x0A, 0x00, 0xFF, 0x01, 0x0F, 0x10, 0x10, 0xAB,
                                  0x0B, 0x0C, 0x0D, 0x0E, 0xF0})
                  .Poke(0x61C68, {0x10, 0x27})
                  .Poke(0x21D92, {0x01, 0x02})
                  // Enemy 1.
                  .Poke(0x60020, {0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                  0x08, 0x09, 0x1A, 0x2B, 0x3C})
                  .Poke(0x61C6A, {0xFF, 0xFF})
                  .Poke(0x21D94, {0x39, 0x30})
                  // Enemy 213, the last; its neighbours' bytes must not leak in.
                  .Poke(0x60D50, std::vector<uint8_t>(16, 0xEE))
                  .Poke(0x60D60, {0x07, 0xE8, 0x03, 0x0C, 0xDD, 0x01, 0x00, 0x00, 0x00, 0xFE, 0x0F,
                                  0x00, 0x00, 0x00, 0x00, 0x80})
                  .Poke(0x60D70, std::vector<uint8_t>(16, 0x99))
                  .Poke(0x61E10, {0x11, 0x11, 0x2A, 0x00, 0x77, 0x77})
                  .Poke(0x21F3A, {0x22, 0x22, 0x00, 0x01, 0x66, 0x66})
                  .Build();
        ASSERT_TRUE(rom);
        dlg.RomPtr = rom.get();
    }

    std::unique_ptr<CRomImage> rom;
    QStringList names;
    CEnemiesDlg dlg;
};

const Fields Enemy0{{1007, "255"},   {1002, "4660"}, {1008, "A"},  {1009, "0"},  {1010, "FF"},
                    {1011, "1"},     {1012, "F"},    {1013, "10"}, {1014, "16"}, {1017, "AB"},
                    {1018, "B"},     {1019, "C"},    {1020, "D"},  {1021, "E"},  {1022, "F0"},
                    {1023, "10000"}, {1024, "513"}};
const Fields Enemy1{{1007, "0"},     {1002, "0"},    {1008, "0"},  {1009, "1"},  {1010, "2"},
                    {1011, "3"},     {1012, "4"},    {1013, "5"},  {1014, "6"},  {1017, "7"},
                    {1018, "8"},     {1019, "9"},    {1020, "1A"}, {1021, "2B"}, {1022, "3C"},
                    {1023, "65535"}, {1024, "12345"}};
const Fields Enemy213{{1007, "7"},  {1002, "1000"}, {1008, "C"}, {1009, "DD"},  {1010, "1"},
                      {1011, "0"},  {1012, "0"},    {1013, "0"}, {1014, "254"}, {1017, "F"},
                      {1018, "0"},  {1019, "0"},    {1020, "0"}, {1021, "0"},   {1022, "80"},
                      {1023, "42"}, {1024, "256"}};

} // namespace

TEST_F(EnemiesDlgTest, OpensWithAllNamesInRomOrderAndTheFirstEnemyShown) {
    QStringList listed;
    int current = -1;
    bool selected = false;
    int comboCount = -1;
    Fields shown;
    RunModal(dlg, [&] {
        auto* list = dlg.Item<QListWidget>(ListId);
        ASSERT_NE(list, nullptr);
        for (int i = 0; i < list->count(); ++i) {
            listed << list->item(i)->text();
        }
        current = dlg.GetCurSel(ListId);
        selected = list->item(0)->isSelected();
        comboCount = dlg.Item<QComboBox>(ComboId)->count();
        shown = Shown(dlg);
    });
    EXPECT_EQ(listed, names);
    EXPECT_EQ(current, 0);
    EXPECT_TRUE(selected);
    EXPECT_EQ(comboCount, 0);
    EXPECT_EQ(shown, Enemy0);
}

TEST_F(EnemiesDlgTest, SelectingAnEnemyShowsItsRecordGoldAndExp) {
    Fields first, last, back, deselected;
    int comboCount = -1;
    RunModal(dlg, [&] {
        auto* list = dlg.Item<QListWidget>(ListId);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        first = Shown(dlg);
        QTest::keyClick(list, Qt::Key_End);
        last = Shown(dlg);
        ClickRow(list, 0);
        back = Shown(dlg);
        // Ctrl+click takes the selection away; the shown enemy stays.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          list->visualItemRect(list->item(0)).center());
        deselected = Shown(dlg);
        comboCount = dlg.Item<QComboBox>(ComboId)->count();
    });
    EXPECT_EQ(first, Enemy1);
    EXPECT_EQ(last, Enemy213);
    EXPECT_EQ(back, Enemy0);
    EXPECT_EQ(deselected, Enemy0);
    EXPECT_EQ(comboCount, 0);
}

TEST_F(EnemiesDlgTest, TypedTextIsReplacedOnSelectionAndNeverReachesTheRom) {
    std::vector<uint8_t> before(rom->RomBytes, rom->RomBytes + RomFileSize);
    Fields afterTyping, reselected;
    const int result = RunModal(dlg, [&] {
        for (int id : FieldIds) {
            auto* edit = dlg.Item<QLineEdit>(id);
            edit->selectAll();
            QTest::keyClicks(edit, "77");
        }
        afterTyping = Shown(dlg);
        auto* list = dlg.Item<QListWidget>(ListId);
        ClickRow(list, 1);
        ClickRow(list, 0);
        reselected = Shown(dlg);
        QTest::keyClicks(dlg.Item<QLineEdit>(1002), "123");
        Click(dlg, IDOK);
    });
    EXPECT_EQ(afterTyping.at(1002), "77");
    EXPECT_EQ(reselected, Enemy0);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(0, std::memcmp(before.data(), rom->RomBytes, RomFileSize));
}

TEST_F(EnemiesDlgTest, CancelClosesLikeOkWithoutTouchingTheRom) {
    std::vector<uint8_t> before(rom->RomBytes, rom->RomBytes + RomFileSize);
    const int result = RunModal(dlg, [&] {
        QTest::keyClicks(dlg.Item<QLineEdit>(1023), "9");
        Click(dlg, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(0, std::memcmp(before.data(), rom->RomBytes, RomFileSize));
}
