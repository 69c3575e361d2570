#pragma once

#include <optional>

#include <QString>

class CMainDlg;

// The application object. It holds no data: start-up runs the main window modally and the
// program ends when that window closes. The toolkit's own application object lives in
// main(), since it needs the command line.
class CEditorApp {
  public:
    // Runs the main window to its end. Always false: the program ends afterwards instead
    // of entering a message loop of its own.
    bool InitInstance();
    // The main window while it runs, else nullptr.
    CMainDlg* MainWindow() const { return mainWnd; }

    // The ROM named on the command line, made absolute: start-up opens it instead of asking.
    std::optional<QString> RomArgument;

  private:
    CMainDlg* mainWnd = nullptr;
};

extern CEditorApp theApp;
