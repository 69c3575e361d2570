#include <QImage>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "gfx/MapCanvas.h"
#include "gfx/Minimap.h"
#include "mapeditor/MapsDlg.h"
#include "mapeditor/WorldDlg.h"
#include "tests/support/RomBuilder.h"
#include "tiles/TileModel.h"

namespace {

constexpr int Told = 70;   // changed and announced
constexpr int Untold = 80; // changed behind the document's back

QImage Shot(QWidget* w) {
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage Picture(const gfx::TilePixels& tile) {
    QImage image(16, 16, QImage::Format_RGB32);
    for (int i = 0; i < 256; ++i) {
        image.setPixel(i % 16, i / 16, gfx::ToArgb(tile[static_cast<std::size_t>(i)]));
    }
    return image;
}

// Every view of a document shows the tiles it is told have changed, and only those: the
// map editor's chooser, map view and minimap, the World canvas (zoomed out, where the whole
// map is kept drawn, and in) and the World palette. Another set's tiles change nothing.
TEST(TileRedraw, ViewsShowTheToldTilesAnewAndKeepTheOthers) {
    auto grid = std::make_unique<testsupport::Grid>(testsupport::Filled(0));
    std::fill_n(grid->begin() + 3 * 256, 10, Told);
    std::fill_n(grid->begin() + 6 * 256, 10, Untold);
    auto rom = testsupport::RomBuilder().Map(0, *grid).NoiseGraphics(4321).Build();
    CMapsDlg dlg;
    dlg.RomPtr = rom.get();
    ASSERT_TRUE(dlg.Create());
    CWorldDlg world(dlg.Document(), 0, 0);
    world.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&world));
    WorldCanvas* canvas = world.Canvas();
    canvas->SetZoom(2);
    Shot(canvas->viewport()); // the whole map is drawn and kept

    auto shown = std::make_unique<gfx::MetatilePixels>();
    gfx::RenderMetatileSet(*rom, 0, *shown);
    // Another sub-palette for each.
    rom->RomBytes[tiles::AttributeOffset(0, Untold)] ^= 1;
    auto edited = std::make_unique<CRomImage>(*rom);
    edited->RomBytes[tiles::AttributeOffset(0, Told)] ^= 1;
    ASSERT_EQ(dlg.Document().ApplyTiles(*edited)[0], gfx::TileMask().set(Told));
    gfx::RenderMetatile(*rom, 0, Told, (*shown)[Told]);

    const auto expectShown = [&](const char* when) {
        const QImage maps = Shot(&dlg);
        EXPECT_EQ(maps.copy(465 + 16 * 6, 158 + 16 * 4, 16, 16), Picture((*shown)[Told])) << when;
        EXPECT_EQ(maps.copy(163 + 16 * 9, 30 + 16 * 3, 16, 16), Picture((*shown)[Told])) << when;
        auto minimap = std::make_unique<gfx::MinimapBuffer>();
        gfx::RenderMinimap(*grid, gfx::AverageTileColours(*shown), *minimap);
        EXPECT_EQ(dlg.Minimap(), *minimap) << when;
        const QImage sheet = Shot(world.TileSheet());
        EXPECT_EQ(sheet.copy(6 * 16, 4 * 16, 16, 16), Picture((*shown)[Told])) << when;
        EXPECT_EQ(sheet.copy(0, 5 * 16, 16, 16), Picture((*shown)[Untold])) << when;
        gfx::ScaledTiles scaled;
        scaled.Build(*shown, canvas->CellPixels(), canvas->GridVisible());
        const QImage view = Shot(canvas->viewport());
        QImage want(view.size(), QImage::Format_RGB32);
        gfx::ComposeMap(*grid, scaled, canvas->Origin().x(), canvas->Origin().y(), view.width(),
                        view.height(), reinterpret_cast<uint32_t*>(want.bits()),
                        static_cast<int>(want.bytesPerLine() / 4));
        EXPECT_EQ(view, want) << when;
    };
    expectShown("zoomed out");
    dlg.Document().TilesChanged(1, gfx::TileMask().set(Untold));
    expectShown("after another set's change");
    canvas->SetZoom(4);
    canvas->SetOrigin({0, 0});
    expectShown("zoomed in");
}

} // namespace
