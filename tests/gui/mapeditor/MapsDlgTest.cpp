#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "app/Platform.h"
#include "gfx/TileRenderer.h"
#include "mapeditor/MapsDlg.h"
#include "tests/support/RomBuilder.h"
#include "worldmap/WorldMap.h"

namespace {

using testsupport::RomBuilder;
using Grid = std::vector<uint8_t>;

// Varied maps and random tile graphics over 64 distinct colours, so that tiles look apart.
RomBuilder GraphicsBuilder() {
    uint32_t seed = 12345;
    auto random = [&seed](std::size_t n) {
        std::vector<uint8_t> bytes(n);
        for (uint8_t& b : bytes) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<uint8_t>(seed >> 16);
        }
        return bytes;
    };
    RomBuilder builder;
    builder.Map(0, testsupport::RandomGrid(7)).Map(1, testsupport::StripedGrid(3));
    builder.Poke(gfx::QuarterTables, random(0x500))
        .Poke(gfx::MapPalettes, random(48))
        .Poke(gfx::Patterns, random(0x2000));
    for (int i = 0; i < 64; ++i) {
        builder.Colour(i, static_cast<uint32_t>(i * 4 | (255 - i * 4) << 8 | (i * 37 % 256) << 16));
    }
    return builder;
}

Grid Decode(const CRomImage& rom, int mapId) {
    Grid grid(worldmap::GridSize);
    worldmap::DecodeWorldMap(rom, mapId, grid.data());
    return grid;
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
        app::SetMessageBoxFunction([this](const QString& text) { messages << text; });
    }
    void TearDown() override { app::SetMessageBoxFunction({}); }

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

    void Send(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button,
              Qt::MouseButtons held) {
        QMouseEvent event(type, at, target->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
    // As the window system delivers a press: to the control under the point, if any.
    void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QWidget* child = dlg->childAt(at);
        QWidget* target = child != nullptr ? child : dlg.get();
        Send(target, QEvent::MouseButtonPress, target->mapFrom(dlg.get(), at), button, button);
    }
    // Moves with the button held and the release go to the window that saw the press.
    void Drag(QPoint at) { Send(dlg.get(), QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton); }
    void Hover(QPoint at) { Send(dlg.get(), QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton); }
    void Release(QPoint at) {
        Send(dlg.get(), QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    }
    void PaintAt(QPoint at) {
        Press(at);
        Release(at);
    }
    void Click(int id) { QTest::mouseClick(dlg->GetDlgItem(id), Qt::LeftButton); }
    void PickMap(int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QListWidget* list = dlg->MapListBox;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods,
                          list->visualItemRect(list->item(row)).center());
    }
    void Wheel(QPoint at, QPoint angle, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWheelEvent event(at, dlg->mapToGlobal(at), QPoint(), angle, Qt::NoButton, mods,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(dlg.get(), &event);
    }
    int At(int x, int y) const { return dlg->MapGrid[static_cast<std::size_t>(y * 256 + x)]; }
    Grid Shown() const { return Grid(dlg->MapGrid.begin(), dlg->MapGrid.end()); }
    std::vector<uint8_t> FileBytes() const {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(testsupport::ReadFile(rom->RomPath, bytes));
        return bytes;
    }
    static std::vector<uint8_t> Bytes(const CRomImage& image) {
        return std::vector<uint8_t>(image.RomBytes, image.RomBytes + RomFileSize);
    }

    QTemporaryDir dir;
    QStringList messages;
    std::unique_ptr<CRomImage> rom;
    std::unique_ptr<CMapsDlg> dlg;
};

TEST_F(MapsDlgTest, OpensOnTheFirstMap) {
    Open(GraphicsBuilder().Build());
    const char* names[] = {"Floating World Map", "Water World Map", "Standard World Map",
                           "Under Water World Map"};
    ASSERT_EQ(dlg->MapListBox->count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(dlg->MapListBox->item(i)->text(), names[i]);
    }
    EXPECT_EQ(dlg->GetCurSel(CMapsDlg::IdcMapList), 0);
    EXPECT_EQ(Shown(), Decode(*rom, 0));
    EXPECT_EQ(dlg->FreeBytesText->text(), QString::number(worldmap::CountFreeBytes(*rom)));
    EXPECT_EQ(dlg->MetatileSet.GetImageCount(), 128);
    for (QScrollBar* bar : {dlg->VertScrollBar, dlg->HorzScrollBar}) {
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 240);
        EXPECT_EQ(bar->value(), 0);
    }
    EXPECT_EQ(dlg->SelectedTile, 0);
    EXPECT_EQ(dlg->LastPaintedX, -1);
    EXPECT_FALSE(dlg->Dragging);
}

TEST_F(MapsDlgTest, PressesAtTheEdgesOfTheRectangles) {
    Open(GraphicsBuilder().Build());
    Press({465 + 16 * 3 + 5, 158 + 16 * 2 + 9});
    EXPECT_EQ(dlg->SelectedTile, 35);
    Press({720, 285});
    EXPECT_EQ(dlg->SelectedTile, 127);
    Press({721, 285});
    Press({720, 286});
    EXPECT_EQ(dlg->SelectedTile, 127);

    const Grid before = Shown();
    PaintAt({419, 100});
    PaintAt({300, 286});
    EXPECT_EQ(Shown(), before);
    PaintAt({163, 30});
    PaintAt({418, 285});
    EXPECT_EQ(At(0, 0), 127);
    EXPECT_EQ(At(15, 15), 127);
    EXPECT_EQ(dlg->LastPaintedX, 15);
    EXPECT_EQ(dlg->LastPaintedY, 15);
}

TEST_F(MapsDlgTest, StrokePaintsTheCellsItCrossesAndEndsWithTheButton) {
    Open(GraphicsBuilder().Build());
    Press(ChooserTile(100));
    Press(ViewCell(1, 1));
    Drag(ViewCell(1, 1) + QPoint(3, 3));
    Drag(ViewCell(2, 1));
    Drag({600, 60}); // out of the view, over the buttons' column
    Drag(ViewCell(3, 1));
    EXPECT_TRUE(dlg->Dragging);
    Release({600, 60});
    Drag(ViewCell(4, 1));
    EXPECT_EQ(At(1, 1), 100);
    EXPECT_EQ(At(2, 1), 100);
    EXPECT_EQ(At(3, 1), 100);
    EXPECT_NE(At(4, 1), 100);

    // A right press ends a stroke, and so does a move with no button held (a release
    // that never arrived).
    Press(ViewCell(5, 5));
    Press({600, 100}, Qt::RightButton);
    Drag(ViewCell(6, 5));
    EXPECT_NE(At(6, 5), 100);
    Press(ViewCell(5, 6));
    Hover(ViewCell(6, 6));
    EXPECT_FALSE(dlg->Dragging);
    Drag(ViewCell(7, 6));
    EXPECT_NE(At(6, 6), 100);
    EXPECT_NE(At(7, 6), 100);
}

TEST_F(MapsDlgTest, RightButtonPicksTheTileUnderThePointer) {
    Open(GraphicsBuilder().Build());
    const Grid before = Shown();
    Press(ViewCell(4, 9), Qt::RightButton);
    EXPECT_EQ(dlg->SelectedTile, At(4, 9));
    EXPECT_TRUE(dlg->LastInvalidateErased());
    Press(ChooserTile(77), Qt::RightButton);
    EXPECT_EQ(dlg->SelectedTile, 77);
    EXPECT_EQ(Shown(), before);
    EXPECT_EQ(dlg->LastPaintedX, -1);
}

TEST_F(MapsDlgTest, ScrollCodesAndWheelClampToTheMap) {
    Open(GraphicsBuilder().Build());
    QScrollBar* v = dlg->VertScrollBar;
    QScrollBar* h = dlg->HorzScrollBar;
    v->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(dlg->ScrollY, 0);
    v->setSliderDown(true);
    v->setSliderPosition(230);
    v->setSliderDown(false);
    EXPECT_EQ(dlg->ScrollY, 230);
    v->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(dlg->ScrollY, 240);
    EXPECT_EQ(v->value(), 240);
    h->triggerAction(QAbstractSlider::SliderPageStepAdd);
    h->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(dlg->ScrollX, 15);
    EXPECT_EQ(h->value(), 15);

    Press(ChooserTile(100));
    PaintAt({163, 30});
    EXPECT_EQ(At(15, 240), 100);

    // One row per notch, fractions added up; Shift turns it to columns.
    Wheel(ViewCell(0, 0), {0, 120});
    Wheel(ViewCell(0, 0), {0, 60});
    Wheel(ViewCell(0, 0), {0, 60});
    EXPECT_EQ(dlg->ScrollY, 238);
    EXPECT_EQ(v->value(), 238);
    Wheel(ViewCell(0, 0), {0, -120 * 5});
    EXPECT_EQ(dlg->ScrollY, 240);
    Wheel(ViewCell(0, 0), {0, -120}, Qt::ShiftModifier);
    EXPECT_EQ(dlg->ScrollX, 16);
    EXPECT_EQ(h->value(), 16);
    Wheel(ChooserTile(0), {0, 120});
    EXPECT_EQ(dlg->ScrollY, 240);
}

TEST_F(MapsDlgTest, ChangeOfMapStoresTheMapAndKeepsScrollAndTile) {
    Open(GraphicsBuilder().Build());
    dlg->HorzScrollBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    dlg->VertScrollBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    Press(ChooserTile(100));
    PaintAt(ViewCell(0, 0));
    const Grid edited = Shown();
    const std::vector<uint8_t> image = Bytes(*rom);

    PickMap(0, Qt::ControlModifier); // deselects the item: no map to change to
    EXPECT_EQ(dlg->GetCurSel(CMapsDlg::IdcMapList), 0);
    EXPECT_EQ(Bytes(*rom), image);
    EXPECT_TRUE(dlg->CanUndo());

    PickMap(1);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(dlg->WorldMapId, 1);
    EXPECT_EQ(Decode(*rom, 0), edited);
    EXPECT_EQ(Shown(), Decode(*rom, 1));
    EXPECT_EQ(dlg->FreeBytesText->text(), QString::number(worldmap::CountFreeBytes(*rom)));
    EXPECT_EQ(dlg->ScrollX, 16);
    EXPECT_EQ(dlg->ScrollY, 1);
    EXPECT_EQ(dlg->SelectedTile, 100);
    EXPECT_FALSE(dlg->CanUndo());
}

TEST_F(MapsDlgTest, RefusedStoreOnChangeOfMapKeepsTheMapBeingEdited) {
    Open(RomBuilder().FreeBytes(0).Build());
    const std::vector<uint8_t> image = Bytes(*rom);
    Press(ChooserTile(9));
    PaintAt(ViewCell(2, 2));
    const Grid edited = Shown();

    PickMap(2);
    EXPECT_EQ(messages, QStringList{"Store Values failed"});
    EXPECT_EQ(dlg->WorldMapId, 0);
    EXPECT_EQ(dlg->GetCurSel(CMapsDlg::IdcMapList), 0);
    EXPECT_EQ(Shown(), edited);
    EXPECT_EQ(Bytes(*rom), image);
    EXPECT_TRUE(dlg->CanUndo());
}

TEST_F(MapsDlgTest, SaveAndDoneWriteWhatTheStoreGives) {
    Open(GraphicsBuilder().Build());
    CRomImage expected = *rom;
    Press(ChooserTile(100));
    PaintAt(ViewCell(3, 3));
    ASSERT_TRUE(worldmap::StoreWorldMap(expected, 0, dlg->MapGrid.data(),
                                        worldmap::CountFreeBytes(expected)));
    Click(CMapsDlg::IdcSave);
    EXPECT_EQ(FileBytes(), Bytes(expected));
    EXPECT_EQ(dlg->FreeBytesText->text(), QString::number(worldmap::CountFreeBytes(expected)));
    EXPECT_FALSE(dlg->Ended());

    PaintAt(ViewCell(4, 4));
    ASSERT_TRUE(worldmap::StoreWorldMap(expected, 0, dlg->MapGrid.data(),
                                        worldmap::CountFreeBytes(expected)));
    Click(IDOK);
    EXPECT_EQ(FileBytes(), Bytes(expected));
    EXPECT_TRUE(dlg->Ended());
    EXPECT_EQ(dlg->EndResult(), IDOK);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MapsDlgTest, RefusedStoreOnSaveOrDoneWritesNothingAndStaysOpen) {
    Open(RomBuilder().FreeBytes(0).Build());
    const std::vector<uint8_t> file = FileBytes();
    Press(ChooserTile(9));
    PaintAt(ViewCell(2, 2));
    Click(CMapsDlg::IdcSave);
    Click(IDOK);
    EXPECT_EQ(messages, QStringList({"Store Values failed", "Store Values failed"}));
    EXPECT_EQ(FileBytes(), file);
    EXPECT_FALSE(dlg->Ended());
    EXPECT_EQ(At(2, 2), 9);
}

TEST_F(MapsDlgTest, UnwritableFileIsReportedAndDoneStaysOpenUntilCancel) {
    Open(GraphicsBuilder().Build());
    rom->RomPath = dir.filePath("missing/map.nes").toStdString();
    Press(ChooserTile(100));
    PaintAt(ViewCell(0, 0));
    Click(IDOK);
    EXPECT_EQ(messages, QStringList{"Error!\nCould not save changes to ROM"});
    EXPECT_FALSE(dlg->Ended());
    EXPECT_EQ(Decode(*rom, 0), Shown());
    Click(IDCANCEL);
    EXPECT_TRUE(dlg->Ended());
    EXPECT_EQ(dlg->EndResult(), IDCANCEL);
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(MapsDlgTest, UndoAndRedoWholeStrokesFromTheKeyboard) {
    Open(GraphicsBuilder().Build());
    const Grid original = Shown();
    Press(ChooserTile(100));
    Press(ViewCell(0, 0));
    Drag(ViewCell(1, 0));
    Drag(ViewCell(0, 0)); // back over a painted cell
    Release(ViewCell(0, 0));
    const Grid first = Shown();
    PaintAt(ViewCell(2, 0));
    const Grid second = Shown();

    // Keys reach the list, which has the focus, and pass on to the window.
    QWidget* focus = dlg->MapListBox;
    QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Shown(), first);
    QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Shown(), original);
    QTest::keyClick(focus, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Shown(), first);
    QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Shown(), second);
    EXPECT_EQ(dlg->GetCurSel(CMapsDlg::IdcMapList), 0);
}

TEST_F(MapsDlgTest, WindowShowsTheRenderedTilesAndTheOutline) {
    Open(GraphicsBuilder().Build());
    Press(ChooserTile(35));
    auto tiles = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(*rom, 0, *tiles);
    const QImage shot = dlg->grab().toImage();
    auto expectTile = [&](int tile, int left, int top, bool outlined) {
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const uint32_t c =
                    (*tiles)[static_cast<std::size_t>(tile)][static_cast<std::size_t>(y * 16 + x)];
                const bool border = x == 0 || y == 0 || x == 15 || y == 15;
                const QRgb want = outlined && border
                                      ? qRgb(255, 0, 0)
                                      : qRgb(c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF);
                ASSERT_EQ(shot.pixel(left + x, top + y) & 0xFFFFFF, want & 0xFFFFFF)
                    << "tile " << tile << " pixel " << x << "," << y;
            }
        }
    };
    for (QPoint cell : {QPoint(0, 0), QPoint(15, 15), QPoint(7, 3)}) {
        expectTile(At(cell.x(), cell.y()), 163 + 16 * cell.x(), 30 + 16 * cell.y(), false);
    }
    expectTile(35, 465 + 48, 158 + 32, true);
    expectTile(127, 465 + 240, 158 + 112, false);
}

TEST_F(MapsDlgTest, TooltipNamesTheHoveredCell) {
    Open(GraphicsBuilder().Build());
    dlg->VertScrollBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QHelpEvent help(QEvent::ToolTip, ViewCell(3, 4), dlg->mapToGlobal(ViewCell(3, 4)));
    QApplication::sendEvent(dlg.get(), &help);
    EXPECT_EQ(QToolTip::text(), QString("x 3, y 20: tile %1").arg(At(3, 20)));
    QToolTip::hideText();
}

} // namespace
