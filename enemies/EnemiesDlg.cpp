#include "enemies/EnemiesDlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QString>

#include "enemies/NameList.h"
#include "text/EnemyData.h"

namespace {

constexpr int IDD_ENEMIES = 129;

// The template's controls.
enum ControlId {
    IdcEnemyList = 1001,
    IdcHp = 1002,
    IdcBackAttack = 1007,
    IdcByte3 = 1008,
    IdcByte4 = 1009,
    IdcByte5 = 1010,
    IdcByte6 = 1011,
    IdcByte7 = 1012,
    IdcByte8 = 1013,
    IdcAttackPower = 1014,
    IdcAttackEffect = 1016,
    IdcByte10 = 1017,
    IdcByte11 = 1018,
    IdcByte12 = 1019,
    IdcByte13 = 1020,
    IdcByte14 = 1021,
    IdcByte15 = 1022,
    IdcGold = 1023,
    IdcExp = 1024,
};

// The control that shows each value, in text::EnemyField order.
constexpr int FieldControls[text::EnemyFieldCount] = {
    IdcBackAttack, IdcHp,     IdcByte3,       IdcByte4,  IdcByte5,  IdcByte6,
    IdcByte7,      IdcByte8,  IdcAttackPower, IdcByte10, IdcByte11, IdcByte12,
    IdcByte13,     IdcByte14, IdcByte15,      IdcGold,   IdcExp,
};

} // namespace

CEnemiesDlg::CEnemiesDlg() : CDialog(IDD_ENEMIES) {}

CEnemiesDlg::~CEnemiesDlg() = default;

void CEnemiesDlg::DoDataExchange() {
    GoldEdit = Item<QLineEdit>(IdcGold);
    ExpEdit = Item<QLineEdit>(IdcExp);
    HpEdit = Item<QLineEdit>(IdcHp);
    Byte10Edit = Item<QLineEdit>(IdcByte10);
    AttackEffectCombo = Item<QComboBox>(IdcAttackEffect);
    Byte8Edit = Item<QLineEdit>(IdcByte8);
    Byte7Edit = Item<QLineEdit>(IdcByte7);
    Byte6Edit = Item<QLineEdit>(IdcByte6);
    Byte5Edit = Item<QLineEdit>(IdcByte5);
    Byte4Edit = Item<QLineEdit>(IdcByte4);
    Byte3Edit = Item<QLineEdit>(IdcByte3);
    Byte15Edit = Item<QLineEdit>(IdcByte15);
    Byte14Edit = Item<QLineEdit>(IdcByte14);
    Byte13Edit = Item<QLineEdit>(IdcByte13);
    Byte12Edit = Item<QLineEdit>(IdcByte12);
    Byte11Edit = Item<QLineEdit>(IdcByte11);
    BackAttackEdit = Item<QLineEdit>(IdcBackAttack);
    AttackPowerEdit = Item<QLineEdit>(IdcAttackPower);
    EnemyListBox = Item<QListWidget>(IdcEnemyList);
}

bool CEnemiesDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    DoDataExchange();
    if (RomPtr == nullptr) {
        return true;
    }
    FillNameList(*RomPtr, text::EnemyNames, text::EnemyCount, EnemyListBox, nullptr);
    SetCurSel(IdcEnemyList, 0);
    CurrentEnemy = 0;
    ShowEnemy();
    return true;
}

void CEnemiesDlg::OnSelChange(int id) {
    if (id == IdcEnemyList) {
        OnSelchangeEnemyList();
    }
}

void CEnemiesDlg::OnSelchangeEnemyList() {
    const int selection = GetCurSel(IdcEnemyList);
    // A list that lost its selection (Ctrl+click) would give -1; the records have no
    // enemy there, so the shown one stays.
    if (selection < 0 || selection >= text::EnemyCount) {
        return;
    }
    CurrentEnemy = selection;
    ShowEnemy();
}

void CEnemiesDlg::ShowEnemy() {
    if (RomPtr == nullptr) {
        return;
    }
    const auto texts = text::EnemyFieldTexts(text::ReadEnemy(*RomPtr, CurrentEnemy));
    for (int f = 0; f < text::EnemyFieldCount; ++f) {
        SetDlgItemText(FieldControls[f],
                       QString::fromStdString(texts[static_cast<std::size_t>(f)]));
    }
}
