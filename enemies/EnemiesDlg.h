#pragma once

#include <cstdint>

#include "app/Dialog.h"
#include "rom/RomImage.h"

class QComboBox;
class QLineEdit;
class QListWidget;

// The read-only enemy viewer on template 129: the 214 enemies by name, and the record, gold
// and experience of the selected one. Nothing typed into its fields is ever read back.
class CEnemiesDlg : public CDialog {
    Q_OBJECT
  public:
    CEnemiesDlg();
    ~CEnemiesDlg() override;

    CRomImage* RomPtr = nullptr;

  protected:
    bool OnInitDialog() override;
    void OnSelChange(int id) override;

  private:
    void DoDataExchange();
    void OnSelchangeEnemyList();
    void ShowEnemy();

    // Bound to their controls by DoDataExchange, in this order.
    QLineEdit* GoldEdit = nullptr;          // 1023
    QLineEdit* ExpEdit = nullptr;           // 1024
    QLineEdit* HpEdit = nullptr;            // 1002
    QLineEdit* Byte10Edit = nullptr;        // 1017
    QComboBox* AttackEffectCombo = nullptr; // 1016
    QLineEdit* Byte8Edit = nullptr;         // 1013
    QLineEdit* Byte7Edit = nullptr;         // 1012
    QLineEdit* Byte6Edit = nullptr;         // 1011
    QLineEdit* Byte5Edit = nullptr;         // 1010
    QLineEdit* Byte4Edit = nullptr;         // 1009
    QLineEdit* Byte3Edit = nullptr;         // 1008
    QLineEdit* Byte15Edit = nullptr;        // 1022
    QLineEdit* Byte14Edit = nullptr;        // 1021
    QLineEdit* Byte13Edit = nullptr;        // 1020
    QLineEdit* Byte12Edit = nullptr;        // 1019
    QLineEdit* Byte11Edit = nullptr;        // 1018
    QLineEdit* BackAttackEdit = nullptr;    // 1007
    QLineEdit* AttackPowerEdit = nullptr;   // 1014
    QListWidget* EnemyListBox = nullptr;    // 1001

    int32_t CurrentEnemy = 0;
};
