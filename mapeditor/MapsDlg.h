#pragma once

#include "app/Dialog.h"
#include "rom/RomImage.h"

// The map editor, on template 130. (Placeholder until the editor lands.)
class CMapsDlg : public CDialog {
    Q_OBJECT
  public:
    CMapsDlg() : CDialog(130) {}
    CRomImage* RomPtr = nullptr;
};
