#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>
#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "app/Emulator.h"
#include "app/Platform.h"
#include "gfx/TileRenderer.h"
#include "mapeditor/BudgetView.h"
#include "mapeditor/MapsDlg.h"
#include "mapeditor/WorldDlg.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/MapGrids.h"
#include "tests/support/RomBuilder.h"
#include "worldmap/WorldMap.h"

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

QPoint ViewCell(int vx, int vy) {
    return {163 + 16 * vx + 8, 30 + 16 * vy + 8};
}
QPoint ChooserTile(int t) {
    return {465 + 16 * (t % 16) + 8, 158 + 16 * (t / 16) + 8};
}

class MapsDlgTest : public ::testing::Test {
  protected:
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
    Bytes FileBytes() const {
        Bytes bytes;
        EXPECT_TRUE(testsupport::ReadFile(rom->RomPath, bytes));
        return bytes;
    }
    // The map cell at the view's top left; the scroll bars must agree with it.
    QPoint View() const {
        EXPECT_EQ(dlg->HorzScrollBar->value(), dlg->ScrollX);
        EXPECT_EQ(dlg->VertScrollBar->value(), dlg->ScrollY);
        return {dlg->ScrollX, dlg->ScrollY};
    }

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
        return dlg->BudgetText->palette().color(QPalette::WindowText) == mapeditor::OverBudgetColour;
    }

    QTemporaryDir dir;
    QStringList messages;
    QStringList details;
    QStringList questions;
    app::Answer answer = app::Answer::Cancel;
    std::unique_ptr<CRomImage> rom;
    std::unique_ptr<CMapsDlg> dlg;
};

TEST_F(MapsDlgTest, DrawsTheCoresTilesAndPicksAndPaintsOnlyInsideTheRectangles) {
    Open(GraphicsRom());
    EXPECT_EQ(dlg->GetCurSel(CMapsDlg::IdcMapList), 0);
    const Grid before = dlg->MapGrid();
    EXPECT_EQ(before, Decode(*rom, 0));
    Press({465 + 16 * 3 + 5, 158 + 16 * 2 + 9});
    EXPECT_EQ(dlg->SelectedTile(), 35);
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(*rom, 0, *tiles);
    const QImage shot = dlg->grab().toImage().convertToFormat(QImage::Format_RGB32);
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
    expectTile(At(0, 0), 163, 30, false);
    expectTile(At(15, 15), 163 + 240, 30 + 240, false);
    expectTile(35, 465 + 48, 158 + 32, true);
    expectTile(127, 465 + 240, 158 + 112, false);

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
    EXPECT_EQ(dlg->MapGrid(), before);
    PaintAt({163, 30});
    PaintAt({418, 285});
    EXPECT_EQ(At(0, 0), 127);
    EXPECT_EQ(At(15, 15), 127);
}

// Strokes end with the button, wherever it is released; Ctrl+Z takes back a whole stroke.
TEST_F(MapsDlgTest, StrokesPaintTheCellsTheyCrossUndoAndRedoWholeAndSaveAndDoneStoreThem) {
    Open(GraphicsRom());
    const Grid original = dlg->MapGrid();
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

    auto key = [this](Qt::Key k, Qt::KeyboardModifiers mods = Qt::ControlModifier) {
        Key(k, mods);
    };
    key(Qt::Key_Z), key(Qt::Key_Z);
    EXPECT_EQ(dlg->MapGrid(), first);
    key(Qt::Key_Z);
    EXPECT_EQ(dlg->MapGrid(), original);
    key(Qt::Key_Y);
    EXPECT_EQ(dlg->MapGrid(), first);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier), key(Qt::Key_Y);
    EXPECT_EQ(dlg->MapGrid(), want);

    // Save and Done write what the core's store gives; a failed write is reported and
    // leaves the window open with the edits.
    CRomImage expected = *rom;
    auto store = [&] {
        ASSERT_TRUE(worldmap::StoreWorldMap(expected, 0, dlg->MapGrid(),
                                            worldmap::CountFreeBytes(expected)));
    };
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

TEST_F(MapsDlgTest, ScrollingClampsAndAChangeOfMapStoresTheMapAndKeepsScrollAndTile) {
    Open(GraphicsRom());
    using S = QAbstractSlider;
    auto act = [](QScrollBar* bar, std::initializer_list<S::SliderAction> actions) {
        for (S::SliderAction action : actions) {
            bar->triggerAction(action);
        }
    };
    act(dlg->VertScrollBar, {S::SliderSingleStepSub, S::SliderSingleStepAdd});
    EXPECT_EQ(View(), QPoint(0, 1));
    dlg->VertScrollBar->setSliderDown(true);
    dlg->VertScrollBar->setSliderPosition(230);
    dlg->VertScrollBar->setSliderDown(false);
    EXPECT_EQ(View(), QPoint(0, 230));
    act(dlg->VertScrollBar, {S::SliderPageStepAdd});
    act(dlg->HorzScrollBar,
        {S::SliderPageStepAdd, S::SliderPageStepAdd, S::SliderPageStepSub, S::SliderSingleStepSub});
    EXPECT_EQ(View(), QPoint(15, 240));

    // One row per notch, fractions added up; Shift turns it to columns.
    auto wheel = [this](QPoint at, int angle, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWheelEvent event(at, dlg->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, mods,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(dlg.get(), &event);
    };
    wheel(ViewCell(0, 0), 60);
    wheel(ViewCell(0, 0), 60);
    wheel(ViewCell(0, 0), -120, Qt::ShiftModifier);
    wheel(ChooserTile(0), 120);
    EXPECT_EQ(View(), QPoint(16, 239));
    QHelpEvent help(QEvent::ToolTip, ViewCell(3, 4), dlg->mapToGlobal(ViewCell(3, 4)));
    QApplication::sendEvent(dlg.get(), &help);
    EXPECT_EQ(QToolTip::text(), QString("x 19, y 243: tile %1").arg(At(19, 243)));
    QToolTip::hideText();

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
}

// Move events come as often as the system sends them, not once a cell: a fast drag paints
// the straight line between two moves, in map cells, scrolled or not. Leaving the view
// and coming back starts a fresh line, and the whole drag is still one undo step.
TEST_F(MapsDlgTest, AFastDragPaintsTheLineBetweenTwoMoves) {
    Open(GraphicsRom());
    dlg->HorzScrollBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    dlg->VertScrollBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    ASSERT_EQ(View(), QPoint(16, 1));
    const Grid original = dlg->MapGrid();
    Press(ChooserTile(100));
    Press(ViewCell(1, 1));
    Drag(ViewCell(8, 4));
    Drag(ViewCell(8, 13));
    Drag({600, 60});
    Drag(ViewCell(1, 14));
    Release(ViewCell(1, 14));
    auto want = std::make_unique<Grid>(original);
    edit::DrawLine(*want, {17, 2}, {24, 5}, 100);
    edit::DrawLine(*want, {24, 5}, {24, 14}, 100);
    (*want)[15 * 256 + 17] = 100;
    EXPECT_EQ(dlg->MapGrid(), *want);
    EXPECT_EQ(At(20, 3), 100);                      // a cell no move event landed on
    EXPECT_EQ(At(22, 14), original[14 * 256 + 22]); // on a line from leaving to coming back

    Key(Qt::Key_Z);
    EXPECT_EQ(dlg->MapGrid(), original);
    EXPECT_FALSE(dlg->CanUndo());

    // The wheel turned under a held button: the next move paints the map cell that is now
    // under the pointer, though the pointer stays in the same view cell.
    Press(ViewCell(3, 3));
    QWheelEvent notch(ViewCell(3, 3), dlg->mapToGlobal(ViewCell(3, 3)), QPoint(), QPoint(0, -120),
                      Qt::LeftButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(dlg.get(), &notch);
    ASSERT_EQ(View(), QPoint(16, 2));
    Drag(ViewCell(3, 3) + QPoint(1, 1));
    Release(ViewCell(3, 3) + QPoint(1, 1));
    EXPECT_EQ(std::pair(At(19, 4), At(19, 5)), std::pair(100, 100));
}

// Switching maps stores the map left, as always, and no longer forgets its steps: back on
// it, Ctrl+Z takes back strokes made before the switch.
TEST_F(MapsDlgTest, EachMapKeepsItsUndoHistoryAcrossSwitches) {
    Open(GraphicsRom());
    const Grid original0 = dlg->MapGrid();
    Press(ChooserTile(100));
    PaintAt(ViewCell(2, 2));
    const Grid edited0 = dlg->MapGrid();

    PickMap(1);
    ASSERT_EQ(dlg->WorldMapId(), 1);
    const Grid original1 = dlg->MapGrid();
    EXPECT_FALSE(dlg->CanUndo());
    PaintAt(ViewCell(3, 3));
    const Grid first1 = dlg->MapGrid();
    PaintAt(ViewCell(4, 4));

    PickMap(0);
    ASSERT_EQ(dlg->WorldMapId(), 0);
    EXPECT_EQ(dlg->MapGrid(), edited0);
    ASSERT_TRUE(dlg->CanUndo());
    Key(Qt::Key_Z);
    EXPECT_EQ(dlg->MapGrid(), original0);
    EXPECT_EQ(Decode(*rom, 0), edited0); // undone on screen, not yet stored
    EXPECT_FALSE(dlg->CanUndo());

    PickMap(1);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(Decode(*rom, 0), original0);
    Key(Qt::Key_Z);
    EXPECT_EQ(dlg->MapGrid(), first1);
    Key(Qt::Key_Z);
    EXPECT_EQ(dlg->MapGrid(), original1);
    Key(Qt::Key_Y);
    EXPECT_EQ(dlg->MapGrid(), first1);
    EXPECT_EQ(&dlg->Document().Rom(), rom.get());
}

TEST_F(MapsDlgTest, RefusedStoreKeepsTheEditsOnScreenAndWritesNothing) {
    Open(RomBuilder().FreeBytes(0).Build());
    const Bytes image = Image(*rom); // as Open wrote it to the file
    Press(ChooserTile(9));
    PaintAt(ViewCell(2, 2));
    const Grid edited = dlg->MapGrid();

    PickMap(2);
    EXPECT_EQ(dlg->WorldMapId(), 0);
    EXPECT_EQ(dlg->GetCurSel(CMapsDlg::IdcMapList), 0);
    Click(CMapsDlg::IdcSave);
    Click(IDOK);
    EXPECT_EQ(messages, QStringList(3, "Store Values failed"));
    EXPECT_EQ(dlg->MapGrid(), edited);
    EXPECT_EQ(Image(*rom), image);
    EXPECT_EQ(FileBytes(), image);
    EXPECT_FALSE(dlg->Ended());
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

QPoint MinimapPixel(int mx, int my) {
    return {458 + mx, 12 + my};
}

// The World window opens where the editor looks and edits the same document: back in the
// editor the edit is there, with its minimap, budget and one history, and the view is
// where the World window last looked.
TEST_F(MapsDlgTest, WorldWindowEditsTheSameDocumentAndTheEditorFollows) {
    Open(GraphicsRom());
    dlg->SetScroll(20, 30);
    Press(ChooserTile(100));
    const worldmap::Grid before = dlg->MapGrid();
    edit::Cell lastLook;
    const bool opened = ModalOpens([&] { Click(CMapsDlg::IdcWorld); }, [&](QWidget* window) {
        auto* world = qobject_cast<CWorldDlg*>(window);
        ASSERT_NE(world, nullptr);
        WorldCanvas* canvas = world->Canvas();
        EXPECT_EQ(canvas->CellAt(QPoint(0, 0)), (edit::Cell{20, 30}));
        QTest::mouseClick(canvas->viewport(), Qt::LeftButton, {},
                          canvas->CellPosition({22, 31}) + QPoint(3, 3));
        canvas->ScrollToCell({70, 90});
        lastLook = world->LastTopLeft();
    });
    ASSERT_TRUE(opened);
    EXPECT_EQ(At(22, 31), 100);
    EXPECT_NE(lastLook, (edit::Cell{20, 30}));
    EXPECT_EQ(View(), QPoint(lastLook.x, lastLook.y));
    EXPECT_EQ(dlg->Minimap(), ExpectedMinimap());
    EXPECT_EQ(dlg->GetDlgItemText(CMapsDlg::IdcBudget), BudgetWanted());
    Key(Qt::Key_Z);
    EXPECT_EQ(dlg->MapGrid(), before);
    EXPECT_EQ(dlg->Minimap(), ExpectedMinimap());
}

// The minimap on screen is the core's picture of the map with the view's 8 by 8 outline
// over it, and it follows paint (while the stroke is held too), undo, redo and a change of
// map.
TEST_F(MapsDlgTest, TheMinimapShowsTheWholeMapAndFollowsPaintUndoAndAChangeOfMap) {
    Open(GraphicsRom());
    const gfx::MinimapBuffer original = ExpectedMinimap();
    dlg->SetScroll(31, 100);
    const QImage shot = dlg->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage want = QImage(reinterpret_cast<const uchar*>(original.data()), 128, 128,
                         QImage::Format_RGB32)
                      .copy();
    QPainter painter(&want);
    painter.setPen(Qt::red);
    painter.drawRect(15, 50, 7, 7);
    painter.end();
    EXPECT_EQ(shot.copy(458, 12, 128, 128), want);

    Press(ChooserTile(100));
    PaintAt(ViewCell(3, 3)); // map cell (34, 103): minimap row 51
    EXPECT_NE(dlg->Minimap()[51 * 128 + 17], original[51 * 128 + 17]);
    EXPECT_EQ(dlg->Minimap(), ExpectedMinimap());
    Press(ViewCell(10, 12));
    EXPECT_EQ(dlg->Minimap(), ExpectedMinimap());
    Release(ViewCell(10, 12));
    Key(Qt::Key_Z);
    Key(Qt::Key_Z);
    EXPECT_EQ(dlg->Minimap(), original);
    Key(Qt::Key_Y);
    EXPECT_EQ(dlg->Minimap(), ExpectedMinimap());
    PickMap(1);
    ASSERT_EQ(dlg->WorldMapId(), 1);
    EXPECT_NE(dlg->Minimap(), original);
    EXPECT_EQ(dlg->Minimap(), ExpectedMinimap());
}

// A press centres the view on the spot, clamped as the scroll bars clamp; a drag that
// began there goes on centring wherever the pointer goes, until the button is up, and
// never paints.
TEST_F(MapsDlgTest, PressingAndDraggingOnTheMinimapCentresTheViewAndNeverPaints) {
    Open(GraphicsRom());
    const Grid original = dlg->MapGrid();
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

// The budget is MeasureStore's, red while the map would not fit (already during a stroke),
// counted afresh from the stored map after a save; a refused store says why.
TEST_F(MapsDlgTest, TheBudgetIsWhatStoringWouldTakeAndRedWhenItWouldNotFit) {
    Open(RomBuilder().Map(0, testsupport::StripedGrid(0)).FreeBytes(3).Build());
    EXPECT_EQ(dlg->BudgetText->text(), BudgetWanted());
    EXPECT_FALSE(BudgetRed());
    Press(ChooserTile(100));
    Press(ViewCell(1, 1));
    Drag(ViewCell(9, 1));
    EXPECT_EQ(dlg->BudgetText->text(), BudgetWanted());
    EXPECT_TRUE(BudgetRed());
    Release(ViewCell(9, 1));
    Click(CMapsDlg::IdcSave);
    const worldmap::StoreReport over = worldmap::MeasureStore(*rom, 0, dlg->MapGrid());
    EXPECT_EQ(messages, QStringList{"Store Values failed"});
    EXPECT_EQ(details.value(0),
              QString("The map needs %1 bytes but has room for %2 (its %3 bytes plus 3 free). "
                      "Undo some edits, or paint longer runs of one tile: each row is stored "
                      "as runs.")
                  .arg(over.newSize)
                  .arg(over.oldSize + 3)
                  .arg(over.oldSize));

    Key(Qt::Key_Z);
    Click(CMapsDlg::IdcSave);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(dlg->BudgetText->text(), BudgetWanted());
    EXPECT_FALSE(BudgetRed());
    Key(Qt::Key_Y);
    EXPECT_EQ(dlg->BudgetText->text(), BudgetWanted());
    EXPECT_TRUE(BudgetRed());
    // The longest budget the region could give still fits its label.
    dlg->BudgetText->setText("Needs 99999 of 99999");
    EXPECT_EQ(dlg->BudgetText->sizeHint().boundedTo(dlg->BudgetText->size()),
              dlg->BudgetText->sizeHint());
}

// Cancel, Esc and the close box ask before edits that were never stored are lost, a stroke
// still held among them, and only then: not for an edit undone or stored.
TEST_F(MapsDlgTest, LeavingWithoutStoringAsksOnlyWhenEditsWouldBeLost) {
    const QStringList asked{QString("Discard the edits to %1?").arg(worldmap::MapName(0))};
    const std::function<void()> ways[] = {
        [this] { Click(IDCANCEL); },
        [this] { Key(Qt::Key_Escape, Qt::NoModifier); },
        [this] { dlg->close(); },
    };
    for (std::size_t way = 0; way < std::size(ways); ++way) {
        SCOPED_TRACE(way);
        questions.clear();
        Open(GraphicsRom());
        const Bytes image = Image(*rom);
        Press(ChooserTile(100));
        Press(ViewCell(4, 4)); // held
        for (app::Answer reply : {app::Answer::Cancel, app::Answer::Discard}) {
            EXPECT_FALSE(dlg->Ended());
            EXPECT_EQ(At(4, 4), 100);
            answer = reply;
            ways[way]();
        }
        EXPECT_EQ(questions, asked + asked);
        EXPECT_EQ(dlg->EndResult(), IDCANCEL);
        EXPECT_EQ(Image(*rom), image);

        Open(GraphicsRom());
        Press(ChooserTile(100));
        PaintAt(ViewCell(4, 4));
        if (way == 0) {
            Key(Qt::Key_Z);
        } else {
            PickMap(1), PickMap(0); // the switch stores map 0
        }
        ways[way]();
        EXPECT_EQ(questions.size(), 2);
        EXPECT_EQ(dlg->EndResult(), IDCANCEL);
    }
}


// Stands in for an emulator: records its arguments, one per line, and copies the ROM it
// was given (the word ending in .nes, after any "--rom=") beside itself as got.nes.
class StandInEmulator {
  public:
    explicit StandInEmulator(const QString& folder) : dir(folder) {
        QDir().mkpath(dir);
        QFile script(Path());
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\n"
                     "here=\"$(dirname \"$0\")\"\n"
                     "printf '%s\\n' \"$@\" > \"$here/args\"\n"
                     "for a; do case \"$a\" in *.nes) f=\"${a#--rom=}\";; esac; done\n"
                     "cp \"$f\" \"$here/got.tmp\" && mv \"$here/got.tmp\" \"$here/got.nes\"\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    }
    QString Path() const { return dir + "/emu.sh"; }
    // What it received, once it has run (it runs on its own; give it a few seconds).
    std::optional<std::pair<QStringList, Bytes>> Received() const {
        for (int i = 0; i < 200 && !QFile::exists(dir + "/got.nes"); ++i) {
            QTest::qWait(50);
        }
        QFile args(dir + "/args"), got(dir + "/got.nes");
        if (!args.open(QIODevice::ReadOnly) || !got.open(QIODevice::ReadOnly)) {
            return std::nullopt;
        }
        const QByteArray bytes = got.readAll();
        return std::pair(QString::fromUtf8(args.readAll()).split('\n', Qt::SkipEmptyParts),
                         Bytes(bytes.begin(), bytes.end()));
    }
    bool Ran() const { return QFile::exists(dir + "/args"); }

  private:
    QString dir;
};

// "Test" hands the emulator a temporary copy of the image with the grid stored, however
// the paths are spelled; the image, its file and the edits on screen stay as they were.
TEST_F(MapsDlgTest, TestPlaysACopyWithTheMapStoredAndLeavesTheRomAlone) {
    StandInEmulator emulator(dir.filePath("emu dir"));
    const QString temp = dir.filePath("temp dir");
    QDir().mkpath(temp);
    qputenv("TMPDIR", temp.toUtf8());
    qputenv(app::EmulatorVariable, ("'" + emulator.Path() + "' --rom=%f --speed=100%%").toUtf8());
    Open(GraphicsRom());
    const Bytes image = Image(*rom);
    Press(ChooserTile(9));
    PaintAt(ViewCell(2, 2));
    Click(CMapsDlg::IdcTest);

    const auto received = emulator.Received();
    ASSERT_TRUE(received.has_value()) << messages.join("; ").toStdString();
    const auto& [args, bytes] = *received;
    ASSERT_EQ(args.size(), 2);
    EXPECT_TRUE(args[0].startsWith("--rom=" + temp + "/")) << args[0].toStdString();
    EXPECT_TRUE(args[0].endsWith("/map-test1.nes")) << args[0].toStdString();
    EXPECT_EQ(args[1], "--speed=100%");
    auto expected = std::make_unique<CRomImage>(*rom);
    ASSERT_TRUE(worldmap::StoreWorldMap(*expected, 0, dlg->MapGrid(),
                                        worldmap::CountFreeBytes(*expected)));
    EXPECT_EQ(bytes, Image(*expected));
    EXPECT_NE(bytes, image);
    EXPECT_EQ(Image(*rom), image);
    EXPECT_EQ(FileBytes(), image);
    EXPECT_EQ(At(2, 2), 9);
    EXPECT_TRUE(dlg->Document().GridDiffersFromStore());
    EXPECT_TRUE(messages.isEmpty());
    qunsetenv("TMPDIR");
    qunsetenv(app::EmulatorVariable);
}

// F5 in the World window does the same (the file appended without %f); a map that does
// not fit is refused as a store is, and a missing emulator is explained; neither starts
// anything.
TEST_F(MapsDlgTest, TestIsRefusedLikeAStoreAndExplainsAMissingEmulator) {
    StandInEmulator emulator(dir.filePath("emu dir"));
    Open(RomBuilder().FreeBytes(0).Build());
    Press(ChooserTile(9));
    PaintAt(ViewCell(2, 2));
    qputenv(app::EmulatorVariable, ("\"" + emulator.Path() + "\"").toUtf8());
    Key(Qt::Key_F5, Qt::NoModifier);
    EXPECT_EQ(messages, QStringList{"Store Values failed"});
    EXPECT_TRUE(details.value(0).startsWith("The map needs"));
    EXPECT_FALSE(emulator.Ran());

    qputenv(app::EmulatorVariable, "/no/such/emulator %f");
    Key(Qt::Key_Z);
    Key(Qt::Key_F5, Qt::NoModifier);
    qunsetenv(app::EmulatorVariable);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", dir.path().toUtf8());
    Click(CMapsDlg::IdcTest);
    qputenv("PATH", path);
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(messages[1], "The emulator could not be started");
    EXPECT_TRUE(messages[2].startsWith("No emulator found.")) << messages[2].toStdString();
    EXPECT_TRUE(messages[2].contains("ATLASFORGE_EMULATOR")) << messages[2].toStdString();

    qputenv(app::EmulatorVariable, ("\"" + emulator.Path() + "\"").toUtf8());
    const bool opened = ModalOpens([&] { Click(CMapsDlg::IdcWorld); }, [&](QWidget* window) {
        QApplication::setActiveWindow(window);
        QTest::keyClick(window, Qt::Key_F5);
    });
    qunsetenv(app::EmulatorVariable);
    ASSERT_TRUE(opened);
    const auto received = emulator.Received();
    ASSERT_TRUE(received.has_value()) << messages.join("; ").toStdString();
    EXPECT_EQ(received->first.size(), 1);
    EXPECT_EQ(received->second, Image(*rom));
    EXPECT_EQ(messages.size(), 3);
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
