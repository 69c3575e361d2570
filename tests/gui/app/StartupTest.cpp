#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/AboutDlg.h"
#include "app/EditorApp.h"
#include "app/MainDlg.h"
#include "app/Platform.h"
#include "enemies/EnemiesDlg.h"
#include "mapeditor/MapsDlg.h"
#include "rom/RomImage.h"
#include "tests/support/RomBuilder.h"

namespace {

const std::string PaletteMessage =
    "message Error opening \"palette.pal\"\nImages will not display.";
const std::string RomMessage = "message Error opening ROM";

// A fresh working folder, a zeroed RomImage, and every message and file-dialog request
// recorded in order; the file dialog answers with `answer`.
class StartupFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        std::memset(RomImage.RomBytes, 0, sizeof RomImage.RomBytes);
        std::memset(RomImage.TextTable, 0, sizeof RomImage.TextTable);
        std::memset(RomImage.ColourTable, 0, sizeof RomImage.ColourTable);
        RomImage.RomPath.clear();
        RomImage.TailBytes.clear();
        app::SetMessageBoxFunction(
            [this](const QString& text) { log.push_back("message " + text.toStdString()); });
        app::SetOpenFileFunction([this] {
            log.push_back("open");
            return answer;
        });
    }
    void TearDown() override {
        app::SetMessageBoxFunction({});
        app::SetOpenFileFunction({});
        QDir::setCurrent(oldCwd);
    }

    void WritePalette() {
        uint8_t pal[192] = {};
        pal[15] = 10, pal[16] = 20, pal[17] = 30; // colour 5
        ASSERT_TRUE(testsupport::WriteFile(dir.filePath("palette.pal").toStdString(), pal, 192));
    }
    // A valid synthetic ROM file; its bytes are kept in `romBytes`.
    QString WriteRom() {
        auto rom = testsupport::RomBuilder().EnemyName(0, "Slime").Build();
        EXPECT_NE(rom, nullptr);
        romBytes.assign(rom->RomBytes, rom->RomBytes + RomFileSize);
        const QString path = dir.filePath("game.nes");
        EXPECT_TRUE(testsupport::WriteFile(path.toStdString(), romBytes.data(), romBytes.size()));
        return path;
    }
    static bool TextTableBuilt() {
        return std::any_of(std::begin(RomImage.TextTable), std::end(RomImage.TextTable),
                           [](const char* slot) { return slot[0] != 0 || slot[1] != 0; });
    }

    QTemporaryDir dir;
    QString oldCwd;
    std::vector<std::string> log;
    std::optional<QString> answer;
    std::vector<uint8_t> romBytes;
};

TEST(MinimisedIcon, CentresWithTheRoundingUpAndTruncatesTowardZero) {
    EXPECT_EQ(MinimisedIconOrigin(QSize(36, 36), QSize(32, 32)), QPoint(2, 2));
    EXPECT_EQ(MinimisedIconOrigin(QSize(37, 37), QSize(32, 32)), QPoint(3, 3));
    // A client area smaller than the icon: (-1) / 2 is 0, not -1.
    EXPECT_EQ(MinimisedIconOrigin(QSize(30, 29), QSize(32, 32)), QPoint(0, -1));
}

TEST_F(StartupFixture, MissingPaletteIsReportedFirstAndCancelEndsSilently) {
    answer = std::nullopt;
    EXPECT_FALSE(theApp.InitInstance());
    EXPECT_EQ(log, (std::vector<std::string>{PaletteMessage, "open"}));
    EXPECT_EQ(theApp.MainWindow(), nullptr);
    // The text table is built even after a cancel; nothing else was loaded.
    EXPECT_TRUE(TextTableBuilt());
    EXPECT_TRUE(RomImage.RomPath.empty());
}

TEST_F(StartupFixture, UnopenableRomIsReportedAndEndsTheWindowBeforeTheTextTable) {
    WritePalette();
    const QString missing = dir.filePath("missing.nes");
    const QString folder = dir.filePath("folder.nes");
    ASSERT_TRUE(QDir().mkdir(folder));
    for (const QString& path : {missing, folder}) {
        SCOPED_TRACE(path.toStdString());
        log.clear();
        answer = path;
        CMainDlg dlg;
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(log, (std::vector<std::string>{"open", RomMessage}));
        EXPECT_FALSE(TextTableBuilt());
        EXPECT_EQ(RomImage.ColourTable[5], 0x1E140Au);
    }
}

TEST_F(StartupFixture, LoadedRomOpensTheWindowItsButtonsOpenFreshWindowsQuitWritesNothing) {
    WritePalette();
    answer = WriteRom();
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(log, (std::vector<std::string>{"open"}));
    EXPECT_EQ(RomImage.RomPath, answer->toStdString());
    EXPECT_EQ(0, std::memcmp(RomImage.RomBytes, romBytes.data(), RomFileSize));
    EXPECT_TRUE(TextTableBuilt());
    EXPECT_FALSE(dlg.windowIcon().isNull());
    EXPECT_EQ(dlg.windowTitle(), "Atlasforge");

    // Each press builds a new window on the ROM image, which is gone when its run ends.
    for (int button : {IDC_MAPS, IDC_MAPS, IDC_ENEMIES}) {
        bool opened = false;
        QPointer<CDialog> window;
        QTimer::singleShot(0, [&] {
            window = qobject_cast<CDialog*>(QApplication::activeModalWidget());
            ASSERT_FALSE(window.isNull());
            opened = true;
            EXPECT_EQ(window->parentWidget(), nullptr);
            auto* maps = qobject_cast<CMapsDlg*>(window.data());
            auto* enemies = qobject_cast<CEnemiesDlg*>(window.data());
            EXPECT_TRUE(button == IDC_MAPS ? maps != nullptr : enemies != nullptr);
            EXPECT_EQ(maps ? maps->RomPtr : enemies ? enemies->RomPtr : nullptr, &RomImage);
            window->close();
        });
        QTest::mouseClick(dlg.GetDlgItem(button), Qt::LeftButton);
        EXPECT_TRUE(opened);
        EXPECT_TRUE(window.isNull());
    }

    // A change stored in memory only (as the map editor's change of map does) is lost.
    RomImage.WriteByte(0x2000, static_cast<uint8_t>(RomImage.ReadByte(0x2000) ^ 0xFF));
    const QDateTime before = QFileInfo(*answer).lastModified();
    QTest::mouseClick(dlg.GetDlgItem(IDOK), Qt::LeftButton);
    EXPECT_TRUE(dlg.Ended());
    EXPECT_EQ(dlg.EndResult(), IDOK);
    std::vector<uint8_t> after;
    ASSERT_TRUE(testsupport::ReadFile(answer->toStdString(), after));
    EXPECT_EQ(after, romBytes);
    EXPECT_EQ(QFileInfo(*answer).lastModified(), before);
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(StartupFixture, SystemMenuEndsWithAboutWhichOpensTheAboutBox) {
    WritePalette();
    answer = WriteRom();
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create());
    const QList<QAction*> entries = dlg.SystemMenu()->actions();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0]->text(), "&Close");
    EXPECT_TRUE(entries[1]->isSeparator());
    EXPECT_EQ(entries[2]->text(), "&About Atlasforge...");

    bool aboutShown = false;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        aboutShown = true;
        EXPECT_EQ(about->TemplateId(), 100);
        const QList<QLabel*> labels = about->findChildren<QLabel*>();
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](QLabel* l) {
            return l->pixmap().size() == QSize(32, 32); // the icon, from the program's resources
        }));
        QTest::keyClick(about, Qt::Key_Return);
    });
    entries[2]->trigger();
    EXPECT_TRUE(aboutShown);
    EXPECT_FALSE(dlg.Ended());

    // Any other id in the About command's group of sixteen opens it too.
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    dlg.OnSysCommand(0x1F);

    // Alt+Space and a right click in the client area open the menu. (Alt+Space goes first:
    // the offscreen platform leaves a closed popup as the active window.)
    auto opensMenu = [&dlg](auto action) {
        bool open = false;
        QTimer::singleShot(0, [&] {
            open = QApplication::activePopupWidget() == dlg.SystemMenu();
            dlg.SystemMenu()->close();
        });
        action();
        return open;
    };
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    EXPECT_TRUE(opensMenu([&] { QTest::keyClick(&dlg, Qt::Key_Space, Qt::AltModifier); }));
    EXPECT_TRUE(opensMenu([&] { QTest::mouseClick(&dlg, Qt::RightButton, {}, QPoint(120, 20)); }));

    entries[0]->trigger();
    EXPECT_TRUE(dlg.Ended());
    EXPECT_EQ(dlg.EndResult(), IDCANCEL);
}

} // namespace
