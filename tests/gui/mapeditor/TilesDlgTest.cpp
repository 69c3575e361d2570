#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "app/DocumentSignals.h"
#include "app/Platform.h"
#include "mapeditor/MapsDlg.h"
#include "mapeditor/TilesDlg.h"
#include "mapeditor/TilesDlgPalette.h"
#include "mapeditor/TilesDlgViews.h"
#include "mapeditor/WorldDlg.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/MapGrids.h"
#include "tests/support/RomBuilder.h"

namespace {

using mapeditor::TileCanvas;
using testsupport::Image;
using namespace tiles;

class TilesDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rom = testsupport::RomBuilder()
                  .Map(1, testsupport::RandomGrid(5))
                  .NoiseGraphics(4242)
                  .Build();
        ASSERT_NE(rom, nullptr);
        original = Image(*rom);
        doc = std::make_unique<edit::MapDocument>(*rom, 1); // graphics set 1
        app::SetAskFunction([this](const QString& text, const std::vector<app::Answer>&) {
            questions << text;
            return answer;
        });
    }
    void TearDown() override { app::SetAskFunction({}); }

    void Open(int tile) {
        dlg = std::make_unique<CTilesDlg>(*doc, tile, edit::Cell{10, 20});
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        // The core, doing by hand what the window is driven to do.
        expected = std::make_unique<TileEdit>(*rom, 1);
    }
    void Send(QWidget* to, QEvent::Type type, QPoint p, Qt::MouseButton button,
              Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(p), QPointF(to->mapToGlobal(p)), button, held, {});
        QApplication::sendEvent(to, &event);
    }
    QWidget* Canvas() const { return dlg->Canvas(); }
    void Press(int x, int y, Qt::MouseButton b = Qt::LeftButton) {
        Send(Canvas(), QEvent::MouseButtonPress, TileCanvas::PixelCentre(x, y), b, b);
    }
    void Move(int x, int y, Qt::MouseButtons held) {
        Send(Canvas(), QEvent::MouseMove, TileCanvas::PixelCentre(x, y), Qt::NoButton, held);
    }
    void Release(int x, int y, Qt::MouseButton b = Qt::LeftButton) {
        Send(Canvas(), QEvent::MouseButtonRelease, TileCanvas::PixelCentre(x, y), b, Qt::NoButton);
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(dlg.get(), static_cast<Qt::Key>(key), mods);
    }
    std::vector<uint8_t> Working() const { return Image(dlg->Edit().Working()); }
    // Where two images first differ, -1 when they do not: readable where a mismatch of
    // half a megabyte is not.
    static long Diff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
        const auto at = std::mismatch(a.begin(), a.end(), b.begin());
        return at.first == a.end() ? -1 : at.first - a.begin();
    }
    // Tile `tile` as the sheet shows it equals the core's rendering of the expected image.
    void ExpectSheetShows(int tile) const {
        gfx::TilePixels pixels{};
        gfx::RenderMetatile(expected->Working(), 1, tile, pixels);
        const QPoint o = mapeditor::TileSheetMarks::TileCentre(tile) - QPoint(16, 16);
        for (int i = 0; i < TileSide * TileSide; ++i) {
            ASSERT_EQ(dlg->Sheet()->Sheet().pixel(o + QPoint(i % 16 * 2, i / 16 * 2)),
                      gfx::ToArgb(pixels[static_cast<std::size_t>(i)]))
                << "tile " << tile << " pixel " << i;
        }
    }
    // The first tile of set 1 (64 and up) whose top-left pattern another tile of the set
    // draws too, and that other tile.
    std::pair<int, int> Sharing() const {
        const TileModel model(*rom);
        for (int tile = 64;; ++tile) {
            for (const QuarterUse& use : model.UsersOf(1, model.Quarter(1, tile, 0))) {
                if (use.tile != tile && (use.set == AnySet || use.set == 1)) {
                    return {tile, use.tile};
                }
            }
        }
    }

    std::unique_ptr<CRomImage> rom;
    std::vector<uint8_t> original;
    std::unique_ptr<edit::MapDocument> doc;
    std::unique_ptr<CTilesDlg> dlg;
    std::unique_ptr<TileEdit> expected;
    QStringList questions;
    app::Answer answer = app::Answer::Cancel;
};

TEST_F(TilesDlgTest, PaintPickFillUndoAndRedoMatchTheCore) {
    const auto [tile, sharer] = Sharing();
    Open(tile);
    Key(Qt::Key_4);
    EXPECT_EQ(dlg->Value(), 3);
    // A stroke whose pointer jumps: the pixels between are painted too, as one step.
    Press(1, 1);
    Move(5, 3, Qt::LeftButton);
    Release(5, 3);
    for (const auto& [x, y] : {std::pair{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}}) {
        expected->Paint(tile, x, y, 3);
    }
    expected->EndStroke();
    EXPECT_EQ(Diff(Working(), Image(expected->Working())), -1);
    ExpectSheetShows(tile);
    ExpectSheetShows(sharer); // drawn again: it shares the pattern
    EXPECT_EQ(Diff(Image(*rom), original), -1) << "nothing reaches the image before OK";

    // The quarter under the pointer: its pattern's users counted and marked.
    Move(2, 2, Qt::NoButton);
    const TileModel model(expected->Working());
    const int pattern = model.Quarter(1, tile, 0);
    EXPECT_EQ(dlg->HoverText(), QStringLiteral("pattern %1: used by %2 tiles")
                                    .arg(pattern)
                                    .arg(model.UserTileCount(1, pattern)));
    EXPECT_TRUE(dlg->Sheet()->Hovered().test(static_cast<std::size_t>(sharer)));
    EXPECT_TRUE(dlg->Sheet()->Sharing().test(static_cast<std::size_t>(sharer)));

    // Right press takes the value; F fills from the pixel under the pointer.
    Press(9, 12, Qt::RightButton);
    Release(9, 12, Qt::RightButton);
    EXPECT_EQ(dlg->Value(), model.TilePixel(1, tile, 9, 12));
    Key(Qt::Key_2);
    Move(9, 12, Qt::NoButton);
    Key(Qt::Key_F);
    expected->Fill(tile, 9, 12, 1);
    EXPECT_EQ(Diff(Working(), Image(expected->Working())), -1);

    Key(Qt::Key_Z, Qt::ControlModifier);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Diff(Working(), original), -1);
    expected->Undo();
    expected->Undo();
    ExpectSheetShows(sharer); // the pictures follow the undo too
    Key(Qt::Key_Y, Qt::ControlModifier);
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    expected->Redo();
    expected->Redo();
    EXPECT_EQ(Diff(Working(), Image(expected->Working())), -1);
}

TEST_F(TilesDlgTest, MakeUniqueCopiesSharedPatternsOrSaysWhyNot) {
    const int tile = Sharing().first;
    Open(tile);
    QTest::mouseClick(dlg->MakeUniqueButton(), Qt::LeftButton);
    const UniqueReport report = expected->MakeUnique(tile);
    ASSERT_TRUE(report.done);
    EXPECT_EQ(Diff(Working(), Image(expected->Working())), -1);
    EXPECT_TRUE(dlg->MessageText().contains(QStringLiteral("from pattern %1 to %2")
                                                .arg(report.copies[0].from)
                                                .arg(report.copies[0].to)));
    EXPECT_FALSE(dlg->Sheet()->Sharing().any());

    // A shared tile drawing a set's own pattern cannot have it copied: U refuses.
    TileModel(*rom).SetQuarter(1, 5, 0, 200);
    TileModel(*rom).SetQuarter(1, 6, 0, 200);
    Open(5);
    const std::vector<uint8_t> before = Working();
    Key(Qt::Key_U);
    EXPECT_EQ(Diff(Working(), before), -1);
    EXPECT_TRUE(dlg->MessageText().startsWith("Make Unique: ")) << dlg->MessageText().toStdString();
}

TEST_F(TilesDlgTest, SubPaletteRowsAndPaletteEntries) {
    Open(70);
    QWidget* palette = dlg->SubPalettes();
    const int row = (TileModel(*rom).SubPalette(1, 70) + 1) % 4;
    QTest::mouseClick(palette, Qt::LeftButton, {},
                      mapeditor::SubPaletteView::EntryCentre(row * 4 + 2));
    expected->SetSubPalette(70, row); // the high six bits kept
    EXPECT_EQ(Diff(Working(), Image(expected->Working())), -1);

    // A double-click on a colour of another row changes that entry only, through the NES
    // colours; the press that began it gives the tile no other sub-palette.
    const int entry = (row + 1) % 4 * 4 + 3;
    const QPoint at = mapeditor::SubPaletteView::EntryCentre(entry);
    const bool opened = ModalOpens(
        [&] {
            Send(palette, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
            Send(palette, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
            Send(palette, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
        },
        [&](QWidget* w) {
            auto* picker = qobject_cast<mapeditor::CNesColourDlg*>(w);
            ASSERT_NE(picker, nullptr);
            QTest::mouseClick(picker->Grid(), Qt::LeftButton, {},
                              mapeditor::CNesColourDlg::SwatchCentre(0x2A));
            picker->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
    ASSERT_TRUE(opened);
    expected->SetPaletteEntry(entry, 0x2A);
    EXPECT_EQ(Diff(Working(), Image(expected->Working())), -1);
    EXPECT_TRUE(dlg->MessageText().endsWith("Water World Map and Standard World Map."));
    ExpectSheetShows(70);

    // The picker cancelled: nothing changed, and nothing claims the row the press chose.
    const QPoint other = mapeditor::SubPaletteView::EntryCentre((row + 2) % 4 * 4);
    ASSERT_TRUE(ModalOpens(
        [&] {
            Send(palette, QEvent::MouseButtonPress, other, Qt::LeftButton, Qt::LeftButton);
            Send(palette, QEvent::MouseButtonRelease, other, Qt::LeftButton, Qt::NoButton);
            Send(palette, QEvent::MouseButtonDblClick, other, Qt::LeftButton, Qt::LeftButton);
        },
        [](QWidget* w) { static_cast<QDialog*>(w)->reject(); }));
    EXPECT_EQ(Diff(Working(), Image(expected->Working())), -1);
    EXPECT_FALSE(dlg->MessageText().contains("sub-palette")) << dlg->MessageText().toStdString();
    EXPECT_FALSE(dlg->findChild<QPushButton*>(QStringLiteral("redo"))->isEnabled());
}

TEST_F(TilesDlgTest, OkAppliesThroughTheDocumentAndCancelAsksFirst) {
    auto* heard = new DocumentSignals(*doc, nullptr);
    std::vector<int> setsHeard; // the sets told that tile 90 changed
    QObject::connect(heard, &DocumentSignals::tilesChanged, [&](int set, const edit::TileSet& t) {
        if (t.test(90)) {
            setsHeard.push_back(set);
        }
    });
    Open(90);
    Key(Qt::Key_Escape); // nothing to lose: no question
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_TRUE(questions.isEmpty());

    const int value = (TileModel(*rom).TilePixel(1, 90, 3, 3) + 1) % 4;
    const auto paintOnePixel = [&] {
        Open(90);
        Key(Qt::Key_1 + value);
        Press(3, 3);
        Release(3, 3);
    };
    paintOnePixel();
    Key(Qt::Key_Escape);
    EXPECT_EQ(questions, QStringList{CTilesDlg::DiscardQuestion()});
    EXPECT_TRUE(dlg->isVisible()) << "Cancel keeps the window and its changes";
    answer = app::Answer::Discard;
    QTest::mouseClick(dlg->CancelButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(Diff(Image(*rom), original), -1);
    EXPECT_TRUE(setsHeard.empty());

    paintOnePixel();
    expected->Paint(90, 3, 3, value);
    Key(Qt::Key_Return);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(Diff(Image(*rom), Image(expected->Working())), -1);
    EXPECT_EQ(setsHeard, std::vector{1}); // tile 90 is set 1's own
    delete heard;
}

// The three ways in: the map editor's chooser, the World window's palette and its toolbar.
TEST_F(TilesDlgTest, OpensOnTheChosenTileFromBothMapWindows) {
    CMapsDlg maps;
    maps.RomPtr = rom.get();
    ASSERT_TRUE(maps.Create());
    const auto opensOn = [](int tile, int set) {
        return [tile, set](QWidget* w) {
            auto* tiles = qobject_cast<CTilesDlg*>(w);
            ASSERT_NE(tiles, nullptr);
            EXPECT_EQ(tiles->windowTitle(), QStringLiteral("Tiles"));
            EXPECT_EQ(tiles->SelectedTile(), tile);
            EXPECT_EQ(tiles->GraphicsSet(), set);
        };
    };
    const QPoint chooser(465 + 16 * 5 + 8, 158 + 16 * 6 + 8); // tile 101
    EXPECT_TRUE(ModalOpens([&] { QTest::mouseDClick(&maps, Qt::LeftButton, {}, chooser); },
                           opensOn(101, 0)));

    CWorldDlg world(maps.Document(), 0, 0);
    world.show();
    EXPECT_TRUE(ModalOpens(
        [&] {
            QTest::mouseDClick(world.TileSheet(), Qt::LeftButton, {}, TilePalette::TileCentre(7));
        },
        opensOn(7, 0)));
    auto* action = world.findChild<QAction*>("tiles");
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::Key_T));
    EXPECT_TRUE(ModalOpens([&] { action->trigger(); }, opensOn(7, 0)));
}

} // namespace
