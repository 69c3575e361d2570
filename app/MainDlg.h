#pragma once

// The main window, on template 102: "Quit", "Maps" and "Enemies". Its initialisation does
// all of the program's set-up: colour table, ROM file, text table.

#include <QIcon>
#include <QPoint>
#include <QSize>

#include <memory>

#include "app/Dialog.h"

class QMenu;
namespace app {
class RecoveryKeeper;
}

inline constexpr int IDC_ENEMIES = 1000;
inline constexpr int IDC_MAPS = 1026;
// System commands: ours (the About box) and the desktop's close.
inline constexpr unsigned IDM_ABOUTBOX = 0x10;
inline constexpr unsigned SC_CLOSE = 0xF060;

// Top-left corner of an icon centred in a client area, as a minimised window draws it:
// (client - icon + 1) / 2 on each axis, truncating toward zero.
QPoint MinimisedIconOrigin(QSize client, QSize icon);

class CMainDlg : public CDialog {
    Q_OBJECT
  public:
    CMainDlg();
    ~CMainDlg() override;

    // The window's own system menu (Alt+Space or a right click in the client area).
    QMenu* SystemMenu() const { return systemMenu; }
    // A command from the system menu: 0x10 opens the About box, SC_CLOSE closes.
    void OnSysCommand(unsigned id);

  protected:
    bool OnInitDialog() override;
    // "Quit", Enter, Esc and the close box: all end the program, after asking whether to
    // write changes the file does not hold yet.
    void OnOK() override;
    void OnCancel() override;
    void OnCommand(int id) override;
    void OnPaint(QPainter& dc) override;
    void OnRButtonDown(const QPoint& point) override;

    void OpenMapEditor();
    void OpenEnemyViewer();

  private:
    // False when the user chose to stay, or the file could not be written.
    bool MayQuit();

    // Ends the program after MayQuit agreed.
    void Quit(int result);

    QIcon appIcon;
    QMenu* systemMenu;
    // Keeps unsaved changes safe from a crash while the ROM is open.
    std::unique_ptr<app::RecoveryKeeper> recovery;
    // The user's answer to the last question at Quit was Discard.
    bool quitDiscards = false;
};
