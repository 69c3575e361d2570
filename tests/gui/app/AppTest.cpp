#include <QDateTime>
#include <QDir>
#include <QFile>
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
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
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
#include "app/RecoveryKeeper.h"
#include "app/Termination.h"
#include "enemies/EnemiesDlg.h"
#include "formats/Recovery.h"
#include "mapeditor/MapsDlg.h"
#include "rom/RomImage.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/MapGrids.h"
#include "tests/support/RomBuilder.h"
#include "tiles/TileModel.h"

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
            if (text.contains("before quitting?")) {
                EXPECT_EQ(buttons, (std::vector{app::Answer::Save, app::Answer::Discard,
                                                app::Answer::Cancel}));
            } else if (text.contains("Recover them?")) {
                EXPECT_EQ(buttons, (std::vector{app::Answer::Recover, app::Answer::Discard}));
            }
            if (answers.empty()) {
                return quitAnswer;
            }
            const app::Answer next = answers.front();
            answers.erase(answers.begin());
            return next;
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
    std::vector<app::Answer> answers; // answered first, in turn, before quitAnswer
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
// waiting for a writer (a hang is the fault; the test has a time limit).
TEST_F(StartupTest, APipeNamedPalettePalIsPassedOverWithoutWaiting) {
    ASSERT_EQ(::mkfifo(dir.filePath("palette.pal").toLocal8Bit().constData(), 0600), 0);
    EXPECT_FALSE(theApp.InitInstance());
    EXPECT_EQ(log,
              (Log{"message Error opening \"palette.pal\"\nImages will not display.", "open"}));
}

// What the command line asks for: --help and --version win over anything else before "--", at
// most one ROM, and an unknown option or a second ROM is a usage error (its exact words and
// the version's: the test of the program below).
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
    const std::string more = "; atlasforge --help tells more\n";
    const Case cases[] = {
        {{"--help"}, false, 0, "Usage: atlasforge [OPTION] [ROM]\n", ""},
        {{"x.nes", "--version"}, false, 0, "atlasforge 1.0\n", ""},
        {{"a.nes", "b.nes"},
         false,
         2,
         "",
         "atlasforge: one ROM at a time (a.nes and b.nes given)" + more},
        {{"--bogus"}, true, 2, "", "atlasforge: unknown option --bogus" + more},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        c.display ? env.insert("QT_QPA_PLATFORM", "offscreen") : env.remove("QT_QPA_PLATFORM");
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
    const std::string quit = "ask Save the changes to game.nes before quitting?";
    const std::string changed = "ask \"game.nes\" was changed by another program since it was "
                                "opened or last saved. Overwrite it with the changes made here?";
    log.clear();
    answers = {app::Answer::Save, app::Answer::Cancel, app::Answer::Save, app::Answer::Overwrite};
    QTest::keyClick(&dlg, Qt::Key_Return);
    EXPECT_FALSE(dlg.Ended());
    EXPECT_EQ(testsupport::ReadBytes(answer->toStdString()), theirs);
    QTest::keyClick(&dlg, Qt::Key_Return);
    EXPECT_TRUE(dlg.Ended());
    EXPECT_EQ(testsupport::ReadBytes(answer->toStdString()), testsupport::Image(RomImage));
    EXPECT_EQ(log, (Log{quit, changed, quit, changed}));
}

// ----- The recovery file -----

bool Exists(const std::string& path) {
    return QFile::exists(QString::fromStdString(path));
}

formats::Recovery Read(const std::string& path) {
    formats::Recovery r;
    EXPECT_TRUE(formats::ReadRecovery(path, r).Ok());
    return r;
}

Bytes WholeImage(const CRomImage& rom) {
    Bytes bytes = testsupport::Image(rom);
    bytes.insert(bytes.end(), rom.TailBytes.begin(), rom.TailBytes.end());
    return bytes;
}

// The program's own start and end, with a recovery file where a crash would leave it.
class RecoveryStartup : public StartupTest {
  protected:
    void SetUp() override {
        StartupTest::SetUp();
        qputenv("XDG_STATE_HOME", dir.filePath("state").toUtf8());
        app::SetRecoveryDelay(20);
        ASSERT_TRUE(Write("palette.pal", Bytes(192)));
        rom = testsupport::RomBuilder()
                  .Map(0, testsupport::RandomGrid(5))
                  .Map(1, testsupport::StripedGrid(2))
                  .Build();
        ASSERT_NE(rom, nullptr);
        ASSERT_TRUE(testsupport::WriteFile(romPath, testsupport::Image(*rom)));
        file = formats::RecoveryFileFor(formats::RecoveryFolder(), romPath);
        answer = dir.filePath("game.nes");
        app::SetOpenFileFunction([this] { return answer; }); // opened quietly
    }
    void TearDown() override {
        app::SetRecoveryDelay(app::RecoveryKeeper::DefaultDelayMs);
        qputenv("XDG_STATE_HOME", oldState);
        StartupTest::TearDown();
    }
    // A recovery file as an earlier run over the file as it is now would have left.
    void LeaveRecovery(const Bytes& image, int mapId, const worldmap::Grid& grid) {
        formats::Recovery r{romPath, {}, 1765100000000, image, mapId, {grid.begin(), grid.end()}};
        std::string error;
        ASSERT_TRUE(StampFile(romPath, r.Stamp, error));
        ASSERT_TRUE(formats::MakeRecoveryFolder(formats::RecoveryFolder()).Ok());
        ASSERT_TRUE(formats::WriteRecovery(file, r).Ok());
    }
    // Every file in the recovery folder.
    QStringList Kept() const {
        return QDir(QString::fromStdString(formats::RecoveryFolder())).entryList(QDir::Files);
    }
    // A fresh start of the program over the ROM, `given` answering its questions in turn.
    std::unique_ptr<CMainDlg> Start(std::vector<app::Answer> given) {
        RomImage = CRomImage();
        log.clear();
        details.clear();
        answers = std::move(given);
        auto dlg = std::make_unique<CMainDlg>();
        EXPECT_TRUE(dlg->Create());
        return dlg;
    }
    // Runs `check` inside the map editor that the window's "Maps" opens.
    static bool InMaps(CMainDlg& dlg, const std::function<void(edit::MapDocument&)>& check) {
        return ModalOpens([&] { QTest::mouseClick(dlg.GetDlgItem(IDC_MAPS), Qt::LeftButton); },
                          [&](QWidget* w) { check(qobject_cast<CMapsDlg*>(w)->Document()); });
    }

    const QByteArray oldState = qgetenv("XDG_STATE_HOME");
    const std::string romPath = dir.filePath("game.nes").toStdString();
    std::unique_ptr<CRomImage> rom;
    std::string file;
};

// The keeper on its own, over the fixture's ROM and recovery file (its folder not made yet).
using RecoveryKeeper = RecoveryStartup;

TEST_F(RecoveryKeeper, WrittenWithinTheDelayEvenDuringAStrokeAndGoneWhenNothingIsUnsaved) {
    ASSERT_TRUE(rom->LoadRomFile(romPath));
    app::RecoveryKeeper keeper(*rom, file, 100);
    edit::MapDocument doc(*rom, 0);
    keeper.Attach(doc);
    // Past the delay, and whatever the timer still holds written out.
    const auto settle = [&keeper] {
        QTest::qWait(150);
        keeper.Flush();
    };

    QTest::qWait(250);
    EXPECT_FALSE(Exists(file)); // nothing unsaved, nothing written

    // A stroke that goes on past several delays is kept while it goes on.
    doc.SetSelectedTile(doc.At({0, 0}) ^ 1);
    bool keptMidStroke = false;
    for (int step = 0; step < 60 && !keptMidStroke; ++step) {
        doc.PaintTo({step, step});
        QTest::qWait(10);
        keptMidStroke = Exists(file);
    }
    EXPECT_TRUE(keptMidStroke);
    doc.EndStroke();
    const qint64 strokeEnded = QDateTime::currentMSecsSinceEpoch();
    settle();
    keeper.WriteNow(); // written again later: it still says when the edits were made
    formats::Recovery kept = Read(file);
    EXPECT_LE(kept.EditedMs, strokeEnded);
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(kept.RomPath, rom->RomPath);
    EXPECT_EQ(kept.Stamp, rom->Stamp);
    EXPECT_EQ(kept.MapId, 0);
    EXPECT_EQ(kept.Grid, Bytes(doc.MapGrid().begin(), doc.MapGrid().end()));
    EXPECT_EQ(kept.Image, WholeImage(*rom));

    // Stored: the image holds it, no grid is kept. Saved: the file goes at once.
    ASSERT_EQ(doc.Store().status, worldmap::StoreStatus::Stored);
    settle();
    kept = Read(file);
    EXPECT_EQ(kept.MapId, -1);
    EXPECT_EQ(kept.Image, WholeImage(*rom));
    ASSERT_TRUE(doc.SaveFile());
    keeper.Flush();
    EXPECT_FALSE(Exists(file));

    // Tile changes reach the image through the document and are kept too; taking them back
    // leaves nothing unsaved, and the file goes.
    const auto original = std::make_unique<CRomImage>(*rom);
    auto edited = std::make_unique<CRomImage>(*rom);
    const uint32_t entry = tiles::PaletteBytes.begin;
    edited->RomBytes[entry] = static_cast<uint8_t>((edited->RomBytes[entry] + 1) & 0x3F);
    ASSERT_TRUE(doc.ApplyTiles(*edited)[0].any());
    settle();
    EXPECT_EQ(Read(file).Image, WholeImage(*edited));
    doc.ApplyTiles(*original);
    settle();
    EXPECT_FALSE(Exists(file));
    keeper.Detach(doc);

    // A terminating signal's steps write at once, whatever the delay.
    app::RecoveryKeeper slow(*rom, file, 60000);
    slow.Attach(doc);
    doc.SetCell({9, 9}, static_cast<uint8_t>(doc.At({9, 9}) ^ 1));
    app::RunTerminationSteps();
    EXPECT_EQ(Read(file).Grid, Bytes(doc.MapGrid().begin(), doc.MapGrid().end()));
    // Nor do they drop a removal that waits behind a write (a signal just after a Save).
    ASSERT_EQ(doc.Store().status, worldmap::StoreStatus::Stored);
    slow.Detach(doc); // the stored map is written
    rom->MarkInFile();
    slow.Saved(); // nothing unsaved: the file is to go
    app::RunTerminationSteps();
    EXPECT_FALSE(Exists(file));

    // A file that cannot be written is told once, not at every interval.
    ASSERT_TRUE(Write("blocked", Bytes(1)));
    app::RecoveryKeeper failing(*rom, dir.filePath("blocked/x.recovery").toStdString(), 10);
    failing.Attach(doc);
    log.clear();
    for (int i = 0; i < 3; ++i) {
        doc.SetCell({1, 1}, static_cast<uint8_t>(doc.At({1, 1}) ^ 1));
        QTest::qWait(30);
        failing.Flush();
    }
    QTest::qWait(10);
    EXPECT_EQ(log, Log{"message Edits are not being kept for recovery after a crash; save them "
                       "often."});
    failing.Detach(doc);
}

// Paints map 0, changes to map 1 (storing map 0 in memory), paints map 1, and "crashes":
// the recovery file of that moment comes back with Recover and goes with Save.
TEST_F(RecoveryStartup, RecoverBringsBackTheImageAndTheGridExactly) {
    worldmap::Grid painted{};
    Bytes storedImage, crashFile;
    auto dlg = Start({app::Answer::Discard}); // "Discard the edits to ..." when it closes
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(InMaps(*dlg, [&](edit::MapDocument& doc) {
        doc.SetCell({1, 2}, static_cast<uint8_t>(doc.At({1, 2}) ^ 1));
        ASSERT_EQ(doc.Store().status, worldmap::StoreStatus::Stored);
        storedImage = WholeImage(RomImage);
        doc.Load(1);
        doc.SetCell({200, 100}, static_cast<uint8_t>(doc.At({200, 100}) ^ 3));
        painted = doc.MapGrid();
        EXPECT_TRUE(QTest::qWaitFor([&] {
            formats::Recovery r;
            return formats::ReadRecovery(file, r).Ok() && r.MapId == 1 &&
                   r.Grid == Bytes(painted.begin(), painted.end());
        }));
        crashFile = testsupport::ReadBytes(file);
    }));
    dlg.reset(); // gone without a normal end: the file of the crash is what is left
    ASSERT_FALSE(crashFile.empty());
    ASSERT_TRUE(testsupport::WriteFile(file, crashFile));
    dlg = Start({app::Answer::Recover});
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("ask game.nes has changes made on ", 0), 0u) << log[0];
    EXPECT_EQ(WholeImage(RomImage), storedImage);
    EXPECT_TRUE(RomImage.DiffersFromFile());
    EXPECT_EQ(testsupport::ReadBytes(romPath), testsupport::Image(*rom)); // nothing written

    // "Maps" opens on map 1 with the painted grid as edits not yet stored; stored there, it
    // is written by Save at Quit.
    EXPECT_TRUE(ModalOpens([&] { QTest::mouseClick(dlg->GetDlgItem(IDC_MAPS), Qt::LeftButton); },
                           [&](QWidget* w) {
                               auto* maps = qobject_cast<CMapsDlg*>(w);
                               EXPECT_EQ(maps->GetCurSel(CMapsDlg::IdcMapList), 1);
                               EXPECT_EQ(maps->MapGrid(), painted);
                               EXPECT_TRUE(maps->Document().GridDiffersFromStore());
                               EXPECT_TRUE(maps->StoreWorldMap());
                           }));
    answers = {app::Answer::Save};
    QTest::keyClick(dlg.get(), Qt::Key_Return);
    ASSERT_TRUE(dlg->Ended());
    EXPECT_EQ(log.back(), "ask Save the changes to game.nes before quitting?");
    EXPECT_FALSE(Exists(file));
    auto expected = std::make_unique<CRomImage>(*rom);
    std::copy(storedImage.begin(), storedImage.begin() + RomFileSize, expected->RomBytes);
    ASSERT_EQ(worldmap::StoreWorldMapReport(*expected, 1, painted).status,
              worldmap::StoreStatus::Stored);
    EXPECT_EQ(testsupport::ReadBytes(romPath), testsupport::Image(*expected));
}

// Edits recovered in a grid only, with "Maps" never opened: Quit still asks; Save stores
// and writes them, Discard drops them, and either way the recovery file goes.
TEST_F(RecoveryStartup, QuitAsksAboutARecoveredGridTheMapEditorNeverTook) {
    worldmap::Grid grid = testsupport::StripedGrid(2);
    grid[300] ^= 1;
    for (const app::Answer quit : {app::Answer::Discard, app::Answer::Save}) {
        LeaveRecovery(testsupport::Image(*rom), 1, grid);
        auto dlg = Start({app::Answer::Recover, quit});
        EXPECT_TRUE(QString::fromStdString(log[0]).contains(
            QDateTime::fromMSecsSinceEpoch(1765100000000).toString("yyyy-MM-dd HH:mm:ss")));
        EXPECT_FALSE(RomImage.DiffersFromFile());
        QTest::keyClick(dlg.get(), Qt::Key_Escape);
        ASSERT_TRUE(dlg->Ended());
        EXPECT_EQ(log.back(), "ask Save the changes to game.nes before quitting?");
        EXPECT_FALSE(Exists(file));
        auto expected = std::make_unique<CRomImage>(*rom);
        if (quit == app::Answer::Save) {
            ASSERT_EQ(worldmap::StoreWorldMapReport(*expected, 1, grid).status,
                      worldmap::StoreStatus::Stored);
        }
        EXPECT_EQ(testsupport::ReadBytes(romPath), testsupport::Image(*expected));
    }
}

// A second editor on the same ROM neither offers the first one's live edits as a crash's
// nor touches its file.
TEST_F(RecoveryStartup, ASecondEditorOnTheRomLeavesTheFirstOnesFileAlone) {
    LeaveRecovery(testsupport::Image(*rom), 1, testsupport::StripedGrid(2));
    const Bytes kept = testsupport::ReadBytes(file);
    ASSERT_TRUE(RomImage.LoadRomFile(romPath));
    answers = {app::Answer::Cancel};
    const auto first = app::StartRecovery(RomImage);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(app::StartRecovery(RomImage), nullptr);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1], "message game.nes is open in another Atlasforge as well. Edits made here "
                      "are not kept for recovery after a crash; save them often.");
    EXPECT_EQ(testsupport::ReadBytes(file), kept);
}

TEST_F(RecoveryStartup, DiscardDeletesEscKeepsAndAMismatchIsSetAsideAndToldOnce) {
    Bytes changed = testsupport::Image(*rom);
    changed[0x5000] ^= 0xFF;
    const worldmap::Grid grid = testsupport::Filled(4);
    for (const app::Answer answer : {app::Answer::Cancel, app::Answer::Discard}) {
        SCOPED_TRACE(static_cast<int>(answer));
        LeaveRecovery(changed, 2, grid);
        const auto dlg = Start({answer});
        EXPECT_EQ(testsupport::Image(RomImage), testsupport::Image(*rom)); // as on disk
        EXPECT_EQ(Exists(file), answer == app::Answer::Cancel);
    }
    EXPECT_EQ(Kept().size(), 0);

    // The file changed since the edits: no question, the edits set aside, the user told
    // where; the next start finds nothing to say. A damaged file goes the same way.
    for (const bool damaged : {false, true}) {
        LeaveRecovery(changed, -1, grid);
        const std::string& victim = damaged ? file : romPath; // cut short, or one byte changed
        Bytes bytes = testsupport::ReadBytes(victim);
        damaged ? bytes.resize(bytes.size() / 2) : void(bytes[0x6000] ^= 1);
        ASSERT_TRUE(testsupport::WriteFile(victim, bytes));
        Start({});
        ASSERT_EQ(details.size(), 1);
        const QString told = QString::fromStdString(log[0]) + " | " + details[0];
        EXPECT_TRUE(told.contains(Kept().filter(".stale-").value(damaged ? 1 : 0)));
        EXPECT_TRUE(told.contains(damaged ? "could not be read" : "no longer match"))
            << told.toStdString();
        Start({});
        EXPECT_TRUE(log.empty());
        EXPECT_FALSE(Exists(file));
    }
    EXPECT_EQ(Kept().size(), 2);

    // After Esc, the file left is set aside before this session's first one is written.
    LeaveRecovery(changed, 2, grid);
    auto dlg = Start({app::Answer::Cancel, app::Answer::Discard});
    EXPECT_TRUE(InMaps(*dlg, [&](edit::MapDocument& doc) {
        doc.SetCell({0, 0}, static_cast<uint8_t>(doc.At({0, 0}) ^ 1));
        EXPECT_TRUE(QTest::qWaitFor([&] { return Kept().size() == 4; }));
    }));
    const QString folder = QString::fromStdString(formats::RecoveryFolder()) + "/";
    EXPECT_EQ(Read((folder + Kept().filter(".stale-").last()).toStdString()).Image, changed);
}

} // namespace
