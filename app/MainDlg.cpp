#include "app/MainDlg.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QShortcut>

#include "app/AboutDlg.h"
#include "app/EditorApp.h"
#include "app/Platform.h"
#include "app/RecoveryKeeper.h"
#include "enemies/EnemiesDlg.h"
#include "formats/Palette.h"
#include "gfx/ColourTable.h"
#include "mapeditor/MapsDlg.h"
#include "mapeditor/SaveRom.h"
#include "mapeditor/TryMap.h"
#include "resources/AppIcon.h"
#include "resources/Templates.h"
#include "rom/RomImage.h"
#include "text/TextTable.h"

namespace {
constexpr int SystemIconSize = 32;
} // namespace

QPoint MinimisedIconOrigin(QSize client, QSize icon) {
    return QPoint((client.width() - icon.width() + 1) / 2,
                  (client.height() - icon.height() + 1) / 2);
}

CMainDlg::CMainDlg() : CDialog(102), appIcon(res::AppIcon()), systemMenu(new QMenu(this)) {
    QAction* close = systemMenu->addAction(QStringLiteral("&Close"));
    close->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    connect(close, &QAction::triggered, this, [this] { OnSysCommand(SC_CLOSE); });

    // The desktop's own window menu cannot be extended, so the window offers its own.
    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(shortcut, &QShortcut::activated, this,
            [this] { systemMenu->exec(mapToGlobal(QPoint(0, 0))); });
}

CMainDlg::~CMainDlg() = default;

bool CMainDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    const QString about = QString::fromUtf8(res::LoadString(res::IDS_ABOUTBOX));
    if (!about.isEmpty()) {
        systemMenu->addSeparator();
        QAction* entry = systemMenu->addAction(about);
        connect(entry, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    }

    // One icon set serves as both the large and the small window icon.
    setWindowIcon(appIcon);

    // The working folder's palette first (a desktop menu starts the program in the home
    // folder), then the user's own, then the one installed with the program, as the tool
    // looks. Nothing but what the search found is opened: a pipe of that name would wait.
    const std::optional<std::string> palette =
        gfx::FindPaletteFile(formats::DefaultPaletteFolders());
    if (!palette || !gfx::LoadColourTable(RomImage, *palette)) {
        gfx::SetColourTable(RomImage, nullptr, 0); // the whole standard palette
        // The message is the program's own; the details say what happens instead.
        app::MessageBox(QStringLiteral("Error opening \"palette.pal\"\nImages will not display."),
                        QStringLiteral("Tiles are drawn with the built-in standard palette."));
    }

    const std::optional<QString> path =
        theApp.RomArgument ? theApp.RomArgument : app::GetOpenFileName();
    if (path) {
        if (!RomImage.LoadRomFile(QFile::encodeName(*path).toStdString())) {
            app::MessageBox(QStringLiteral("Error opening ROM"),
                            QStringLiteral("Could not open \"%1\": %2.")
                                .arg(*path, QString::fromLocal8Bit(RomImage.LastError.c_str())));
            EndDialog(IDCANCEL);
            return true;
        }
        // Edits a crash left behind come back before anything is built from the image.
        recovery = app::StartRecovery(RomImage);
    } else {
        EndDialog(IDCANCEL);
    }

    text::BuildTextTable(RomImage);
    return true;
}

void CMainDlg::OnOK() {
    if (MayQuit()) {
        Quit(IDOK);
    }
}

void CMainDlg::OnCancel() {
    if (MayQuit()) {
        Quit(IDCANCEL);
    }
}

void CMainDlg::Quit(int result) {
    if (recovery) {
        recovery->End(quitDiscards);
    }
    EndDialog(result);
}

bool CMainDlg::MayQuit() {
    quitDiscards = false;
    // A change of map in the editor stores into the image without writing the file; edits
    // recovered after a crash may still wait for the map editor to be opened.
    const bool heldGrid = recovery && recovery->HoldsGrid();
    if (!RomImage.DiffersFromFile() && !heldGrid) {
        return true;
    }
    const QString name = QFileInfo(QFile::decodeName(RomImage.RomPath.c_str())).fileName();
    const app::Answer answer =
        app::Ask(QStringLiteral("Save the changes to %1 before quitting?").arg(name),
                 {app::Answer::Save, app::Answer::Discard, app::Answer::Cancel});
    if (answer == app::Answer::Cancel) {
        return false;
    }
    quitDiscards = answer == app::Answer::Discard;
    if (answer == app::Answer::Save && heldGrid) {
        const worldmap::StoreReport report = recovery->StoreHeldGrid();
        if (report.status != worldmap::StoreStatus::Stored) {
            app::MessageBox(CMapsDlg::StoreFailedText, mapeditor::RefusalDetail(report));
            return false;
        }
    }
    return answer != app::Answer::Save ||
           mapeditor::SaveRom(RomImage, [](const FileStamp* expected) {
               return RomImage.SaveRomFile(expected);
           }) == mapeditor::SaveOutcome::Saved;
}

void CMainDlg::OnCommand(int id) {
    if (id == IDC_MAPS) {
        OpenMapEditor();
    } else if (id == IDC_ENEMIES) {
        OpenEnemyViewer();
    }
}

void CMainDlg::OpenMapEditor() {
    CMapsDlg dlg;
    dlg.RomPtr = &RomImage;
    dlg.Keeper = recovery.get();
    dlg.DoModal();
}

void CMainDlg::OpenEnemyViewer() {
    CEnemiesDlg dlg;
    dlg.RomPtr = &RomImage;
    dlg.DoModal();
}

void CMainDlg::OnSysCommand(unsigned id) {
    if ((id & 0xFFF0u) == IDM_ABOUTBOX) {
        CAboutDlg dlg;
        dlg.DoModal();
    } else if ((id & 0xFFF0u) == SC_CLOSE) {
        close();
    }
}

void CMainDlg::OnRButtonDown(const QPoint& point) {
    systemMenu->exec(mapToGlobal(point));
}

void CMainDlg::OnPaint(QPainter& dc) {
    if (!isMinimized()) {
        return;
    }
    const QPoint at = MinimisedIconOrigin(size(), QSize(SystemIconSize, SystemIconSize));
    appIcon.paint(&dc, QRect(at, QSize(SystemIconSize, SystemIconSize)));
}
