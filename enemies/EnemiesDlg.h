#pragma once

#include "app/Dialog.h"
#include "rom/RomImage.h"

// The enemy viewer, on template 129. (Placeholder until the viewer lands.)
class CEnemiesDlg : public CDialog {
    Q_OBJECT
  public:
    CEnemiesDlg() : CDialog(129) {}
    CRomImage* RomPtr = nullptr;
};
