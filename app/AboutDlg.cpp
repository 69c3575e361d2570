#include "app/AboutDlg.h"

CAboutDlg::CAboutDlg(QWidget* parent) : CDialog(100, parent) {}
