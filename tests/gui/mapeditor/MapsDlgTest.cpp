#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>
#include <array>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

#include "app/Emulator.h"
#include "app/Platform.h"
#include "mapeditor/BudgetView.h"
#include "mapeditor/MapsDlg.h"
#include "mapeditor/WorldDlg.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/MapGrids.h"
#include "tests/support/RomBuilder.h"

namespace {

using testsupport::Decode;
using testsupport::Image;
using testsupport::RomBuilder;
using Bytes = std::vector<uint8_t>;
using Grid = std::array<uint8_t, worldmap::GridSize>;

// Varied maps and random tile graphics over 64 distinct colours, so that tiles look apart.
std::unique_ptr<CRomImage> GraphicsRom() {
    return RomBuilder()
        .Map(0, testsupport::RandomGrid(7))
        .Map(1, testsupport::StripedGrid(3))
        .NoiseGraphics(12345)
        .Build();
}

class MapsDlgTest : public ::testing::Test {
  protected:
    static QPoint ViewCell(int vx, int vy) { return {163 + 16 * vx + 8, 30 + 16 * vy + 8}; }
    static QPoint ChooserTile(int t) { return {465 + 16 * (t % 16) + 8, 158 + 16 * (t / 16) + 8}; }
    static QPoint MinimapPixel(int mx, int my) { return {458 + mx, 12 + my}; }
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        app::SetMessageBoxFunction([this](const QString& text, const QString& detail) {
            messages << text;
            details << detail;
        });
        app::SetAskFunction([this](const QString& text, const std::vector<app::Answer>& buttons) {
            questions << text;
            EXPECT_EQ(buttons, (std::vector{app::Answer::Discard, app::Answer::Cancel}));
            return answer;
        });
    }
    void TearDown() override {
        app::SetMessageBoxFunction(app::MessageBoxFunction{});
        app::SetAskFunction({});
    }

    // Writes the image to a file of its own and opens the editor on it.
    void Open(std::unique_ptr<CRomImage> image) {
        ASSERT_NE(image, nullptr);
        rom = std::move(image);
        rom->RomPath = dir.filePath("map.nes").toStdString();
        ASSERT_TRUE(rom->SaveRomFile());
        dlg = std::make_unique<CMapsDlg>();
        dlg->RomPtr = rom.get();
        ASSERT_TRUE(dlg->Create());
        original = dlg->MapGrid();
    }

    // As the window system delivers the mouse: a press to the control under the point, if
    // any; moves and the release to the window that saw the press.
    void Send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QWidget* child = type == QEvent::MouseButtonPress ? dlg->childAt(at) : nullptr;
        QWidget* target = child != nullptr ? child : dlg.get();
        const QPoint local = target->mapFrom(dlg.get(), at);
        QMouseEvent event(type, local, target->mapToGlobal(local), button, held, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
    void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        Send(QEvent::MouseButtonPress, at, button, button);
    }
    void Drag(QPoint at, Qt::MouseButtons held = Qt::LeftButton) {
        Send(QEvent::MouseMove, at, Qt::NoButton, held);
    }
    void Release(QPoint at) { Send(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton); }
    void PaintAt(QPoint at) { Press(at), Release(at); }
    void Wheel(QPoint at, int angle, Qt::KeyboardModifiers mods = {}, Qt::MouseButtons held = {}) {
        QWheelEvent event(at, dlg->mapToGlobal(at), QPoint(), QPoint(0, angle), held, mods,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(dlg.get(), &event);
    }
    void Click(int id) { QTest::mouseClick(dlg->GetDlgItem(id), Qt::LeftButton); }
    void PickMap(int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QListWidget* list = dlg->MapListBox;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods,
                          list->visualItemRect(list->item(row)).center());
    }
    int At(int x, int y) const { return dlg->MapGrid()[static_cast<std::size_t>(y * 256 + x)]; }
    // Keys reach the list, which has the focus, and pass on to the window.
    void Key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::ControlModifier) {
        QApplication::setActiveWindow(dlg.get()); // shortcuts reach the active window only
        QTest::keyClick(dlg->MapListBox, k, mods);
    }
    Bytes FileBytes() const { return testsupport::ReadBytes(rom->RomPath); }
    // The map cell at the view's top left; the scroll bars must agree with it.
    QPoint View() const {
        EXPECT_EQ(dlg->HorzScrollBar->value(), dlg->ScrollX);
        EXPECT_EQ(dlg->VertScrollBar->value(), dlg->ScrollY);
        return {dlg->ScrollX, dlg->ScrollY};
    }
    QImage Shot() const { return dlg->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // The minimap as the core computes it for the grid on screen.
    gfx::MinimapBuffer ExpectedMinimap() const {
        auto tiles = std::make_unique<gfx::MetatilePixels>();
        gfx::RenderMetatileSet(*rom, dlg->WorldMapId(), *tiles);
        auto want = std::make_unique<gfx::MinimapBuffer>();
        gfx::RenderMinimap(dlg->MapGrid(), gfx::AverageTileColours(*tiles), *want);
        return *want;
    }
    QString BudgetWanted() const {
        const worldmap::StoreReport r =
            worldmap::MeasureStore(*rom, dlg->WorldMapId(), dlg->MapGrid());
        return QString("Needs %1 of %2").arg(r.newSize).arg(r.available);
    }
    bool BudgetRed() const {
        return dlg->BudgetText->palette().color(QPalette::WindowText) ==
               mapeditor::OverBudgetColour;
    }

    QTemporaryDir dir;
    QStringList messages, details, questions;
    app::Answer answer = app::Answer::Cancel;
    std::unique_ptr<CRomImage> rom;
    std::unique_ptr<CMapsDlg> dlg;
    Grid original{}; // the map as opened
};

// The view, the chooser (the tile to paint with outlined) and the minimap show the core's
// pictures; the minimap has the view's 8 by 8 outline over it.
TEST_F(MapsDlgTest, DrawsWhatTheCoreDraws) {
    Open(GraphicsRom());
    EXPECT_EQ(dlg->MapGrid(), Decode(*rom, 0));
    Press({465 + 16 * 3 + 5, 158 + 16 * 2 + 9});
    EXPECT_EQ(dlg->SelectedTile(), 35);
    dlg->SetScroll(31, 100);
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(*rom, 0, *tiles);
    const QImage shot = Shot();
    auto expectTile = [&](int tile, int left, int top, bool outlined) {
        QImage want(16, 16, QImage::Format_RGB32);
        for (int i = 0; i < 256; ++i) {
            const uint32_t bgr = (*tiles)[tile][i];
            const bool border = i < 16 || i >= 240 || i % 16 == 0 || i % 16 == 15;
            want.setPixel(i % 16, i / 16,
                          outlined && border ? qRgb(255, 0, 0)
                                             : qRgb(bgr & 0xFF, bgr >> 8 & 0xFF, bgr >> 16 & 0xFF));
        }
        EXPECT_EQ(shot.copy(left, top, 16, 16), want) << "tile " << tile;
    };
    expectTile(At(31, 100), 163, 30, false);
    expectTile(At(46, 115), 163 + 240, 30 + 240, false);
    expectTile(35, 465 + 48, 158 + 32, true);
    expectTile(127, 465 + 240, 158 + 112, false);
    const gfx::MinimapBuffer minimap = ExpectedMinimap();
    QImage want =
        QImage(reinterpret_cast<const uchar*>(minimap.data()), 128, 128, QImage::Format_RGB32)
            .copy();
    QPainter painter(&want);
    painter.setPen(Qt::red);
    painter.drawRect(15, 50, 7, 7);
    painter.end();
    EXPECT_EQ(shot.copy(458, 12, 128, 128), want);
}

TEST_F(MapsDlgTest, PicksAndPaintsOnlyInsideTheViewAndTheChooser) {
    Open(GraphicsRom());
    Press(ViewCell(4, 9), Qt::RightButton);
    EXPECT_EQ(dlg->SelectedTile(), At(4, 9));
    Press(ChooserTile(77), Qt::RightButton);
    EXPECT_EQ(dlg->SelectedTile(), 77);
    Press({720, 285});
    EXPECT_EQ(dlg->SelectedTile(), 127);
    Press({721, 285});
    Press({720, 286});
    EXPECT_EQ(dlg->SelectedTile(), 127);
    PaintAt({419, 100});
    PaintAt({300, 286});
    EXPECT_EQ(dlg->MapGrid(), original);
    PaintAt({163, 30});
    PaintAt({418, 285});
    EXPECT_EQ(At(0, 0), 127);
    EXPECT_EQ(At(15, 15), 127);
}

// Strokes end with the button, wherever it is released; Ctrl+Z takes back a whole stroke.
TEST_F(MapsDlgTest, StrokesPaintTheCellsTheyCrossAndUndoWhole) {
    Open(GraphicsRom());
    Press(ChooserTile(100));
    Press(ViewCell(1, 1));
    Drag(ViewCell(1, 1) + QPoint(3, 3));
    Drag(ViewCell(2, 1));
    Drag({600, 60}); // out of the view, over the buttons' column
    Drag(ViewCell(3, 1));
    Drag(ViewCell(1, 1)); // back over a painted cell
    Release({-20, 900});  // outside the window, still delivered to it
    Drag(ViewCell(4, 1));
    const Grid first = dlg->MapGrid();
    // A right press ends a stroke, and so does a move with no button held (a release
    // that never arrived).
    Press(ViewCell(5, 5));
    Press({600, 100}, Qt::RightButton);
    Drag(ViewCell(6, 5));
    Press(ViewCell(5, 6));
    Drag(ViewCell(6, 6), Qt::NoButton);
    Drag(ViewCell(7, 6));
    Grid want = original;
    for (int cell : {256 + 1, 256 + 2, 256 + 3, 5 * 256 + 5, 6 * 256 + 5}) {
        want[cell] = 100;
    }
    EXPECT_EQ(dlg->MapGrid(), want);

    Key(Qt::Key_Z), Key(Qt::Key_Z);
    EXPECT_EQ(dlg->MapGrid(), first);
    Key(Qt::Key_Z);
    EXPECT_EQ(dlg->MapGrid(), original);
    Key(Qt::Key_Y);
    EXPECT_EQ(dlg->MapGrid(), first);
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier), Key(Qt::Key_Y);
    EXPECT_EQ(dlg->MapGrid(), want);
}

// Save and Done write what the core's store gives; a failed write is reported and leaves
// the window open with the edits.
TEST_F(MapsDlgTest, SaveAndDoneWriteTheStoredMap) {
    Open(GraphicsRom());
    CRomImage expected = *rom;
    auto store = [&] {
        ASSERT_EQ(worldmap::StoreWorldMapReport(expected, 0, dlg->MapGrid()).status,
                  worldmap::StoreStatus::Stored);
    };
    Press(ChooserTile(100));
    PaintAt(ViewCell(1, 1));
    store();
    Click(CMapsDlg::IdcSave);
    EXPECT_EQ(FileBytes(), Image(expected));
    EXPECT_EQ(dlg->FreeBytesText->text(), QString::number(worldmap::CountFreeBytes(expected)));
    PaintAt(ViewCell(9, 9));
    store();
    const std::string path = rom->RomPath;
    rom->RomPath = dir.filePath("missing/map.nes").toStdString();
    Click(IDOK);
    EXPECT_FALSE(dlg->Ended());
    rom->RomPath = path;
    Click(IDOK);
    EXPECT_EQ(messages, QStringList{"Error!\nCould not save changes to ROM"});
    EXPECT_EQ(details, QStringList{QString("Could not write \"%1\": No such file or directory.")
                                       .arg(dir.filePath("missing/map.nes"))});
    EXPECT_EQ(FileBytes(), Image(expected));
    EXPECT_EQ(dlg->EndResult(), IDOK);
}

// Save notices that another program changed the file since it was opened or saved:
// Cancel writes nothing and keeps the edits, Overwrite writes them. A file with a second
// name (hard link) is told once a session that the other name keeps the old bytes.
TEST_F(MapsDlgTest, SaveAsksBeforeOverwritingAChangeByAnotherProgram) {
    Open(GraphicsRom());
    std::vector<std::vector<app::Answer>> offered;
    app::SetAskFunction([&](const QString& text, const std::vector<app::Answer>& buttons) {
        questions << text;
        offered.push_back(buttons);
        return answer;
    });
    Press(ChooserTile(100));
    PaintAt(ViewCell(1, 1));
    const Bytes theirs(RomFileSize, 7);
    ASSERT_TRUE(testsupport::WriteFile(rom->RomPath, theirs));
    Click(CMapsDlg::IdcSave);
    Click(IDOK);
    EXPECT_FALSE(dlg->Ended());
    EXPECT_EQ(FileBytes(), theirs);
    EXPECT_TRUE(rom->DiffersFromFile());

    const QString twin = dir.filePath("twin.nes");
    ASSERT_EQ(::link(rom->RomPath.c_str(), twin.toLocal8Bit().constData()), 0);
    answer = app::Answer::Overwrite;
    Click(CMapsDlg::IdcSave);
    EXPECT_EQ(FileBytes(), Image(*rom));
    EXPECT_EQ(testsupport::ReadBytes(twin.toStdString()), theirs);
    EXPECT_EQ(questions, QStringList(3, "\"map.nes\" was changed by another program since it "
                                        "was opened or last saved. Overwrite it with the "
                                        "changes made here?"));
    EXPECT_EQ(offered, std::vector(3, std::vector{app::Answer::Overwrite, app::Answer::Cancel}));
    EXPECT_EQ(messages,
              QStringList{"Saved \"map.nes\". Its other names (hard links) still hold the old "
                          "bytes."});

    // Saved: no question now; and a second name again is not told twice.
    ASSERT_EQ(::link(rom->RomPath.c_str(), (twin + "2").toLocal8Bit().constData()), 0);
    PaintAt(ViewCell(2, 2));
    Click(IDOK);
    EXPECT_TRUE(dlg->Ended());
    EXPECT_EQ(questions.size(), 3);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(FileBytes(), Image(*rom));
}

TEST_F(MapsDlgTest, ScrollBarsWheelAndTooltipAgreeAndClamp) {
    Open(GraphicsRom());
    using S = QAbstractSlider;
    dlg->VertScrollBar->triggerAction(S::SliderSingleStepSub);
    dlg->VertScrollBar->triggerAction(S::SliderSingleStepAdd);
    EXPECT_EQ(View(), QPoint(0, 1));
    dlg->VertScrollBar->setSliderDown(true);
    dlg->VertScrollBar->setSliderPosition(230);
    dlg->VertScrollBar->setSliderDown(false);
    EXPECT_EQ(View(), QPoint(0, 230));
    dlg->VertScrollBar->triggerAction(S::SliderPageStepAdd);
    for (S::SliderAction action : {S::SliderPageStepAdd, S::SliderPageStepAdd, S::SliderPageStepSub,
                                   S::SliderSingleStepSub}) {
        dlg->HorzScrollBar->triggerAction(action);
    }
    EXPECT_EQ(View(), QPoint(15, 240));

    // One row per notch, fractions added up; Shift turns it to columns.
    Wheel(ViewCell(0, 0), 60);
    Wheel(ViewCell(0, 0), 60);
    Wheel(ViewCell(0, 0), -120, Qt::ShiftModifier);
    Wheel(ChooserTile(0), 120);
    EXPECT_EQ(View(), QPoint(16, 239));
    QHelpEvent help(QEvent::ToolTip, ViewCell(3, 4), dlg->mapToGlobal(ViewCell(3, 4)));
    QApplication::sendEvent(dlg.get(), &help);
    EXPECT_EQ(QToolTip::text(), QString("x 19, y 243: tile %1").arg(At(19, 243)));
    QToolTip::hideText();
}

// The map left is stored; the view, the tile and each map's own undo history stay.
TEST_F(MapsDlgTest, AChangeOfMapStoresTheMapLeftAndKeepsItsHistory) {
    Open(GraphicsRom());
    dlg->SetScroll(16, 239);
    Press(ChooserTile(100));
    PaintAt({163, 30});
    EXPECT_EQ(At(16, 239), 100);
    const Grid edited = dlg->MapGrid();
    const Bytes image = Image(*rom);
    PickMap(0, Qt::ControlModifier); // deselects the item: no map to change to
    EXPECT_EQ(dlg->GetCurSel(CMapsDlg::IdcMapList), 0);
    EXPECT_EQ(Image(*rom), image);

    PickMap(1);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(Decode(*rom, 0), edited);
    EXPECT_EQ(dlg->MapGrid(), Decode(*rom, 1));
    EXPECT_EQ(dlg->FreeBytesText->text(), QString::number(worldmap::CountFreeBytes(*rom)));
    EXPECT_EQ(View(), QPoint(16, 239));
    EXPECT_EQ(dlg->SelectedTile(), 100);
    EXPECT_FALSE(dlg->CanUndo());
    PickMap(0);
    Key(Qt::Key_Z);
    EXPECT_EQ(dlg->MapGrid(), original);
}

// Move events come as often as the system sends them, not once a cell: a fast drag paints
// the straight line between two moves, in map cells. Leaving the view and coming back
// starts afresh, with no line from where it left. The wheel turned under a held button
// puts another map cell under the pointer, and the next move paints it.
TEST_F(MapsDlgTest, AFastDragPaintsTheLineBetweenTwoMoves) {
    Open(GraphicsRom());
    dlg->SetScroll(16, 1);
    Grid want = dlg->MapGrid();
    Press(ChooserTile(100));
    Press(ViewCell(1, 1));
    Drag(ViewCell(8, 4));
    Drag({600, 60});
    Drag(ViewCell(1, 14));
    Wheel(ViewCell(1, 14), -120, {}, Qt::LeftButton);
    ASSERT_EQ(View(), QPoint(16, 2));
    Drag(ViewCell(1, 14) + QPoint(1, 1));
    Release(ViewCell(1, 14));
    edit::DrawLine(want, {17, 2}, {24, 5}, 100);
    want[15 * 256 + 17] = want[16 * 256 + 17] = 100;
    EXPECT_EQ(dlg->MapGrid(), want);
}

TEST_F(MapsDlgTest, WhereNoStoreIsSafeAnUneditedMapCanStillBeLeft) {
    // Map 1's row 0 outside the row data: every store is refused, but leaving a map
    // without edits loses nothing, so the maps can still be looked through.
    // The budget says so, and a store refused after an edit says why.
    Open(RomBuilder().Map(2, testsupport::StripedGrid(5)).Word(worldmap::TableStart(1), 0).Build());
    EXPECT_EQ(dlg->BudgetText->text(), "Cannot store");
    EXPECT_TRUE(BudgetRed());
    PickMap(2);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(dlg->WorldMapId(), 2);
    EXPECT_EQ(dlg->MapGrid(), Decode(*rom, 2));
    Press(ChooserTile(9));
    PaintAt(ViewCell(0, 0));
    Click(IDOK);
    EXPECT_EQ(messages, QStringList{"Store Values failed"});
    EXPECT_TRUE(details.value(0).contains("not laid out in a way that can be rewritten safely"));
}

// Changes made through the document alone, with no call on the window, show: the minimap's
// rows, the budget, the undo keys' state, the chooser's outline, and for another map its
// list entry, free bytes and picture.
TEST_F(MapsDlgTest, TheWindowFollowsTheDocumentWhoeverChangesIt) {
    Open(GraphicsRom());
    edit::MapDocument& doc = dlg->Document();
    auto* undo = dlg->findChild<QAction*>("undo");
    auto* redo = dlg->findChild<QAction*>("redo");
    ASSERT_TRUE(undo && redo);
    EXPECT_FALSE(undo->isEnabled());
    doc.FillRect({{30, 40}, {90, 41}}, 100);
    EXPECT_EQ(dlg->Minimap(), ExpectedMinimap());
    EXPECT_EQ(dlg->BudgetText->text(), BudgetWanted());
    EXPECT_EQ(std::pair(undo->isEnabled(), redo->isEnabled()), std::pair(true, false));
    ASSERT_EQ(doc.Store().status, worldmap::StoreStatus::Stored);
    doc.Undo();
    EXPECT_EQ(dlg->Minimap(), ExpectedMinimap());
    EXPECT_EQ(std::pair(undo->isEnabled(), redo->isEnabled()), std::pair(false, true));
    // Redone over the map as stored, the step changes no row and nothing is announced.
    ASSERT_TRUE(doc.Load(0));
    redo->trigger();
    EXPECT_EQ(std::pair(undo->isEnabled(), redo->isEnabled()), std::pair(true, false));

    doc.SetSelectedTile(77);
    EXPECT_EQ(Shot().pixel(465 + 16 * 13, 158 + 16 * 4 + 7), qRgb(255, 0, 0));
    ASSERT_TRUE(doc.Load(1));
    EXPECT_EQ(dlg->GetCurSel(CMapsDlg::IdcMapList), 1);
    EXPECT_EQ(dlg->Minimap(), ExpectedMinimap());
    EXPECT_EQ(dlg->BudgetText->text(), BudgetWanted());
    doc.FillRect({{0, 0}, {255, 255}}, 1);
    ASSERT_EQ(doc.Store().status, worldmap::StoreStatus::Stored);
    EXPECT_EQ(dlg->FreeBytesText->text(), QString::number(worldmap::CountFreeBytes(*rom)));
}

// The World window opens where the editor looks and edits the same document; its labels
// and palette follow the document too, and the editor's view comes back where the World
// window last looked.
TEST_F(MapsDlgTest, WorldWindowSharesTheDocumentAndSendsTheViewBack) {
    Open(GraphicsRom());
    dlg->SetScroll(20, 30);
    Press(ChooserTile(100));
    edit::MapDocument& doc = dlg->Document();
    edit::Cell lastLook;
    const bool opened =
        ModalOpens([&] { Click(CMapsDlg::IdcWorld); },
                   [&](QWidget* window) {
                       auto* world = qobject_cast<CWorldDlg*>(window);
                       ASSERT_NE(world, nullptr);
                       WorldCanvas* canvas = world->Canvas();
                       EXPECT_EQ(canvas->CellAt(QPoint(0, 0)), (edit::Cell{20, 30}));
                       QTest::mouseClick(canvas->viewport(), Qt::LeftButton, {},
                                         canvas->CellPosition({22, 31}) + QPoint(3, 3));
                       doc.FillRect({{0, 0}, {40, 3}}, 101);
                       EXPECT_EQ(world->BudgetLabel()->text(), BudgetWanted());
                       doc.SetSelectedTile(33);
                       EXPECT_EQ(world->TileSheet()->Marked(), 33);
                       canvas->ScrollToCell({70, 90});
                       lastLook = world->LastTopLeft();
                   });
    ASSERT_TRUE(opened);
    EXPECT_EQ(At(22, 31), 100);
    EXPECT_EQ(View(), QPoint(lastLook.x, lastLook.y));
}

// Replace starts from the tile under the pointer and the tile to paint with; in the dialog
// a click sets the tile to replace, the next its replacement.
TEST_F(MapsDlgTest, WorldReplaceChoosesBothTilesByClicking) {
    Open(GraphicsRom());
    edit::MapDocument* doc = &dlg->Document();
    CWorldDlg world(*doc, 0, 0);
    world.show();
    doc->SetSelectedTile(5);
    emit world.Canvas()->HoverChanged(7, 9); // the pointer over cell (7, 9)
    const int under = doc->At({7, 9});
    Grid want = doc->MapGrid();
    edit::ReplaceTile(want, static_cast<uint8_t>(under), 126);
    ASSERT_TRUE(ModalOpens(
        [&] { world.Replace(); },
        [&](QWidget* window) {
            auto* replace = qobject_cast<mapeditor::CReplaceDlg*>(window);
            ASSERT_NE(replace, nullptr);
            EXPECT_EQ(std::pair(replace->FromBox()->value(), replace->ToBox()->value()),
                      std::pair(under, 5));
            QTest::mouseClick(replace->Sheet(), Qt::LeftButton, {}, TileSheetView::TileCentre(40));
            QTest::mouseClick(replace->Sheet(), Qt::LeftButton, {}, TileSheetView::TileCentre(126));
            EXPECT_EQ(std::pair(replace->FromBox()->value(), replace->ToBox()->value()),
                      std::pair(40, 126));
            replace->FromBox()->setValue(under); // typed
            replace->accept();
        }));
    EXPECT_EQ(doc->MapGrid(), want);
}

// The hover and zoom labels give way first: at 640 pixels the budget is still whole.
TEST_F(MapsDlgTest, WorldBudgetStaysReadableInANarrowWindow) {
    Open(GraphicsRom());
    CWorldDlg world(dlg->Document(), 0, 0);
    world.show();
    QLabel* budget = world.BudgetLabel();
    for (const QString& text : {budget->text(), QString("Needs 99999 of 99999")}) {
        budget->setText(text);
        world.resize(640, 480);
        world.layout()->activate();
        EXPECT_EQ(world.width(), 640);
        EXPECT_LE(budget->fontMetrics().horizontalAdvance(text), budget->contentsRect().width())
            << text.toStdString();
    }
}

// Both windows show the budget through these (their tests check the wording on screen):
// over for every refusal, and a refusal without sizes says it cannot store.
TEST(BudgetView, EveryRefusalIsOver) {
    using worldmap::StoreStatus;
    EXPECT_FALSE(mapeditor::BudgetOver({StoreStatus::Stored, 90, 80, 100}));
    for (StoreStatus refused :
         {StoreStatus::DoesNotFit, StoreStatus::BadTile, StoreStatus::BadLayout}) {
        EXPECT_TRUE(mapeditor::BudgetOver({refused, 0, 0, 0}));
        EXPECT_EQ(mapeditor::BudgetText({refused, 0, 0, 0}) == "Cannot store",
                  refused != StoreStatus::DoesNotFit);
    }
}

// A press centres the view on the spot, clamped as the scroll bars clamp; a drag that
// began there goes on centring wherever the pointer goes, until the button is up, and
// never paints.
TEST_F(MapsDlgTest, PressingAndDraggingOnTheMinimapCentresTheViewAndNeverPaints) {
    Open(GraphicsRom());
    Press(ChooserTile(100));
    for (auto [pixel, view] : {std::pair{MinimapPixel(40, 30), QPoint(72, 52)},
                               {MinimapPixel(0, 3), QPoint(0, 0)},
                               {MinimapPixel(127, 127), QPoint(240, 240)}}) {
        Press(pixel);
        EXPECT_EQ(View(), view);
        Release(pixel);
    }
    Press(MinimapPixel(50, 50));
    Drag(MinimapPixel(60, 70));
    EXPECT_EQ(View(), QPoint(112, 132));
    Drag({900, -50});
    EXPECT_EQ(View(), QPoint(240, 0));
    Release({900, -50});
    Drag(MinimapPixel(20, 20));
    EXPECT_EQ(View(), QPoint(240, 0));
    // A release that never arrived ends the drag at the next move.
    Press(MinimapPixel(20, 20));
    Drag(MinimapPixel(64, 64), Qt::NoButton);
    Drag(MinimapPixel(90, 90));
    EXPECT_EQ(View(), QPoint(32, 32));
    EXPECT_EQ(dlg->MapGrid(), original);
}

// The budget is MeasureStore's, red while the map would not fit (already during a stroke).
// Then a change of map, Save and Done are refused and say why; the edits stay on screen
// and nothing is written.
TEST_F(MapsDlgTest, TheBudgetIsWhatStoringWouldTakeAndAStoreThatWouldNotFitIsRefused) {
    Open(RomBuilder().Map(0, testsupport::StripedGrid(0)).FreeBytes(3).Build());
    const Bytes image = Image(*rom); // as Open wrote it to the file
    EXPECT_EQ(dlg->BudgetText->text(), BudgetWanted());
    EXPECT_FALSE(BudgetRed());
    Press(ChooserTile(100));
    Press(ViewCell(1, 1));
    Drag(ViewCell(9, 1));
    EXPECT_EQ(dlg->BudgetText->text(), BudgetWanted());
    EXPECT_TRUE(BudgetRed());
    Release(ViewCell(9, 1));
    const Grid edited = dlg->MapGrid();
    Click(CMapsDlg::IdcSave);
    PickMap(2);
    Click(IDOK);
    EXPECT_EQ(dlg->GetCurSel(CMapsDlg::IdcMapList), 0);
    EXPECT_EQ(dlg->MapGrid(), edited);
    EXPECT_EQ(Image(*rom), image);
    EXPECT_EQ(FileBytes(), image);
    EXPECT_FALSE(dlg->Ended());
    EXPECT_EQ(dlg->LastStore().status, worldmap::StoreStatus::DoesNotFit);
    const worldmap::StoreReport over = worldmap::MeasureStore(*rom, 0, dlg->MapGrid());
    EXPECT_EQ(messages, QStringList(3, "Store Values failed"));
    EXPECT_EQ(details.value(0),
              QString("The map needs %1 bytes but has room for %2 (its %3 bytes plus 3 free). "
                      "Undo some edits, or paint longer runs of one tile: each row is stored "
                      "as runs.")
                  .arg(over.newSize)
                  .arg(over.oldSize + 3)
                  .arg(over.oldSize));
    Key(Qt::Key_Z);
    EXPECT_FALSE(BudgetRed());
    // The longest budget the region could give still fits its label.
    dlg->BudgetText->setText("Needs 99999 of 99999");
    EXPECT_EQ(dlg->BudgetText->sizeHint().boundedTo(dlg->BudgetText->size()),
              dlg->BudgetText->sizeHint());
}

// Cancel asks before edits that were never stored are lost, a stroke still held among
// them, and only then: not for an edit undone or stored. (Esc and the close box reach the
// same handler.)
TEST_F(MapsDlgTest, LeavingWithoutStoringAsksOnlyWhenEditsWouldBeLost) {
    const QStringList asked{QString("Discard the edits to %1?").arg(worldmap::MapName(0))};
    Open(GraphicsRom());
    const Bytes image = Image(*rom);
    Press(ChooserTile(100));
    Press(ViewCell(4, 4)); // held
    for (app::Answer reply : {app::Answer::Cancel, app::Answer::Discard}) {
        EXPECT_FALSE(dlg->Ended());
        EXPECT_EQ(At(4, 4), 100);
        answer = reply;
        Click(IDCANCEL);
    }
    EXPECT_EQ(questions, asked + asked);
    EXPECT_EQ(dlg->EndResult(), IDCANCEL);
    EXPECT_EQ(Image(*rom), image);

    Open(GraphicsRom());
    Press(ChooserTile(100));
    PaintAt(ViewCell(4, 4));
    PaintAt(ViewCell(5, 4));
    Key(Qt::Key_Z);
    PickMap(1), PickMap(0); // the switch stores map 0
    Key(Qt::Key_Escape, Qt::NoModifier);
    EXPECT_EQ(questions.size(), 2);
    EXPECT_EQ(dlg->EndResult(), IDCANCEL);
}

// Stands in for an emulator: copies the ROM it is given beside itself as got.nes. What it
// received, once it has run on its own (give it a few seconds), or nothing.
QString StandInEmulator(const QString& folder) {
    QDir().mkpath(folder);
    QFile script(folder + "/emu.sh");
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\nhere=\"$(dirname \"$0\")\"\n"
                 "cp \"$1\" \"$here/got.tmp\" && mv \"$here/got.tmp\" \"$here/got.nes\"\n");
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    return script.fileName();
}
std::optional<Bytes> Received(const QString& folder) {
    QFile got(folder + "/got.nes");
    for (int i = 0; i < 200 && !got.exists(); ++i) {
        QTest::qWait(50);
    }
    if (!got.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = got.readAll();
    return Bytes(bytes.begin(), bytes.end());
}

// "Test" (the button, F5, and F5 in the World window) refuses a map that does not fit as a
// store does, starting nothing, and reports an emulator that cannot start. It hands the
// emulator a temporary copy of the image with the grid stored; the image, its file and the
// edits on screen stay as they were.
TEST_F(MapsDlgTest, TestPlaysACopyWithTheMapStoredOrIsRefusedLikeAStore) {
    const QString emulator = StandInEmulator(dir.filePath("emu dir"));
    qputenv(app::EmulatorVariable, "/no/such/emulator %f");
    Open(RomBuilder().FreeBytes(0).Build());
    Press(ChooserTile(9));
    PaintAt(ViewCell(2, 2));
    Key(Qt::Key_F5, Qt::NoModifier);
    EXPECT_EQ(messages, QStringList{"Store Values failed"});
    EXPECT_TRUE(details.value(0).startsWith("The map needs"));
    Key(Qt::Key_Z);
    Click(CMapsDlg::IdcTest);
    EXPECT_EQ(messages.value(1), "The emulator could not be started");

    qputenv(app::EmulatorVariable, ("'" + emulator + "' %f").toUtf8());
    Open(GraphicsRom());
    const Bytes image = Image(*rom);
    Press(ChooserTile(9));
    PaintAt(ViewCell(2, 2));
    const bool opened = ModalOpens([&] { Click(CMapsDlg::IdcWorld); },
                                   [&](QWidget* window) {
                                       QApplication::setActiveWindow(window);
                                       QTest::keyClick(window, Qt::Key_F5);
                                   });
    qunsetenv(app::EmulatorVariable);
    ASSERT_TRUE(opened);
    auto expected = std::make_unique<CRomImage>(*rom);
    ASSERT_EQ(worldmap::StoreWorldMapReport(*expected, 0, dlg->MapGrid()).status,
              worldmap::StoreStatus::Stored);
    EXPECT_EQ(Received(dir.filePath("emu dir")), Image(*expected));
    EXPECT_EQ(Image(*rom), image);
    EXPECT_EQ(FileBytes(), image);
    EXPECT_TRUE(dlg->Document().GridDiffersFromStore());
    EXPECT_EQ(messages.size(), 2);
}

// Once the document drops undo steps to keep its bound, the editor says so after its
// caption and the World window in its status bar, also when opened later.
TEST_F(MapsDlgTest, DroppedUndoStepsAreShownInBothWindows) {
    Open(GraphicsRom());
    edit::MapDocument& doc = dlg->Document();
    doc.FillRect({{0, 0}, {255, 255}}, 1);
    doc.SetHistoryLimit(doc.HistoryBytes());
    CWorldDlg early(doc, 0, 0);
    EXPECT_EQ(dlg->windowTitle(), "Maps");
    EXPECT_FALSE(early.HistoryLabel()->isVisibleTo(&early));
    doc.FillRect({{0, 0}, {255, 255}}, 2);
    EXPECT_EQ(dlg->windowTitle(), "Maps (oldest undo steps dropped)");
    EXPECT_EQ(early.HistoryLabel()->text(), "Oldest undo steps dropped");
    CWorldDlg late(doc, 0, 0);
    EXPECT_TRUE(late.HistoryLabel()->isVisibleTo(&late));
    EXPECT_EQ(late.HistoryLabel()->text(), "Oldest undo steps dropped");
}

TEST(EmulatorCommand, SplitsLikeAShellAndPutsTheFileWherePercentFStands) {
    using Words = std::optional<QStringList>;
    EXPECT_EQ(app::SplitCommandLine(R"(  fceux  --fullscreen 1 )"),
              Words({"fceux", "--fullscreen", "1"}));
    EXPECT_EQ(app::SplitCommandLine(R"('/opt/my emu/run' "a \"b\" \$c" d\ e x''y)"),
              Words({"/opt/my emu/run", R"(a "b" $c)", "d e", "xy"}));
    for (const char* bad : {"'open", "\"open", "end\\"}) {
        EXPECT_EQ(app::SplitCommandLine(bad), std::nullopt) << bad;
    }
    const QString file = "/tmp/a b/map.nes";
    EXPECT_EQ(app::CommandForFile({"emu", "-rom=%f", "100%%"}, file),
              QStringList({"emu", "-rom=/tmp/a b/map.nes", "100%"}));
    EXPECT_EQ(app::CommandForFile({"emu", "%%f"}, file), QStringList({"emu", "%f", file}));
}

} // namespace
