#include "app/EditorApp.h"

#include "app/MainDlg.h"

CEditorApp theApp;

bool CEditorApp::InitInstance() {
    CMainDlg dlg;
    mainWnd = &dlg;
    dlg.DoModal();
    mainWnd = nullptr;
    return false;
}
