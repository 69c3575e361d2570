#include "enemies/EnemiesDlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QString>

#include "enemies/NameList.h"
#include "text/EnemyData.h"

namespace {

constexpr int IDD_ENEMIES = 129;
constexpr int IDC_ENEMY_LIST = 1001;

} // namespace

CEnemiesDlg::CEnemiesDlg() : CDialog(IDD_ENEMIES) {}

CEnemiesDlg::~CEnemiesDlg() = default;

void CEnemiesDlg::DoDataExchange() {
    GoldEdit = Item<QLineEdit>(1023);
    ExpEdit = Item<QLineEdit>(1024);
    HpEdit = Item<QLineEdit>(1002);
    Byte10Edit = Item<QLineEdit>(1017);
    AttackEffectCombo = Item<QComboBox>(1016);
    Byte8Edit = Item<QLineEdit>(1013);
    Byte7Edit = Item<QLineEdit>(1012);
    Byte6Edit = Item<QLineEdit>(1011);
    Byte5Edit = Item<QLineEdit>(1010);
    Byte4Edit = Item<QLineEdit>(1009);
    Byte3Edit = Item<QLineEdit>(1008);
    Byte15Edit = Item<QLineEdit>(1022);
    Byte14Edit = Item<QLineEdit>(1021);
    Byte13Edit = Item<QLineEdit>(1020);
    Byte12Edit = Item<QLineEdit>(1019);
    Byte11Edit = Item<QLineEdit>(1018);
    BackAttackEdit = Item<QLineEdit>(1007);
    AttackPowerEdit = Item<QLineEdit>(1014);
    EnemyListBox = Item<QListWidget>(IDC_ENEMY_LIST);
}

bool CEnemiesDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    DoDataExchange();
    if (RomPtr == nullptr) {
        return true;
    }
    FillNameList(*RomPtr, text::EnemyNames, text::EnemyCount, EnemyListBox, nullptr);
    SetCurSel(IDC_ENEMY_LIST, 0);
    CurrentEnemy = 0;
    ShowEnemy();
    return true;
}

void CEnemiesDlg::OnSelChange(int id) {
    if (id == IDC_ENEMY_LIST) {
        OnSelchangeEnemyList();
    }
}

void CEnemiesDlg::OnSelchangeEnemyList() {
    const int selection = GetCurSel(IDC_ENEMY_LIST);
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
    for (const auto& field : text::EnemyFieldTexts(*RomPtr, CurrentEnemy)) {
        SetDlgItemText(field.controlId, QString::fromStdString(field.text));
    }
}
