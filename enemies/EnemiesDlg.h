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
    QLineEdit* GoldEdit = nullptr;
    QLineEdit* ExpEdit = nullptr;
    QLineEdit* HpEdit = nullptr;
    QLineEdit* Byte10Edit = nullptr;
    QComboBox* AttackEffectCombo = nullptr;
    QLineEdit* Byte8Edit = nullptr;
    QLineEdit* Byte7Edit = nullptr;
    QLineEdit* Byte6Edit = nullptr;
    QLineEdit* Byte5Edit = nullptr;
    QLineEdit* Byte4Edit = nullptr;
    QLineEdit* Byte3Edit = nullptr;
    QLineEdit* Byte15Edit = nullptr;
    QLineEdit* Byte14Edit = nullptr;
    QLineEdit* Byte13Edit = nullptr;
    QLineEdit* Byte12Edit = nullptr;
    QLineEdit* Byte11Edit = nullptr;
    QLineEdit* BackAttackEdit = nullptr;
    QLineEdit* AttackPowerEdit = nullptr;
    QListWidget* EnemyListBox = nullptr;

    int32_t CurrentEnemy = 0;
};
