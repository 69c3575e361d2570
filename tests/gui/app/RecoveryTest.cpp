// The recovery file as the editor keeps it: when it is written and removed, and what
// opening a ROM with one left behind by a crash does.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "app/EditorApp.h"
#include "app/MainDlg.h"
#include "app/Platform.h"
#include "app/RecoveryKeeper.h"
#include "app/Termination.h"
#include "formats/Recovery.h"
#include "mapeditor/MapsDlg.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/MapGrids.h"
#include "tests/support/RomBuilder.h"
#include "tiles/TileModel.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Log = std::vector<std::string>;

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

TEST(RecoveryKeeper, WrittenWithinTheDelayEvenDuringAStrokeAndGoneWhenNothingIsUnsaved) {
    QTemporaryDir dir;
    auto rom = testsupport::RomBuilder().Map(0, testsupport::RandomGrid(3)).Build();
    ASSERT_TRUE(dir.isValid() && rom != nullptr);
    rom->RomPath = dir.filePath("game.nes").toStdString();
    ASSERT_TRUE(rom->SaveRomFile());
    const std::string file = dir.filePath("state/r/x.recovery").toStdString();
    app::RecoveryKeeper keeper(*rom, file, 100);
    edit::MapDocument doc(*rom, 0);
    keeper.Attach(doc);

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
    QTest::qWait(150);
    keeper.Flush();
    formats::Recovery kept = Read(file);
    EXPECT_EQ(kept.RomPath, rom->RomPath);
    EXPECT_EQ(kept.Stamp, rom->Stamp);
    EXPECT_EQ(kept.MapId, 0);
    EXPECT_EQ(kept.Grid, Bytes(doc.MapGrid().begin(), doc.MapGrid().end()));
    EXPECT_EQ(kept.Image, WholeImage(*rom));

    // Stored: the image holds it, no grid is kept. Saved: the file goes at once.
    ASSERT_EQ(doc.Store().status, worldmap::StoreStatus::Stored);
    QTest::qWait(150);
    keeper.Flush();
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
    QTest::qWait(150);
    keeper.Flush();
    EXPECT_EQ(Read(file).Image, WholeImage(*edited));
    doc.ApplyTiles(*original);
    QTest::qWait(150);
    keeper.Flush();
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
}

// The program's own start and end, with a recovery file where a crash would leave it.
class RecoveryStartup : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir::setCurrent(dir.path());
        qputenv("XDG_STATE_HOME", dir.filePath("state").toUtf8());
        app::SetRecoveryDelay(20);
        RomImage = CRomImage();
        app::SetMessageBoxFunction([this](const QString& text, const QString& detail) {
            log.push_back("message " + text.toStdString() + " | " + detail.toStdString());
        });
        app::SetOpenFileFunction([this] { return std::optional(dir.filePath("game.nes")); });
        app::SetAskFunction([this](const QString& text, const std::vector<app::Answer>& buttons) {
            log.push_back("ask " + text.toStdString());
            if (text.contains("Recover them?")) {
                EXPECT_EQ(buttons, (std::vector{app::Answer::Recover, app::Answer::Discard}));
            }
            EXPECT_FALSE(answers.empty());
            const app::Answer a = answers.empty() ? app::Answer::Cancel : answers.front();
            answers.erase(answers.begin(), answers.begin() + (answers.empty() ? 0 : 1));
            return a;
        });
        ASSERT_TRUE(testsupport::WriteFile(dir.filePath("palette.pal").toStdString(), Bytes(192)));
        rom = testsupport::RomBuilder()
                  .Map(0, testsupport::RandomGrid(5))
                  .Map(1, testsupport::StripedGrid(2))
                  .Build();
        ASSERT_NE(rom, nullptr);
        ASSERT_TRUE(testsupport::WriteFile(romPath, testsupport::Image(*rom)));
        file = formats::RecoveryFileFor(formats::RecoveryFolder(), romPath);
    }
    void TearDown() override {
        app::SetMessageBoxFunction(app::MessageBoxFunction{});
        app::SetOpenFileFunction({});
        app::SetAskFunction({});
        app::SetRecoveryDelay(app::RecoveryKeeper::DefaultDelayMs);
        qputenv("XDG_STATE_HOME", oldState);
        QDir::setCurrent(oldCwd);
    }
    // A recovery file as an earlier run over the file as it is now would have left.
    void LeaveRecovery(const Bytes& image, int mapId, const worldmap::Grid& grid) {
        formats::Recovery r;
        r.RomPath = romPath;
        std::string error;
        ASSERT_TRUE(StampFile(romPath, r.Stamp, error));
        r.EditedMs = 1765100000000;
        r.Image = image;
        r.MapId = mapId;
        r.Grid.assign(grid.begin(), grid.end());
        ASSERT_TRUE(formats::MakeRecoveryFolder(formats::RecoveryFolder()).Ok());
        ASSERT_TRUE(formats::WriteRecovery(file, r).Ok());
    }
    // Every file in the recovery folder.
    QStringList Kept() const {
        return QDir(QString::fromStdString(formats::RecoveryFolder())).entryList(QDir::Files);
    }

    QTemporaryDir dir;
    const QString oldCwd = QDir::currentPath();
    const QByteArray oldState = qgetenv("XDG_STATE_HOME");
    const std::string romPath = dir.filePath("game.nes").toStdString();
    std::unique_ptr<CRomImage> rom;
    std::string file;
    Log log;
    std::vector<app::Answer> answers;
};

// Paints map 0, changes to map 1 (storing map 0 in memory), paints map 1, and "crashes":
// the recovery file of that moment comes back with Recover and goes with Save.
TEST_F(RecoveryStartup, RecoverBringsBackTheImageAndTheGridExactly) {
    worldmap::Grid painted{};
    Bytes storedImage, crashFile;
    {
        CMainDlg dlg;
        ASSERT_TRUE(dlg.Create());
        EXPECT_TRUE(log.empty());
        answers = {app::Answer::Discard}; // "Discard the edits to ..." when the window closes
        EXPECT_TRUE(
            ModalOpens([&] { QTest::mouseClick(dlg.GetDlgItem(IDC_MAPS), Qt::LeftButton); },
                       [&](QWidget* w) {
                           edit::MapDocument& doc = qobject_cast<CMapsDlg*>(w)->Document();
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
        // The window is gone without a normal end: the file of the crash is what is left.
    }
    ASSERT_FALSE(crashFile.empty());
    ASSERT_TRUE(testsupport::WriteFile(file, crashFile));
    RomImage = CRomImage();
    log.clear();
    answers = {app::Answer::Recover};
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create());
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("ask game.nes has changes made on ", 0), 0u) << log[0];
    EXPECT_EQ(WholeImage(RomImage), storedImage);
    EXPECT_TRUE(RomImage.DiffersFromFile());
    EXPECT_EQ(testsupport::ReadBytes(romPath), testsupport::Image(*rom)); // nothing written

    // "Maps" opens on map 1 with the painted grid as edits not yet stored; stored there, it
    // is written by Save at Quit.
    EXPECT_TRUE(ModalOpens([&] { QTest::mouseClick(dlg.GetDlgItem(IDC_MAPS), Qt::LeftButton); },
                           [&](QWidget* w) {
                               auto* maps = qobject_cast<CMapsDlg*>(w);
                               EXPECT_EQ(maps->GetCurSel(CMapsDlg::IdcMapList), 1);
                               EXPECT_EQ(maps->MapGrid(), painted);
                               EXPECT_TRUE(maps->Document().GridDiffersFromStore());
                               EXPECT_TRUE(maps->StoreWorldMap());
                           }));
    answers = {app::Answer::Save};
    QTest::keyClick(&dlg, Qt::Key_Return);
    ASSERT_TRUE(dlg.Ended());
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
        RomImage = CRomImage();
        log.clear();
        answers = {app::Answer::Recover, quit};
        CMainDlg dlg;
        ASSERT_TRUE(dlg.Create());
        EXPECT_TRUE(QString::fromStdString(log[0]).contains(
            QDateTime::fromMSecsSinceEpoch(1765100000000).toString("yyyy-MM-dd HH:mm:ss")));
        EXPECT_FALSE(RomImage.DiffersFromFile());
        QTest::keyClick(&dlg, Qt::Key_Escape);
        ASSERT_TRUE(dlg.Ended());
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
                      "are not kept for recovery after a crash; save them often. | ");
    EXPECT_EQ(testsupport::ReadBytes(file), kept);
}

TEST_F(RecoveryStartup, DiscardDeletesEscKeepsAndAMismatchIsSetAsideAndToldOnce) {
    Bytes changed = testsupport::Image(*rom);
    changed[0x5000] ^= 0xFF;
    const worldmap::Grid grid = testsupport::Filled(4);
    for (const app::Answer answer : {app::Answer::Cancel, app::Answer::Discard}) {
        SCOPED_TRACE(static_cast<int>(answer));
        LeaveRecovery(changed, 2, grid);
        RomImage = CRomImage();
        answers = {answer};
        CMainDlg dlg;
        ASSERT_TRUE(dlg.Create());
        EXPECT_EQ(testsupport::Image(RomImage), testsupport::Image(*rom)); // as on disk
        EXPECT_EQ(Exists(file), answer == app::Answer::Cancel);
    }
    EXPECT_EQ(Kept().size(), 0);

    // The file changed since the edits: no question, the edits set aside, the user told
    // where; the next start finds nothing to say. A damaged file goes the same way.
    for (const bool damaged : {false, true}) {
        LeaveRecovery(changed, -1, grid);
        if (damaged) {
            Bytes bytes = testsupport::ReadBytes(file);
            bytes.resize(bytes.size() / 2);
            ASSERT_TRUE(testsupport::WriteFile(file, bytes));
        } else {
            Bytes other = testsupport::Image(*rom);
            other[0x6000] ^= 1;
            ASSERT_TRUE(testsupport::WriteFile(romPath, other));
        }
        for (int start = 0; start < 2; ++start) {
            RomImage = CRomImage();
            log.clear();
            CMainDlg dlg;
            ASSERT_TRUE(dlg.Create());
            if (start == 0) {
                ASSERT_EQ(log.size(), 1u);
                const QString aside = Kept().filter(".stale-").value(damaged ? 1 : 0);
                EXPECT_TRUE(QString::fromStdString(log[0]).contains(aside)) << log[0];
                EXPECT_TRUE(log[0].find(damaged ? "could not be read" : "no longer match") !=
                            std::string::npos)
                    << log[0];
            } else {
                EXPECT_TRUE(log.empty());
            }
        }
        EXPECT_FALSE(Exists(file));
    }
    EXPECT_EQ(Kept().size(), 2);

    // After Esc, the file left is set aside before this session's first one is written.
    LeaveRecovery(changed, 2, grid);
    RomImage = CRomImage();
    answers = {app::Answer::Cancel, app::Answer::Discard};
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_TRUE(ModalOpens([&] { QTest::mouseClick(dlg.GetDlgItem(IDC_MAPS), Qt::LeftButton); },
                           [&](QWidget* w) {
                               edit::MapDocument& doc = qobject_cast<CMapsDlg*>(w)->Document();
                               doc.SetCell({0, 0}, static_cast<uint8_t>(doc.At({0, 0}) ^ 1));
                               EXPECT_TRUE(QTest::qWaitFor([&] { return Kept().size() == 4; }));
                           }));
    formats::Recovery aside;
    const QString folder = QString::fromStdString(formats::RecoveryFolder()) + "/";
    ASSERT_TRUE(
        formats::ReadRecovery((folder + Kept().filter(".stale-").last()).toStdString(), aside)
            .Ok());
    EXPECT_EQ(aside.Image, changed);
}

} // namespace
