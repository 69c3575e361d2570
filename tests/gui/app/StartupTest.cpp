#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
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
        for (const auto& slot : RomImage.TextTable) {
            if (slot[0] != 0 || slot[1] != 0) {
                return true;
            }
        }
        return false;
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
    EXPECT_EQ(MinimisedIconOrigin(QSize(160, 90), QSize(32, 32)), QPoint(64, 29));
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

    // A file of the wrong size is still accepted: it opens.
    const std::vector<uint8_t> shortFile(1000, 0x42);
    const QString shortPath = dir.filePath("short.bin");
    ASSERT_TRUE(testsupport::WriteFile(shortPath.toStdString(), shortFile.data(), 1000));
    log.clear();
    answer = shortPath;
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(log, (std::vector<std::string>{"open"}));
    EXPECT_EQ(RomImage.ReadByte(999), 0x42);
    EXPECT_TRUE(TextTableBuilt());
    dlg.close();
}

TEST_F(StartupFixture, LoadedRomOpensTheWindowAndQuitWritesNothing) {
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

TEST_F(StartupFixture, MapsAndEnemiesOpenFreshWindowsOnTheRomImage) {
    WritePalette();
    answer = WriteRom();
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create());

    QPointer<CMapsDlg> firstEditor;
    for (int run = 0; run < 2; ++run) {
        bool opened = false;
        QTimer::singleShot(0, [&] {
            auto* maps = qobject_cast<CMapsDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(maps, nullptr);
            opened = true;
            EXPECT_EQ(maps->RomPtr, &RomImage);
            EXPECT_EQ(maps->parentWidget(), nullptr);
            if (run == 0) {
                firstEditor = maps;
            }
            maps->close();
        });
        QTest::mouseClick(dlg.GetDlgItem(IDC_MAPS), Qt::LeftButton);
        EXPECT_TRUE(opened);
        // Each run's editor is gone when its run ends; the next press builds a new one.
        EXPECT_TRUE(firstEditor.isNull());
    }

    bool enemiesOpened = false;
    QTimer::singleShot(0, [&] {
        auto* enemies = qobject_cast<CEnemiesDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(enemies, nullptr);
        enemiesOpened = true;
        EXPECT_EQ(enemies->RomPtr, &RomImage);
        enemies->close();
    });
    QTest::mouseClick(dlg.GetDlgItem(IDC_ENEMIES), Qt::LeftButton);
    EXPECT_TRUE(enemiesOpened);
    EXPECT_FALSE(dlg.Ended());
    EXPECT_EQ(log, (std::vector<std::string>{"open"}));
    dlg.close();
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
        EXPECT_EQ(about->windowTitle(), "About Atlasforge");
        bool iconFound = false, versionFound = false;
        for (QLabel* label : about->findChildren<QLabel*>()) {
            iconFound |= label->pixmap().size() == QSize(32, 32);
            versionFound |= label->text() == "Atlasforge Version 1.0";
        }
        EXPECT_TRUE(iconFound);
        EXPECT_TRUE(versionFound);
        QTest::keyClick(about, Qt::Key_Return);
    });
    entries[2]->trigger();
    EXPECT_TRUE(aboutShown);
    EXPECT_FALSE(dlg.Ended());

    // Any other id in the About command's group of sixteen opens it too.
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    dlg.OnSysCommand(0x1F);

    // A right click in the client area and Alt+Space both open the menu.
    int popups = 0;
    for (int way = 0; way < 2; ++way) {
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        QTimer::singleShot(0, [&] {
            if (QApplication::activePopupWidget() == dlg.SystemMenu()) {
                ++popups;
            }
            dlg.SystemMenu()->close();
        });
        if (way == 1) {
            QTest::mouseClick(&dlg, Qt::RightButton, {}, QPoint(120, 20));
        } else {
            QTest::keyClick(&dlg, Qt::Key_Space, Qt::AltModifier);
        }
    }
    EXPECT_EQ(popups, 2);

    entries[0]->trigger();
    EXPECT_TRUE(dlg.Ended());
    EXPECT_EQ(dlg.EndResult(), IDCANCEL);
}

} // namespace
