#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

#include "edit/GridOps.h"
#include "edit/MapDocument.h"
#include "gfx/MapCanvas.h"
#include "gfx/TileRenderer.h"
#include "mapeditor/BudgetView.h"
#include "mapeditor/WorldDlg.h"
#include "tests/support/MapGrids.h"
#include "tests/support/RomBuilder.h"
#include "worldmap/WorldMap.h"

namespace {

using testsupport::RomBuilder;
using Tool = WorldCanvas::Tool;

class WorldDlgTest : public ::testing::Test {
  protected:
    // A map of patches and runs, so fills and replaces have real areas to work on, and a
    // few distinct colours so the window has something to show.
    void Open(int scrollX = 0, int scrollY = 0, int freeBytes = -1) {
        rom = RomBuilder()
                  .Map(0, testsupport::RandomGrid(11, 30, 40, 6))
                  .Map(1, testsupport::StripedGrid(2))
                  .NoiseGraphics(777)
                  .FreeBytes(freeBytes) // -1: the builder's own default
                  .Build();
        ASSERT_NE(rom, nullptr);
        doc = std::make_unique<edit::MapDocument>(*rom, 0);
        dlg = std::make_unique<CWorldDlg>(*doc, scrollX, scrollY);
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        dlg->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
        before = expected = doc->MapGrid();
    }
    void TearDown() override { CWorldDlg::SetReplaceFunction({}); }

    QWidget* View() const { return dlg->Canvas()->viewport(); }
    // The centre of map cell (x, y) in the canvas's viewport.
    QPoint At(int x, int y) const {
        const int half = dlg->Canvas()->CellPixels() / 2;
        return dlg->Canvas()->CellPosition({x, y}) + QPoint(half, half);
    }
    void Send(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(p), QPointF(View()->mapToGlobal(p)), button, held, {});
        QApplication::sendEvent(View(), &event);
    }
    void Press(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        Send(QEvent::MouseButtonPress, p, b, b);
    }
    void Move(QPoint p, Qt::MouseButtons held = Qt::LeftButton) {
        Send(QEvent::MouseMove, p, Qt::NoButton, held);
    }
    void Release(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        Send(QEvent::MouseButtonRelease, p, b, Qt::NoButton);
    }
    void Click(QPoint p, Qt::MouseButton b = Qt::LeftButton) { Press(p, b), Release(p, b); }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(dlg.get(), static_cast<Qt::Key>(key), mods);
    }
    void Wheel(QPoint p, int delta, Qt::KeyboardModifiers mods) {
        QWheelEvent event(QPointF(p), QPointF(View()->mapToGlobal(p)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(View(), &event);
    }
    void Choose(int tile) {
        QTest::mouseClick(dlg->TileSheet(), Qt::LeftButton, {}, TilePalette::TileCentre(tile));
    }

    std::unique_ptr<CRomImage> rom;
    std::unique_ptr<edit::MapDocument> doc;
    std::unique_ptr<CWorldDlg> dlg;
    worldmap::Grid before{};
    worldmap::Grid expected{}; // what the test has done so far, done by the grid operations
};

TEST_F(WorldDlgTest, BrushPaintsGaplessLinesAsOneUndoStep) {
    Open(10, 10);
    Choose(99);
    const std::size_t steps = doc->UndoCount(0);
    Press(At(12, 12));
    Move(At(30, 19)); // a jump: the cells between are painted too
    Move(At(30, 25));
    Release(At(30, 25));
    edit::DrawLine(expected, {12, 12}, {30, 19}, 99);
    edit::DrawLine(expected, {30, 19}, {30, 25}, 99);
    EXPECT_EQ(doc->MapGrid(), expected);
    EXPECT_EQ(doc->UndoCount(0), steps + 1);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(doc->MapGrid(), before);
    Key(Qt::Key_Y, Qt::ControlModifier); // and back: what follows paints over it

    // Past the canvas's edge (over the tile palette) nothing is painted where it cannot be
    // seen, and coming back draws no line along the outside.
    const int width = View()->width();
    const edit::Cell edge = dlg->Canvas()->CellAt(QPoint(width - 1, 100));
    const int lowY = dlg->Canvas()->CellAt(QPoint(0, 400)).y;
    Press(At(edge.x - 2, edge.y));
    Move(QPoint(width + 60, 100));
    Move(At(edge.x - 1, lowY));
    Release(At(edge.x - 1, lowY));
    edit::SetCell(expected, {edge.x - 2, edge.y}, 99);
    edit::SetCell(expected, {edge.x - 1, lowY}, 99);
    EXPECT_EQ(doc->MapGrid(), expected);
}

// Esc undoes the drag in progress back to where it began and leaves the window open; a
// brush stroke it ends as the step it is. Only an Esc with nothing to cancel closes.
TEST_F(WorldDlgTest, EscCancelsOnlyTheDragInProgress) {
    Open(0, 0);
    Key(Qt::Key_R);
    Press(At(2, 2));
    Move(At(6, 6));
    Key(Qt::Key_Escape);
    Move(At(7, 7));
    Release(At(7, 7));
    EXPECT_EQ(doc->MapGrid(), before) << "a cancelled rectangle fills nothing";

    Key(Qt::Key_B);
    Choose(99);
    const std::size_t steps = doc->UndoCount(0);
    Press(At(2, 8));
    Move(At(4, 8));
    Key(Qt::Key_Escape);
    Move(At(9, 8)); // the rest of the drag paints nothing
    Release(At(9, 8));
    edit::DrawLine(expected, {2, 8}, {4, 8}, 99);
    EXPECT_EQ(doc->MapGrid(), expected);
    EXPECT_EQ(doc->UndoCount(0), steps + 1);
    EXPECT_TRUE(dlg->isVisible());
    Key(Qt::Key_Escape);
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(WorldDlgTest, FillPickAndRightClickAgreeWithTheGridOperations) {
    Open(0, 0);
    Key(Qt::Key_F);
    Choose(120);
    Click(At(5, 6));
    edit::FloodFill(expected, {5, 6}, 120);
    EXPECT_EQ(doc->MapGrid(), expected);

    // A right click takes the tile under the pointer whatever the tool, and the tool stays;
    // Pick takes one and hands back to the tool before it.
    Click(At(40, 2), Qt::RightButton);
    EXPECT_EQ(doc->SelectedTile(), doc->At({40, 2}));
    Key(Qt::Key_I);
    Click(At(3, 30));
    EXPECT_EQ(doc->SelectedTile(), doc->At({3, 30}));
    EXPECT_EQ(dlg->Canvas()->CurrentTool(), Tool::Fill);
    EXPECT_TRUE(dlg->ToolAction(Tool::Fill)->isChecked());
    EXPECT_EQ(doc->MapGrid(), expected);
}

TEST_F(WorldDlgTest, SelectCopyAndStampPasteDroppingCellsPastTheEdge) {
    Open(200, 220);
    WorldCanvas* canvas = dlg->Canvas();
    Key(Qt::Key_S);
    Press(At(214, 233));
    Move(At(210, 230));
    Release(At(210, 230));
    // Esc during another drag puts the selection back as it was.
    Press(At(201, 221));
    Move(At(205, 225));
    Key(Qt::Key_Escape);
    Release(At(205, 225));
    ASSERT_TRUE(canvas->Selection().has_value());
    EXPECT_EQ(canvas->Selection()->a, (edit::Cell{210, 230}));
    EXPECT_EQ(canvas->Selection()->b, (edit::Cell{214, 233}));
    Key(Qt::Key_C, Qt::ControlModifier);
    const edit::Block block = edit::CopyRect(before, {{210, 230}, {214, 233}});

    // Esc drops a stamp and leaves the window open.
    Key(Qt::Key_V, Qt::ControlModifier);
    Key(Qt::Key_Escape);
    EXPECT_FALSE(canvas->HasStamp());
    EXPECT_TRUE(dlg->isVisible());

    Key(Qt::Key_V, Qt::ControlModifier);
    Move(At(253, 240), Qt::NoButton);
    Click(At(253, 240));
    EXPECT_FALSE(canvas->HasStamp());
    edit::Paste(expected, block, {253, 240});
    EXPECT_EQ(doc->MapGrid(), expected);

    // A click without a drag clears the selection.
    Click(At(205, 225));
    EXPECT_FALSE(canvas->Selection().has_value());
}

// Held past the canvas's edge, a drag scrolls the view that way, its far corner on the cell
// at the edge, and stops at the map's last column. The status bar names no cell there.
TEST_F(WorldDlgTest, ADragPastTheEdgeScrollsTheViewUpToTheMapsEnd) {
    Open(0, 0);
    WorldCanvas* canvas = dlg->Canvas();
    Key(Qt::Key_S);
    Press(At(3, 3));
    const QPoint outside(View()->width() + 300, At(0, 6).y());
    Move(outside);
    EXPECT_EQ(dlg->CellText(), "");
    const QPoint origin = canvas->Origin();
    canvas->AutoScroll();
    EXPECT_EQ(canvas->Origin(), origin + QPoint(canvas->CellPixels(), 0));
    EXPECT_EQ(canvas->Selection()->b, canvas->CellAt(QPoint(View()->width() - 1, outside.y())));
    for (int i = 0; i < 300; ++i) {
        canvas->AutoScroll();
    }
    Release(outside);
    EXPECT_EQ(canvas->Selection()->b, (edit::Cell{255, 6}));
    EXPECT_EQ(doc->MapGrid(), before);
}

TEST_F(WorldDlgTest, ReplaceInTheSelectionOrTheWholeMap) {
    Open(0, 0);
    const uint8_t from = before[0];
    std::optional<CWorldDlg::ReplaceChoice> answer = CWorldDlg::ReplaceChoice{from, 126, true};
    bool offeredSelection = false;
    CWorldDlg::SetReplaceFunction(
        [&](QWidget*, const CWorldDlg::ReplaceChoice&, bool hasSelection) {
            offeredSelection = hasSelection;
            return answer;
        });
    Key(Qt::Key_S);
    Press(At(0, 0));
    Move(At(20, 20));
    Release(At(20, 20));
    Key(Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(offeredSelection);
    edit::ReplaceTile(expected, from, 126, edit::Rect{{0, 0}, {20, 20}});
    EXPECT_EQ(doc->MapGrid(), expected);

    answer = CWorldDlg::ReplaceChoice{126, 1, false};
    dlg->Replace();
    edit::ReplaceTile(expected, 126, 1);
    EXPECT_EQ(doc->MapGrid(), expected);
}

TEST_F(WorldDlgTest, ZoomAndScrollKeepThePointersCell) {
    Open(100, 100);
    WorldCanvas* canvas = dlg->Canvas();
    // The pointer stays at one place on the screen; the viewport moves when the row gutter
    // comes and goes at 1/2, so its own coordinates are worked out at every step.
    const QPoint onScreen = canvas->viewport()->mapTo(dlg.get(), QPoint(301, 207));
    const auto pointer = [&] { return canvas->viewport()->mapFrom(dlg.get(), onScreen); };
    const edit::Cell cell = canvas->CellAt(pointer());
    // In to 4 and no further, out to 1/4 past the gutter (the map still fills the view),
    // and back in across it.
    for (int delta : {120, 120, 120, -120, -120, -120, -120, 120}) {
        Wheel(pointer(), delta, Qt::ControlModifier);
        EXPECT_EQ(canvas->CellAt(pointer()), cell) << "zoom " << canvas->Zoom();
    }
    EXPECT_EQ(canvas->CellPixels(), 8);

    // In and out again, or out and in, is the same view: across the gutter's step too.
    for (int step : {1, 3}) {
        canvas->SetZoom(step);
        canvas->SetOrigin(QPoint(301, 207));
        const QPoint origin = canvas->Origin();
        Key(Qt::Key_Plus, Qt::ControlModifier);
        Key(Qt::Key_Minus, Qt::ControlModifier);
        EXPECT_EQ(canvas->Origin(), origin) << "in and out from zoom step " << step;
        Key(Qt::Key_Minus, Qt::ControlModifier);
        Key(Qt::Key_Plus, Qt::ControlModifier);
        EXPECT_EQ(canvas->Origin(), origin) << "out and in from zoom step " << step;
    }

    // The whole map fits at the zoom Ctrl+0 chooses, and would not at the next one.
    Key(Qt::Key_0, Qt::ControlModifier);
    const QSize view = canvas->viewport()->size();
    EXPECT_LE(256 * canvas->CellPixels(), std::min(view.width(), view.height()));
    EXPECT_GT(512 * canvas->CellPixels(), std::min(view.width(), view.height()));
    EXPECT_TRUE(edit::InMap(canvas->CellAt(QPoint(view.width() / 2, view.height() / 2))));
    Key(Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(canvas->CellPixels(), 16);

    // The wheel scrolls (Shift sideways), the arrow keys and a middle-drag too, and the
    // status bar names the cell under the pointer after each, not the one it was over before.
    canvas->ScrollToCell({100, 100});
    const auto under = [&](QPoint p) {
        const edit::Cell c = canvas->CellAt(p);
        return QStringLiteral("x %1, y %2").arg(c.x).arg(c.y);
    };
    const QPoint p(301, 207);
    Move(p, Qt::NoButton);
    const QPoint start = canvas->Origin();
    Wheel(p, -120, Qt::NoModifier);
    EXPECT_EQ(canvas->Origin(), start + QPoint(0, 3 * 16));
    EXPECT_EQ(dlg->CellText(), under(p));
    Wheel(p, -120, Qt::ShiftModifier);
    EXPECT_EQ(canvas->Origin(), start + QPoint(3 * 16, 3 * 16));
    Key(Qt::Key_Left);
    EXPECT_EQ(canvas->Origin(), start + QPoint(-16, 3 * 16));
    const QPoint panned = canvas->Origin() + QPoint(100, 50);
    Press(p, Qt::MiddleButton);
    Move(p - QPoint(100, 50), Qt::MiddleButton);
    Release(p - QPoint(100, 50), Qt::MiddleButton);
    EXPECT_EQ(canvas->Origin(), panned);
    EXPECT_EQ(dlg->CellText(), under(p - QPoint(100, 50)));
    Press(p, Qt::MiddleButton);
    Move(p + QPoint(30, 20), Qt::MiddleButton);
    Key(Qt::Key_Escape);
    EXPECT_EQ(canvas->Origin(), panned) << "Esc puts the view back where the pan began";
    EXPECT_EQ(doc->MapGrid(), before);
}

// What the canvas must show over the map: the grid composed afresh, with the overlay given.
void ExpectCanvasShows(WorldCanvas* canvas, const CRomImage& rom, const worldmap::Grid& grid,
                       const gfx::CellOverlay* overlay, const char* when) {
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(rom, 0, *tiles);
    gfx::ScaledTiles scaled;
    scaled.Build(*tiles, canvas->CellPixels(), canvas->GridVisible());
    const QImage shot = canvas->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint o = canvas->Origin();
    std::vector<uint32_t> want(static_cast<std::size_t>(shot.width() * shot.height()));
    gfx::ComposeOptions options;
    options.overlay = overlay;
    gfx::ComposeMap(grid, scaled, o.x(), o.y(), shot.width(), shot.height(), want.data(),
                    shot.width(), options);
    // The overlay's dashed outline is drawn over its edge cells' border pixels.
    const QRect frame = overlay == nullptr
                            ? QRect()
                            : QRect(canvas->CellPosition({overlay->left, overlay->top}),
                                    QSize(overlay->width, overlay->height) * canvas->CellPixels());
    int wrong = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const bool outline =
                frame.contains(x, y) && !frame.adjusted(1, 1, -1, -1).contains(x, y);
            wrong += !outline &&
                     shot.pixel(x, y) != want[static_cast<std::size_t>(y * shot.width() + x)];
        }
    }
    EXPECT_EQ(wrong, 0) << when;
}

// Zoomed out the whole map is kept drawn; from zoom 1 it is drawn from the grid each time.
// Either way the canvas shows what the document holds, however it was changed.
TEST_F(WorldDlgTest, TheCanvasShowsEveryEditPreviewAndUndo) {
    Open(0, 0);
    WorldCanvas* canvas = dlg->Canvas();
    for (int zoom : {1, 3}) {
        canvas->SetZoom(zoom);
        canvas->SetOrigin(QPoint(0, 0));
        const worldmap::Grid start = doc->MapGrid();
        ExpectCanvasShows(canvas, *rom, start, nullptr, "as opened");
        Key(Qt::Key_R);
        const auto tile = static_cast<uint8_t>(64 + zoom);
        Choose(tile);
        Press(At(9, 12));
        Move(At(2, 3));
        const gfx::CellOverlay preview{2, 3, 8, 10, nullptr, tile};
        ExpectCanvasShows(canvas, *rom, start, &preview, "while dragging");
        EXPECT_EQ(doc->MapGrid(), start) << "a preview changes nothing yet";
        Release(At(2, 3));
        worldmap::Grid expected = start;
        edit::FillRect(expected, {{2, 3}, {9, 12}}, tile);
        EXPECT_EQ(doc->MapGrid(), expected);
        ExpectCanvasShows(canvas, *rom, expected, nullptr, "after the rectangle");
        Key(Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(doc->MapGrid(), start);
        ExpectCanvasShows(canvas, *rom, start, nullptr, "after undo");
        doc->SetCell({5, 7}, 100); // through the document alone
        ExpectCanvasShows(canvas, *rom, doc->MapGrid(), nullptr, "after another view's edit");
    }
}

TEST_F(WorldDlgTest, BudgetFollowsEveryEditAndTurnsRedAboveTheRoom) {
    Open(0, 0, 12);
    auto measured = [&] { return worldmap::MeasureStore(*rom, 0, doc->MapGrid()); };
    // What the label shows, and whether in the colour of a budget that is over.
    QLabel* label = dlg->BudgetLabel();
    auto red = [&] {
        return label->palette().color(QPalette::WindowText) == mapeditor::OverBudgetColour;
    };
    EXPECT_EQ(label->text(),
              QStringLiteral("Needs %1 of %2").arg(measured().newSize).arg(measured().available));
    EXPECT_FALSE(red());
    // A checkerboard stroke makes rows dearer than 12 free bytes allow.
    Key(Qt::Key_B);
    for (int x = 0; x < 40; x += 2) {
        Choose(x % 4 == 0 ? 90 : 91);
        Click(At(x, 3));
    }
    const worldmap::StoreReport now = measured();
    EXPECT_GT(now.newSize, now.available);
    EXPECT_EQ(label->text(), QStringLiteral("Needs %1 of %2").arg(now.newSize).arg(now.available));
    EXPECT_TRUE(red());
}

TEST_F(WorldDlgTest, GutterTellsWhatEachRowCostsOrWhichRowItShares) {
    Open(0, 0);
    // Make row 2 unlike any other, and row 3 a copy of it.
    doc->SetCell({7, 2}, 127);
    doc->Paste(doc->Copy({{0, 2}, {255, 2}}), {0, 3});
    auto* gutter = dlg->Canvas()->findChild<RowGutter*>();
    ASSERT_NE(gutter, nullptr);
    ASSERT_TRUE(gutter->isVisible());
    const int cp = dlg->Canvas()->CellPixels();
    uint8_t coded[256];
    const int row2 =
        worldmap::EncodeRow(std::span<const uint8_t, 256>(doc->MapGrid().data() + 512, 256), coded);
    EXPECT_EQ(gutter->TextAt(2 * cp + 3), QStringLiteral("row 2: %1 bytes").arg(row2));
    EXPECT_EQ(gutter->TextAt(3 * cp + 3), "row 3: shares row 2");
    // Below 1/2 the rows are too thin to read: no gutter.
    dlg->Canvas()->SetZoom(1);
    EXPECT_FALSE(gutter->isVisible());
}

// The status bar names the cell under the pointer and its tile, the zoom and the highlighted
// tile's count, and follows every edit and choice of tile.
TEST_F(WorldDlgTest, StatusBarFollowsThePointerTheTileAndEveryEdit) {
    Open(0, 0);
    Move(At(7, 9), Qt::NoButton);
    const int tile = doc->At({7, 9});
    EXPECT_EQ(dlg->CellText(), "x 7, y 9");
    EXPECT_EQ(dlg->TileText(), QString::asprintf("tile %d (0x%02x)", tile, tile));
    EXPECT_EQ(dlg->ZoomText(), "Zoom 1");
    EXPECT_EQ(dlg->HighlightText(), "");
    Click(At(7, 9), Qt::RightButton);
    Key(Qt::Key_H);
    const auto count = std::count(doc->MapGrid().begin(), doc->MapGrid().end(), tile);
    EXPECT_EQ(dlg->HighlightText(), QStringLiteral("tile %1: %2 cells").arg(tile).arg(count));
    const int other = tile == 127 ? 126 : 127;
    const auto others = std::count(doc->MapGrid().begin(), doc->MapGrid().end(), other);
    Choose(other);
    EXPECT_EQ(dlg->HighlightText(), QStringLiteral("tile %1: %2 cells").arg(other).arg(others));
    Click(At(7, 9));
    EXPECT_EQ(dlg->HighlightText(), QStringLiteral("tile %1: %2 cells").arg(other).arg(others + 1));
    EXPECT_EQ(dlg->TileText(), QString::asprintf("tile %d (0x%02x)", other, other));
}

TEST_F(WorldDlgTest, ClosingKeepsTheEditsUnstoredAndTellsTheEditorWhereToLook) {
    // At the far corner the canvas cannot put cell (240, 240) at its top left; a view that
    // never moved still sends the editor back there.
    Open(240, 240);
    EXPECT_NE(dlg->Canvas()->CellAt(QPoint(0, 0)), (edit::Cell{240, 240}));
    Choose(3);
    Click(At(250, 250));
    const std::vector<uint8_t> stored(rom->RomBytes, rom->RomBytes + RomFileSize);
    Key(Qt::Key_Return);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->LastTopLeft(), (edit::Cell{240, 240}));
    EXPECT_EQ(doc->At({250, 250}), 3);
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), rom->RomBytes));

    // Once it moved, the editor's 16 by 16 cells lie around the middle of what was in view.
    dlg->show();
    dlg->Canvas()->ScrollToCell({120, 60});
    const QSize view = View()->size();
    const edit::Cell middle = dlg->Canvas()->CellAt(QPoint(view.width() / 2, view.height() / 2));
    QTest::mouseClick(dlg->findChild<QPushButton*>(), Qt::LeftButton); // "Close"
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->LastTopLeft(), (edit::Cell{middle.x - 8, middle.y - 8}));
}

} // namespace
