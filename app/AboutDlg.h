#pragma once

#include "app/Dialog.h"

// The About box, on template 100: the icon, the version line and "OK".
class CAboutDlg : public CDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
