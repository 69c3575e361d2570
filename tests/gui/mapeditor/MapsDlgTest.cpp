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
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>

#include "app/Platform.h"
#include "gfx/TileRenderer.h"
#include "mapeditor/MapsDlg.h"
#include "tests/support/RomBuilder.h"
#include "worldmap/WorldMap.h"

namespace {

using testsupport::RomBuilder;
using Bytes = std::vector<uint8_t>;

// Varied maps and random tile graphics over 64 distinct colours, so that tiles look apart.
std::unique_ptr<CRomImage> GraphicsRom() {
    std::minstd_rand engine(12345);
    auto random = [&engine](std::size_t n) {
        Bytes bytes(n);
        std::generate(bytes.begin(), bytes.end(),
                      [&] { return static_cast<uint8_t>(engine() >> 8); });
        return bytes;
    };
    RomBuilder builder;
    builder.Map(0, testsupport::RandomGrid(7)).Map(1, testsupport::StripedGrid(3));
    Bytes palettes = random(48);
    for (std::size_t i = 0; i < palettes.size(); i += 4) {
        palettes[i] = 0; // pixel value 0 shows colour 0, the mask colour, which stays opaque
    }
    builder.Poke(gfx::QuarterTables, random(0x500))
        .Poke(gfx::MapPalettes, palettes)
        .Poke(gfx::Patterns, random(0x2000));
    builder.Colour(0, gfx::MaskColour);
    for (int i = 1; i < 64; ++i) {
        builder.Colour(i, static_cast<uint32_t>(i * 4 | (255 - i * 4) << 8 | (i * 37 % 256) << 16));
    }
    return builder.Build();
}

Bytes Decode(const CRomImage& rom, int mapId) {
    Bytes grid(worldmap::GridSize);
    worldmap::DecodeWorldMap(rom, mapId, grid.data());
    return grid;
}

Bytes Image(const CRomImage& rom) {
    return Bytes(rom.RomBytes, rom.RomBytes + RomFileSize);
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
    void Wheel(QPoint at, int angle, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWheelEvent event(at, dlg->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, mods,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(dlg.get(), &event);
    }
    int At(int x, int y) const { return dlg->MapGrid[static_cast<std::size_t>(y * 256 + x)]; }
    Bytes Shown() const { return Bytes(dlg->MapGrid.begin(), dlg->MapGrid.end()); }
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
    bool ShowsFreeBytesOf(const CRomImage& image) const {
        return dlg->FreeBytesText->text() == QString::number(worldmap::CountFreeBytes(image));
    }

    QTemporaryDir dir;
    QStringList messages;
    std::unique_ptr<CRomImage> rom;
    std::unique_ptr<CMapsDlg> dlg;
};

TEST_F(MapsDlgTest, OpensOnTheFirstMapAndDrawsTheCoresTilesWithTheOutline) {
    Open(GraphicsRom());
    ASSERT_EQ(dlg->MapListBox->count(), 4);
    EXPECT_EQ(dlg->GetCurSel(CMapsDlg::IdcMapList), 0);
    EXPECT_EQ(Shown(), Decode(*rom, 0));
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

TEST_F(MapsDlgTest, PressesAtTheRectangleEdgesAndTheRightButtonPick) {
    Open(GraphicsRom());
    const Bytes before = Shown();
    Press(ViewCell(4, 9), Qt::RightButton);
    EXPECT_EQ(dlg->SelectedTile, At(4, 9));
    EXPECT_TRUE(dlg->LastInvalidateErased());
    Press(ChooserTile(77), Qt::RightButton);
    EXPECT_EQ(dlg->SelectedTile, 77);
    EXPECT_EQ(Shown(), before);

    Press({465 + 16 * 3 + 5, 158 + 16 * 2 + 9});
    EXPECT_EQ(dlg->SelectedTile, 35);
    Press({720, 285});
    EXPECT_EQ(dlg->SelectedTile, 127);
    Press({721, 285});
    Press({720, 286});
    EXPECT_EQ(dlg->SelectedTile, 127);

    PaintAt({419, 100});
    PaintAt({300, 286});
    EXPECT_EQ(Shown(), before);
    PaintAt({163, 30});
    PaintAt({418, 285});
    EXPECT_EQ(At(0, 0), 127);
    EXPECT_EQ(At(15, 15), 127);
}

TEST_F(MapsDlgTest, StrokePaintsTheCellsItCrossesAndEndsWithTheButton) {
    Open(GraphicsRom());
    Press(ChooserTile(100));
    Press(ViewCell(1, 1));
    Drag(ViewCell(1, 1) + QPoint(3, 3));
    Drag(ViewCell(2, 1));
    Drag({600, 60}); // out of the view, over the buttons' column
    Drag(ViewCell(3, 1));
    EXPECT_TRUE(dlg->Dragging);
    Release({-20, 900}); // outside the window, still delivered to it
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
    Drag(ViewCell(6, 6), Qt::NoButton);
    EXPECT_FALSE(dlg->Dragging);
    Drag(ViewCell(7, 6));
    EXPECT_NE(At(6, 6), 100);
    EXPECT_NE(At(7, 6), 100);
}

TEST_F(MapsDlgTest, ScrollCodesWheelAndTooltipFollowTheClampedView) {
    Open(GraphicsRom());
    QScrollBar* v = dlg->VertScrollBar;
    QScrollBar* h = dlg->HorzScrollBar;
    v->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(View(), QPoint(0, 0));
    v->setSliderDown(true);
    v->setSliderPosition(230);
    v->setSliderDown(false);
    EXPECT_EQ(View(), QPoint(0, 230));
    v->triggerAction(QAbstractSlider::SliderPageStepAdd);
    h->triggerAction(QAbstractSlider::SliderPageStepAdd);
    h->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(View(), QPoint(15, 240));
    Press(ChooserTile(100));
    PaintAt({163, 30});
    EXPECT_EQ(At(15, 240), 100);

    // One row per notch, fractions added up; Shift turns it to columns.
    Wheel(ViewCell(0, 0), 120);
    Wheel(ViewCell(0, 0), 60);
    Wheel(ViewCell(0, 0), 60);
    EXPECT_EQ(View(), QPoint(15, 238));
    Wheel(ViewCell(0, 0), -120 * 5);
    Wheel(ViewCell(0, 0), -120, Qt::ShiftModifier);
    Wheel(ChooserTile(0), 120);
    EXPECT_EQ(View(), QPoint(16, 240));

    QHelpEvent help(QEvent::ToolTip, ViewCell(3, 4), dlg->mapToGlobal(ViewCell(3, 4)));
    QApplication::sendEvent(dlg.get(), &help);
    EXPECT_EQ(QToolTip::text(), QString("x 19, y 244: tile %1").arg(At(19, 244)));
    QToolTip::hideText();
}

TEST_F(MapsDlgTest, ChangeOfMapStoresTheMapAndKeepsScrollAndTile) {
    Open(GraphicsRom());
    dlg->HorzScrollBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    dlg->VertScrollBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    Press(ChooserTile(100));
    PaintAt(ViewCell(0, 0));
    const Bytes edited = Shown();
    const Bytes image = Image(*rom);

    PickMap(0, Qt::ControlModifier); // deselects the item: no map to change to
    EXPECT_EQ(dlg->GetCurSel(CMapsDlg::IdcMapList), 0);
    EXPECT_EQ(Image(*rom), image);
    EXPECT_TRUE(dlg->CanUndo());

    PickMap(1);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(dlg->WorldMapId, 1);
    EXPECT_EQ(Decode(*rom, 0), edited);
    EXPECT_EQ(Shown(), Decode(*rom, 1));
    EXPECT_TRUE(ShowsFreeBytesOf(*rom));
    EXPECT_EQ(View(), QPoint(16, 1));
    EXPECT_EQ(dlg->SelectedTile, 100);
    EXPECT_FALSE(dlg->CanUndo());
}

TEST_F(MapsDlgTest, RefusedStoreKeepsTheEditsOnScreenAndWritesNothing) {
    Open(RomBuilder().FreeBytes(0).Build());
    const Bytes image = Image(*rom); // as Open wrote it to the file
    Press(ChooserTile(9));
    PaintAt(ViewCell(2, 2));
    const Bytes edited = Shown();

    PickMap(2);
    EXPECT_EQ(dlg->WorldMapId, 0);
    EXPECT_EQ(dlg->GetCurSel(CMapsDlg::IdcMapList), 0);
    EXPECT_TRUE(dlg->CanUndo());
    Click(CMapsDlg::IdcSave);
    Click(IDOK);
    EXPECT_EQ(messages, QStringList(3, "Store Values failed"));
    EXPECT_EQ(Shown(), edited);
    EXPECT_EQ(Image(*rom), image);
    EXPECT_EQ(FileBytes(), image);
    EXPECT_FALSE(dlg->Ended());
}

TEST_F(MapsDlgTest, SaveAndDoneWriteWhatTheStoreGivesAFailedWriteKeepsTheWindowOpen) {
    Open(GraphicsRom());
    CRomImage expected = *rom;
    auto paintAndStore = [&](int vx) {
        PaintAt(ViewCell(vx, 3));
        ASSERT_TRUE(worldmap::StoreWorldMap(expected, 0, dlg->MapGrid.data(),
                                            worldmap::CountFreeBytes(expected)));
    };
    Press(ChooserTile(100));
    paintAndStore(3);
    Click(CMapsDlg::IdcSave);
    EXPECT_EQ(FileBytes(), Image(expected));
    EXPECT_TRUE(ShowsFreeBytesOf(expected));
    EXPECT_FALSE(dlg->Ended());

    // Done stores as Save does; when the file cannot be written it says so and stays open.
    paintAndStore(4);
    const std::string path = rom->RomPath;
    rom->RomPath = dir.filePath("missing/map.nes").toStdString();
    Click(IDOK);
    EXPECT_EQ(messages, QStringList{"Error!\nCould not save changes to ROM"});
    EXPECT_FALSE(dlg->Ended());
    EXPECT_EQ(Image(*rom), Image(expected));
    rom->RomPath = path;
    Click(IDOK);
    EXPECT_EQ(FileBytes(), Image(expected));
    EXPECT_EQ(dlg->EndResult(), IDOK);
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(MapsDlgTest, UndoAndRedoWholeStrokesFromTheKeyboard) {
    Open(GraphicsRom());
    const Bytes original = Shown();
    Press(ChooserTile(100));
    Press(ViewCell(0, 0));
    Drag(ViewCell(1, 0));
    Drag(ViewCell(0, 0)); // back over a painted cell
    Release(ViewCell(0, 0));
    const Bytes first = Shown();
    PaintAt(ViewCell(2, 0));
    const Bytes second = Shown();

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

} // namespace
