#include <QDir>
#include <QFileDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "app/AboutDlg.h"
#include "app/CommandLine.h"
#include "app/Dialog.h"
#include "app/EditorApp.h"
#include "app/Emulator.h"
#include "app/MainDlg.h"
#include "app/Platform.h"
#include "enemies/EnemiesDlg.h"
#include "mapeditor/MapsDlg.h"
#include "rom/RomImage.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/RomBuilder.h"

namespace {

using Log = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

// A dialog on any template that records what reaches its handlers.
class Probe : public CDialog {
  public:
    using CDialog::CDialog;
    Log log;

  protected:
    void OnOK() override { log.push_back("ok"), CDialog::OnOK(); }
    void OnCancel() override { log.push_back("cancel"), CDialog::OnCancel(); }
};

TEST(DialogLayout, EveryTextFitsItsControlAndNoControlsOverlap) {
    for (int id : {100, 102, 129, 130}) {
        SCOPED_TRACE(id);
        Probe dlg(id);
        EXPECT_EQ(QFontInfo(dlg.font()).family(), DialogFontFamily);
        const QList<QWidget*> widgets = dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* w : widgets) {
            if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
                EXPECT_EQ(label->sizeHint().boundedTo(label->size()), label->sizeHint())
                    << label->text().toStdString();
            } else if (auto* button = qobject_cast<QPushButton*>(w)) {
                // Room for the text and the bevel on both sides.
                const QSize need = button->fontMetrics().size(0, button->text()) + QSize(8, 4);
                EXPECT_EQ(need.boundedTo(button->size()), need) << button->text().toStdString();
            }
            EXPECT_TRUE(dlg.rect().contains(w->geometry()));
            // Controls meet only as a frame wholly around another control.
            const bool frame = qobject_cast<QGroupBox*>(w) != nullptr;
            for (QWidget* other : widgets) {
                EXPECT_TRUE(other == w || qobject_cast<QGroupBox*>(other) ||
                            !w->geometry().intersects(other->geometry()) ||
                            (frame && w->geometry().contains(other->geometry())))
                    << w->metaObject()->className() << " and " << other->metaObject()->className();
            }
        }
    }
}

TEST(DialogRun, ButtonsKeysAndCloseBoxEndAsExpected) {
    auto key = [](Qt::Key k) { return [k](Probe& d) { QTest::keyClick(&d, k); }; };
    const struct {
        int templateId;
        std::function<void(Probe&)> action;
        Log log;
    } cases[] = {
        {130,
         [](Probe& d) { QTest::mouseClick(d.GetDlgItem(IDCANCEL), Qt::LeftButton); },
         {"cancel"}},
        {102, key(Qt::Key_F1), {}},
        // Without a default button Enter presses nothing, not the first button ("Save").
        {130, key(Qt::Key_Return), {}},
        {102, key(Qt::Key_Return), {"ok"}},
        {102, key(Qt::Key_Escape), {"cancel"}},
        {102, [](Probe& d) { d.close(); }, {"cancel"}},
    };
    for (const auto& c : cases) {
        Probe dlg(c.templateId);
        EXPECT_TRUE(dlg.Create());
        dlg.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
        c.action(dlg);
        EXPECT_EQ(dlg.log, c.log);
        EXPECT_EQ(dlg.isVisible(), !dlg.Ended());
    }
}

TEST(Platform, MessageBoxAndOpenFileDialog) {
    EXPECT_TRUE(ModalOpens([] { app::MessageBox("Two\nlines"); },
                           [](QWidget* w) {
                               auto* box = qobject_cast<QMessageBox*>(w);
                               ASSERT_NE(box, nullptr);
                               EXPECT_EQ(box->text() + "|" + box->windowTitle(),
                                         "Two\nlines|Atlasforge");
                               EXPECT_EQ(box->icon(), QMessageBox::Warning);
                               EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
                           }));

    // The file dialog gives the full path, or nothing when cancelled.
    QTemporaryDir dir;
    const QString rom = dir.filePath("game.nes");
    QFile(rom).open(QIODevice::WriteOnly);
    std::optional<QString> chosen;
    auto open = [&chosen] { chosen = app::GetOpenFileName(); };
    EXPECT_TRUE(ModalOpens(open, [&rom](QWidget* w) {
        auto* dlg = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        dlg->selectFile(rom);
        static_cast<QDialog*>(dlg)->accept(); // QFileDialog hides its accept()
    }));
    EXPECT_EQ(chosen, rom);
    EXPECT_TRUE(ModalOpens(open, [](QWidget*) {}));
    EXPECT_FALSE(chosen.has_value());
}

// With none of the known emulators on the PATH, the message says what to set; when one is
// in the system's games folder, off the PATH, it names it and says how to use it.
TEST(Emulator, AMissingEmulatorIsExplainedAndOneOffThePathIsNamed) {
    QTemporaryDir games, empty;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", empty.path().toUtf8());
    qunsetenv(app::EmulatorVariable);
    app::SetGamesFolder(games.path());
    const auto none = app::RunInEmulator({1, 2}, "map.nes");
    QFile fake(games.filePath("nestopia"));
    fake.open(QIODevice::WriteOnly);
    fake.setPermissions(fake.permissions() | QFileDevice::ExeOwner);
    fake.close();
    const auto offPath = app::RunInEmulator({1, 2}, "map.nes");
    app::SetGamesFolder({});
    qputenv("PATH", path);
    ASSERT_TRUE(none.has_value() && offPath.has_value());
    EXPECT_TRUE(none->text.startsWith("No emulator found.\n")) << none->text.toStdString();
    EXPECT_TRUE(none->text.contains("ATLASFORGE_EMULATOR"));
    for (const QString& part :
         {fake.fileName(), games.path() + ",", QString("ATLASFORGE_EMULATOR=\"")}) {
        EXPECT_TRUE(offPath->text.contains(part)) << offPath->text.toStdString();
    }
}

// A fresh working folder, a blank RomImage, and every message and file-dialog request
// recorded in order; the file dialog answers with `answer`.
class StartupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir::setCurrent(dir.path());
        // Only the palettes a test puts in place: none from the user running it.
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
        RomImage = CRomImage();
        app::SetMessageBoxFunction([this](const QString& text, const QString& detail) {
            log.push_back("message " + text.toStdString());
            details.push_back(detail);
        });
        app::SetOpenFileFunction([this] { return log.push_back("open"), answer; });
        app::SetAskFunction([this](const QString& text, const std::vector<app::Answer>& buttons) {
            log.push_back("ask " + text.toStdString());
            EXPECT_EQ(buttons,
                      (std::vector{app::Answer::Save, app::Answer::Discard, app::Answer::Cancel}));
            return quitAnswer;
        });
    }
    void TearDown() override {
        app::SetMessageBoxFunction(app::MessageBoxFunction{});
        app::SetOpenFileFunction({});
        app::SetAskFunction({});
        QDir::setCurrent(oldCwd);
        qunsetenv("XDG_CONFIG_HOME");
        theApp.RomArgument.reset();
    }
    bool Write(const char* name, const Bytes& bytes) {
        return testsupport::WriteFile(dir.filePath(name).toStdString(), bytes);
    }
    static bool TextTableBuilt() {
        return std::any_of(std::begin(RomImage.TextTable), std::end(RomImage.TextTable),
                           [](const char* slot) { return slot[0] != 0 || slot[1] != 0; });
    }

    QTemporaryDir dir;
    const QString oldCwd = QDir::currentPath();
    Log log;
    QStringList details;
    std::optional<QString> answer;
    app::Answer quitAnswer = app::Answer::Cancel;
};

// Failed starts end the window inside its own initialisation, so they return without
// showing it; a good start opens it, and its buttons and About work and nothing is written.
TEST_F(StartupTest, StartsInOrderSayWhyAFailedStartEndsAndTheWindowWritesNothing) {
    // No palette: its message comes first; a cancel then ends the program without a word.
    EXPECT_FALSE(theApp.InitInstance());
    EXPECT_EQ(log,
              (Log{"message Error opening \"palette.pal\"\nImages will not display.", "open"}));
    EXPECT_TRUE(TextTableBuilt()); // built even after a cancel

    RomImage = CRomImage();
    log.clear();
    ASSERT_TRUE(Write("palette.pal", Bytes(192)));
    answer = dir.filePath("missing.nes");
    EXPECT_FALSE(theApp.InitInstance());
    EXPECT_EQ(log, (Log{"open", "message Error opening ROM"}));
    EXPECT_EQ(details.back(), QString("Could not open \"%1\": No such file or directory.")
                                  .arg(dir.filePath("missing.nes")));
    EXPECT_FALSE(TextTableBuilt());

    log.clear();
    auto rom = testsupport::RomBuilder().EnemyName(0, "Slime").Build();
    ASSERT_NE(rom, nullptr);
    const Bytes romBytes(rom->RomBytes, rom->RomBytes + RomFileSize);
    ASSERT_TRUE(Write("game.nes", romBytes));
    answer = dir.filePath("game.nes");
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(log, Log{"open"});
    EXPECT_EQ(RomImage.RomPath, answer->toStdString());
    EXPECT_TRUE(TextTableBuilt());

    // Each press builds a new window on the ROM image, which is gone when its run ends.
    for (int button : {IDC_MAPS, IDC_MAPS, IDC_ENEMIES}) {
        QPointer<QWidget> window;
        EXPECT_TRUE(ModalOpens([&] { QTest::mouseClick(dlg.GetDlgItem(button), Qt::LeftButton); },
                               [&](QWidget* w) {
                                   window = w;
                                   auto* maps = qobject_cast<CMapsDlg*>(w);
                                   auto* enemies = qobject_cast<CEnemiesDlg*>(w);
                                   ASSERT_TRUE(button == IDC_MAPS ? maps != nullptr
                                                                  : enemies != nullptr);
                                   EXPECT_EQ(maps ? maps->RomPtr : enemies->RomPtr, &RomImage);
                               }));
        EXPECT_TRUE(window.isNull());
    }

    // The system menu ends with "About", which (like any id in its group of sixteen) opens
    // the About box.
    QAction* about = dlg.SystemMenu()->actions().back();
    EXPECT_EQ(about->text(), "&About Atlasforge...");
    auto aboutBox = [](QWidget* w) { EXPECT_NE(qobject_cast<CAboutDlg*>(w), nullptr); };
    EXPECT_TRUE(ModalOpens([&] { about->trigger(); }, aboutBox));
    EXPECT_TRUE(ModalOpens([&] { dlg.OnSysCommand(0x1F); }, aboutBox));

    // "Quit" ends the program; a change made in memory only (as the map editor's change of
    // map does) is written only if the user says so.
    RomImage.WriteByte(0x2000, static_cast<uint8_t>(RomImage.ReadByte(0x2000) ^ 0xFF));
    quitAnswer = app::Answer::Discard;
    QTest::mouseClick(dlg.GetDlgItem(IDOK), Qt::LeftButton);
    EXPECT_EQ(dlg.EndResult(), IDOK);
    EXPECT_EQ(testsupport::ReadBytes(answer->toStdString()), romBytes);
    EXPECT_EQ(log, (Log{"open", "ask Save the changes to game.nes before quitting?"}));
}

// Enter and Esc (the Quit button and the close box reach the same handlers): no question
// while the file holds everything; with changes, Cancel stays, Save writes, and stays with
// the reason when it cannot. Discard: the test above.
TEST_F(StartupTest, QuittingWithUnwrittenChangesAsksWhetherToSaveThem) {
    ASSERT_TRUE(Write("palette.pal", Bytes(192)));
    const Bytes romBytes = testsupport::Image(*testsupport::RomBuilder().Build());
    ASSERT_TRUE(Write("game.nes", romBytes));
    answer = dir.filePath("game.nes");
    const std::string path = answer->toStdString();
    const std::string question = "ask Save the changes to game.nes before quitting?";
    const QString missing = dir.filePath("missing/game.nes");
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        SCOPED_TRACE(key);
        {
            CMainDlg dlg;
            ASSERT_TRUE(dlg.Create());
            log.clear();
            QTest::keyClick(&dlg, key);
            EXPECT_TRUE(dlg.Ended());
            EXPECT_TRUE(log.empty());
        }
        CMainDlg dlg;
        ASSERT_TRUE(dlg.Create());
        log.clear();
        const uint8_t mark = key == Qt::Key_Return ? 1 : 2;
        RomImage.WriteByte(0x3000, mark);
        for (const auto& [reply, romPath] : {std::pair{app::Answer::Cancel, path},
                                             {app::Answer::Save, missing.toStdString()},
                                             {app::Answer::Save, path}}) {
            EXPECT_FALSE(dlg.Ended());
            quitAnswer = reply;
            RomImage.RomPath = romPath;
            QTest::keyClick(&dlg, key);
        }
        EXPECT_TRUE(dlg.Ended());
        EXPECT_EQ(log, (Log{question, question, "message Error!\nCould not save changes to ROM",
                            question}));
        EXPECT_EQ(details.back(),
                  QString("Could not write \"%1\": No such file or directory.").arg(missing));
        Bytes want = romBytes;
        want[0x3000] = mark;
        EXPECT_EQ(testsupport::ReadBytes(path), want);
        ASSERT_TRUE(Write("game.nes", romBytes));
    }
}

// A ROM named on the command line is opened without asking; one that cannot be opened for
// reading and writing gets the same message as a chosen one, and the program ends.
TEST_F(StartupTest, TheRomNamedOnTheCommandLineOpensWithoutAskingOrEndsTheProgram) {
    ASSERT_TRUE(Write("palette.pal", Bytes(192)));
    const Bytes romBytes = testsupport::Image(*testsupport::RomBuilder().Build());
    ASSERT_TRUE(Write("game.nes", romBytes));
    ASSERT_TRUE(Write("locked.nes", romBytes));
    ASSERT_EQ(::chmod(dir.filePath("locked.nes").toLocal8Bit().constData(), 0444), 0);
    QDir(dir.path()).mkdir("folder.nes");
    std::vector<std::pair<QString, QString>> refused{{"missing.nes", "No such file or directory"},
                                                     {"folder.nes", "Is a directory"}};
    if (::geteuid() != 0) { // the superuser may write a read-only file
        refused.emplace_back("locked.nes", "Permission denied");
    }
    for (const auto& [name, reason] : refused) {
        SCOPED_TRACE(name.toStdString());
        RomImage = CRomImage();
        log.clear();
        theApp.RomArgument = dir.filePath(name);
        EXPECT_FALSE(theApp.InitInstance());
        EXPECT_EQ(log, Log{"message Error opening ROM"});
        EXPECT_EQ(details.back(),
                  QString("Could not open \"%1\": %2.").arg(dir.filePath(name), reason));
        EXPECT_TRUE(RomImage.RomPath.empty());
    }

    log.clear();
    theApp.RomArgument = dir.filePath("game.nes");
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(RomImage.RomPath, dir.filePath("game.nes").toStdString());
    EXPECT_TRUE(TextTableBuilt());
}

// With none in the working folder, the user's configuration folder supplies the palette:
// no message, and its colours are the ones drawn with.
TEST_F(StartupTest, APaletteInTheUsersConfigurationFolderIsUsedWithoutAMessage) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("config/atlasforge"));
    ASSERT_TRUE(Write("config/atlasforge/palette.pal", Bytes(192, 0x40)));
    EXPECT_FALSE(theApp.InitInstance()); // the open dialog is cancelled
    EXPECT_EQ(log, Log{"open"});
    EXPECT_EQ(RomImage.ColourTable[63], 0x404040u);
}

// A pipe named palette.pal is no palette: start-up goes on with the message instead of
// waiting for a writer. (Were it opened, a writer here would free it, and no message come.)
TEST_F(StartupTest, APipeNamedPalettePalIsPassedOverWithoutWaiting) {
    const std::string pipe = dir.filePath("palette.pal").toStdString();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::atomic<bool> done{false}, readerWaited{false};
    std::thread writer([&] {
        for (int i = 0; i < 500 && !done; ++i) {
            const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                readerWaited = true;
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    EXPECT_FALSE(theApp.InitInstance());
    done = true;
    writer.join();
    EXPECT_FALSE(readerWaited);
    EXPECT_EQ(log,
              (Log{"message Error opening \"palette.pal\"\nImages will not display.", "open"}));
}

// What the command line asks for: --help and --version win over anything else before "--", at
// most one ROM, and an unknown option or a second ROM is a usage error.
TEST(CommandLine, OneRomAtMostAndHelpOrVersionWin) {
    using A = app::CommandLine::Action;
    const std::vector<std::tuple<QStringList, A, std::optional<QString>>> cases{
        {{}, A::Run, std::nullopt},
        {{"game.nes"}, A::Run, "game.nes"},
        {{"-"}, A::Run, "-"},
        {{"--", "-odd.nes"}, A::Run, "-odd.nes"},
        {{"--", "--help"}, A::Run, "--help"},
        {{"a.nes", "b.nes"}, A::UsageError, std::nullopt},
        {{"--bogus"}, A::UsageError, std::nullopt},
        {{"a.nes", "-x"}, A::UsageError, std::nullopt},
        {{"a.nes", "b.nes", "--help"}, A::Help, std::nullopt},
        {{"-h"}, A::Help, std::nullopt},
        {{"--bogus", "--version"}, A::Version, std::nullopt},
    };
    for (const auto& [args, action, rom] : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const app::CommandLine line = app::ParseCommandLine(args);
        EXPECT_EQ(line.action, action);
        EXPECT_EQ(line.rom, rom);
        EXPECT_EQ(line.error.isEmpty(), action != A::UsageError);
        EXPECT_FALSE(line.error.contains('\n'));
    }
    EXPECT_EQ(app::ParseCommandLine({"a.nes", "b.nes"}).error,
              "one ROM at a time (a.nes and b.nes given); atlasforge --help tells more");
    EXPECT_EQ(app::ParseCommandLine({"--bogus"}).error,
              "unknown option --bogus; atlasforge --help tells more");
    EXPECT_EQ(app::VersionText(), "atlasforge 1.0\n");
    for (const char* part : {"Usage: atlasforge [OPTION] [ROM]", "$XDG_CONFIG_HOME/atlasforge/",
                             "$XDG_STATE_HOME/atlasforge/recovery/", "ATLASFORGE_EMULATOR"}) {
        EXPECT_TRUE(app::HelpText().contains(part)) << part;
    }
}

// The program itself: --help and --version answer without a display and end; a usage error
// is one line on stderr and exit 2, with no window.
TEST(CommandLine, TheProgramAnswersHelpAndVersionAndRefusesABadLine) {
    struct Case {
        QStringList args;
        bool display;
        int code;
        std::string out, err;
    };
    const Case cases[] = {
        {{"--help"}, false, 0, "Usage: atlasforge [OPTION] [ROM]\n", ""},
        {{"x.nes", "--version"}, false, 0, "atlasforge 1.0\n", ""},
        {{"a.nes", "b.nes"},
         false,
         2,
         "",
         "atlasforge: one ROM at a time (a.nes and b.nes given); atlasforge --help tells more\n"},
        {{"--bogus"},
         true,
         2,
         "",
         "atlasforge: unknown option --bogus; atlasforge --help tells more\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        if (c.display) {
            env.insert("QT_QPA_PLATFORM", "offscreen");
        } else {
            env.remove("QT_QPA_PLATFORM");
        }
        program.setProcessEnvironment(env);
        program.start(ATLASFORGE_EDITOR, c.args);
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), c.code);
        const std::string out = program.readAllStandardOutput().toStdString();
        const std::string err = program.readAllStandardError().toStdString();
        EXPECT_EQ(out.substr(0, c.out.size()), c.out);
        // The toolkit may warn about its own set-up first; the program's line comes last.
        EXPECT_EQ(err.substr(err.size() - std::min(err.size(), c.err.size())), c.err);
    }
}

// The quit question's Save notices a change by another program as the Maps window's does:
// Cancel keeps the program open with its changes and writes nothing; Overwrite writes.
TEST_F(StartupTest, SavingOnQuitAsksBeforeOverwritingAChangeByAnotherProgram) {
    ASSERT_TRUE(Write("palette.pal", Bytes(192)));
    ASSERT_TRUE(Write("game.nes", testsupport::Image(*testsupport::RomBuilder().Build())));
    answer = dir.filePath("game.nes");
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create());
    RomImage.WriteByte(0x3000, 9);
    const Bytes theirs(RomFileSize, 4);
    ASSERT_TRUE(Write("game.nes", theirs));
    app::Answer onChange = app::Answer::Cancel;
    std::vector<std::string> asked;
    app::SetAskFunction([&](const QString& text, const std::vector<app::Answer>& buttons) {
        asked.push_back(text.toStdString());
        return buttons.front() == app::Answer::Save ? app::Answer::Save : onChange;
    });
    const std::string quit = "Save the changes to game.nes before quitting?";
    const std::string changed = "\"game.nes\" was changed by another program since it was opened "
                                "or last saved. Overwrite it with the changes made here?";
    QTest::keyClick(&dlg, Qt::Key_Return);
    EXPECT_FALSE(dlg.Ended());
    EXPECT_EQ(testsupport::ReadBytes(answer->toStdString()), theirs);
    onChange = app::Answer::Overwrite;
    QTest::keyClick(&dlg, Qt::Key_Return);
    EXPECT_TRUE(dlg.Ended());
    EXPECT_EQ(testsupport::ReadBytes(answer->toStdString()), testsupport::Image(RomImage));
    EXPECT_EQ(asked, (std::vector{quit, changed, quit, changed}));
}

} // namespace
