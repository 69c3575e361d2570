#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
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
#include "tests/gui/GuiTest.h"
#include "tests/support/RomBuilder.h"

namespace {

using Log = std::vector<std::string>;
const std::string PaletteMessage =
    "message Error opening \"palette.pal\"\nImages will not display.";
const std::string RomMessage = "message Error opening ROM";

// A fresh working folder, a blank RomImage, and every message and file-dialog request
// recorded in order; the file dialog answers with `answer`.
class StartupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        RomImage = CRomImage();
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
    // A palette and a valid synthetic ROM file, whose bytes are kept in `romBytes`; the
    // file dialog answers with its path.
    void WriteFiles() {
        WritePalette();
        auto rom = testsupport::RomBuilder().EnemyName(0, "Slime").Build();
        ASSERT_NE(rom, nullptr);
        romBytes.assign(rom->RomBytes, rom->RomBytes + RomFileSize);
        answer = dir.filePath("game.nes");
        ASSERT_TRUE(testsupport::WriteFile(answer->toStdString(), romBytes.data(), RomFileSize));
    }
    static bool TextTableBuilt() {
        return std::any_of(std::begin(RomImage.TextTable), std::end(RomImage.TextTable),
                           [](const char* slot) { return slot[0] != 0 || slot[1] != 0; });
    }

    QTemporaryDir dir;
    QString oldCwd;
    Log log;
    std::optional<QString> answer;
    std::vector<uint8_t> romBytes;
};

TEST(MinimisedIcon, CentresWithTheRoundingUpAndTruncatesTowardZero) {
    EXPECT_EQ(MinimisedIconOrigin(QSize(36, 36), QSize(32, 32)), QPoint(2, 2));
    EXPECT_EQ(MinimisedIconOrigin(QSize(37, 37), QSize(32, 32)), QPoint(3, 3));
    // A client area smaller than the icon: (-1) / 2 is 0, not -1.
    EXPECT_EQ(MinimisedIconOrigin(QSize(30, 29), QSize(32, 32)), QPoint(0, -1));
}

TEST_F(StartupTest, FailedStartsSayWhyInOrderAndEndTheProgram) {
    const QString folder = dir.filePath("folder.nes");
    ASSERT_TRUE(QDir().mkdir(folder));
    struct Case {
        bool palette;
        std::optional<QString> answer;
        Log log;
        bool textTable; // built even after a cancel, never after a ROM that cannot be read
    };
    const Case cases[] = {
        {false, std::nullopt, {PaletteMessage, "open"}, true},
        {true, dir.filePath("missing.nes"), {"open", RomMessage}, false},
        {true, folder, {"open", RomMessage}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.value_or("cancelled").toStdString());
        RomImage = CRomImage();
        log.clear();
        if (c.palette) {
            WritePalette();
        }
        answer = c.answer;
        EXPECT_FALSE(theApp.InitInstance());
        EXPECT_EQ(log, c.log);
        EXPECT_EQ(TextTableBuilt(), c.textTable);
        EXPECT_TRUE(RomImage.RomPath.empty());
        EXPECT_EQ(RomImage.ColourTable[5], c.palette ? 0x1E140Au : 0u);
    }
}

TEST_F(StartupTest, LoadedRomOpensTheWindowWhoseButtonsAndMenuWorkAndWhichWritesNothing) {
    WriteFiles();
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(log, Log{"open"});
    EXPECT_EQ(RomImage.RomPath, answer->toStdString());
    EXPECT_EQ(std::vector<uint8_t>(RomImage.RomBytes, RomImage.RomBytes + RomFileSize), romBytes);
    EXPECT_TRUE(TextTableBuilt());
    EXPECT_FALSE(dlg.windowIcon().isNull());
    EXPECT_EQ(dlg.windowTitle(), "Atlasforge");

    // Each press builds a new window on the ROM image, which is gone when its run ends.
    for (int button : {IDC_MAPS, IDC_MAPS, IDC_ENEMIES}) {
        QPointer<QWidget> window;
        EXPECT_TRUE(ModalOpens(
            [&] { QTest::mouseClick(dlg.GetDlgItem(button), Qt::LeftButton); },
            [&](QWidget* w) {
                window = w;
                EXPECT_EQ(w->parentWidget(), nullptr);
                auto* maps = qobject_cast<CMapsDlg*>(w);
                auto* enemies = qobject_cast<CEnemiesDlg*>(w);
                EXPECT_TRUE(button == IDC_MAPS ? maps != nullptr : enemies != nullptr);
                EXPECT_EQ(maps ? maps->RomPtr : enemies ? enemies->RomPtr : nullptr, &RomImage);
            }));
        EXPECT_TRUE(window.isNull());
    }

    // The system menu ends with "About", which (like any id in its group of sixteen) opens
    // the About box with the program's icon.
    const QList<QAction*> entries = dlg.SystemMenu()->actions();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0]->text(), "&Close");
    EXPECT_TRUE(entries[1]->isSeparator());
    EXPECT_EQ(entries[2]->text(), "&About Atlasforge...");
    auto aboutBox = [](QWidget* w) {
        auto* about = qobject_cast<CAboutDlg*>(w);
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->TemplateId(), 100);
        const QList<QLabel*> labels = about->findChildren<QLabel*>();
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
                                [](QLabel* l) { return l->pixmap().size() == QSize(32, 32); }));
        QTest::keyClick(about, Qt::Key_Return);
        EXPECT_TRUE(about->Ended());
    };
    EXPECT_TRUE(ModalOpens([&] { entries[2]->trigger(); }, aboutBox));
    EXPECT_TRUE(ModalOpens([&] { dlg.OnSysCommand(0x1F); }, aboutBox));
    EXPECT_FALSE(dlg.Ended());

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

    // "Quit" ends the program; a change made in memory only (as the map editor's change of
    // map does) is not written.
    RomImage.WriteByte(0x2000, static_cast<uint8_t>(RomImage.ReadByte(0x2000) ^ 0xFF));
    const QDateTime before = QFileInfo(*answer).lastModified();
    QTest::mouseClick(dlg.GetDlgItem(IDOK), Qt::LeftButton);
    EXPECT_EQ(dlg.EndResult(), IDOK);
    std::vector<uint8_t> after;
    ASSERT_TRUE(testsupport::ReadFile(answer->toStdString(), after));
    EXPECT_EQ(after, romBytes);
    EXPECT_EQ(QFileInfo(*answer).lastModified(), before);
    EXPECT_EQ(log.size(), 1u);

    CMainDlg again; // the menu's "Close" ends the program as well
    ASSERT_TRUE(again.Create());
    again.SystemMenu()->actions()[0]->trigger();
    EXPECT_TRUE(again.Ended());
    EXPECT_EQ(again.EndResult(), IDCANCEL);
}

} // namespace
